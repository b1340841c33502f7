// Counted progress in the main window's status bar: a bar that fills from
// the left with the caption drawn over it in inverted colours. The status
// bar has one owner-drawn panel; the progress installs its drawing handler
// for as long as it runs and repaints at once, so the bar moves while the
// user-interface thread is busy without any user input being processed.
#pragma once

#include "base/vlxClasses.h"

#include <QPointer>
#include <QStatusBar>
#include <functional>

class QPainter;

// A status bar of exactly one panel, spanning it, drawn by its handler.
class TOwnerDrawnStatusBar : public QStatusBar {
    Q_OBJECT
public:
    using TDrawPanel = std::function<void(QPainter& painter, int panel, const QRect& rect)>;

    explicit TOwnerDrawnStatusBar(QWidget* parent = nullptr);

    const TDrawPanel& OnDrawPanel() const { return m_onDrawPanel; }
    void SetOnDrawPanel(TDrawPanel handler);
    QRect PanelRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TDrawPanel m_onDrawPanel;
};

// The panel's progress in rect: the first (right - left) * position / maximum
// pixels filled in the highlight colour with the text in the highlighted
// text colour, the rest in the bar's colours; the text at (2, 2) of the bar.
// The caption is a format taking position, maximum and percentage ("%d").
void DrawProgressPanel(QPainter& painter, const QRect& rect, const QPalette& palette,
                       const QString& caption, int position, int maximum);
// The caption's text for the progress; a caption that does not take the
// three numbers is shown as it is.
QString ProgressText(const QString& caption, int position, int maximum);

class TStatusBarProgressIndicator : public IProgressIndicator {
public:
    explicit TStatusBarProgressIndicator(TOwnerDrawnStatusBar* bar);
    ~TStatusBarProgressIndicator() override;

    // None of the three lets a failure of its own reach the step it reports
    // on.
    void StartProgress(const QString& caption, int maximum) override;
    void SetProgress(int position) override;
    void EndProgress() override;

    bool Running() const { return m_installed; }

private:
    void Refresh();
    void DrawPanel(QPainter& painter, int panel, const QRect& rect);

    QPointer<TOwnerDrawnStatusBar> m_bar;
    QString m_caption;
    int m_maximum = 0;
    int m_position = 0;
    bool m_installed = false;
    TOwnerDrawnStatusBar::TDrawPanel m_previous;
};
