#include "ui/vlxStatusBarProgress.h"

#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

TOwnerDrawnStatusBar::TOwnerDrawnStatusBar(QWidget* parent) : QStatusBar(parent) {
    // Qt draws every widget into a back buffer: the bar never flickers.
    setSizeGripEnabled(true);
}

void TOwnerDrawnStatusBar::SetOnDrawPanel(TDrawPanel handler) {
    m_onDrawPanel = std::move(handler);
    update();
}

QRect TOwnerDrawnStatusBar::PanelRect() const {
    QRect rect = contentsRect();
    if (isSizeGripEnabled())
        rect.setRight(rect.right() - style()->pixelMetric(QStyle::PM_SizeGripSize, nullptr, this));
    return rect;
}

void TOwnerDrawnStatusBar::paintEvent(QPaintEvent* event) {
    QStatusBar::paintEvent(event);
    if (!m_onDrawPanel)
        return;
    QPainter painter(this);
    m_onDrawPanel(painter, 0, PanelRect());
}

QString ProgressText(const QString& caption, int position, int maximum) {
    const int percent = maximum != 0 ? int(qint64(position) * 100 / maximum) : 0;
    try {
        return Format(caption, {position, maximum, percent});
    } catch (const EztException&) {
        return caption;
    }
}

void DrawProgressPanel(QPainter& painter, const QRect& rect, const QPalette& palette,
                       const QString& caption, int position, int maximum) {
    const int left = rect.left();
    const int right = rect.right() + 1;
    const int width = maximum != 0 ? int(qint64(right - left) * position / maximum) : 0;
    const QString text = ProgressText(caption, position, maximum);
    // The filled part and the rest, one column apart; a position beyond the
    // maximum fills no more than the panel.
    const QRect filled =
        QRect(QPoint(left, rect.top()), QPoint(left + width - 1, rect.bottom())).intersected(rect);
    const QRect rest(QPoint(left + width + 1, rect.top()), QPoint(right - 1, rect.bottom()));
    const QRect textArea(2, 2, right, rect.bottom());

    painter.save();
    if (filled.isValid()) {
        painter.setClipRect(filled);
        painter.fillRect(filled, palette.color(QPalette::Highlight));
        painter.setPen(palette.color(QPalette::HighlightedText));
        painter.drawText(textArea, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    if (rest.isValid()) {
        painter.setClipRect(rest);
        painter.fillRect(rest, palette.color(QPalette::Window));
        painter.setPen(palette.color(QPalette::WindowText));
        painter.drawText(textArea, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    painter.restore();
}

TStatusBarProgressIndicator::TStatusBarProgressIndicator(TOwnerDrawnStatusBar* bar) : m_bar(bar) {}

TStatusBarProgressIndicator::~TStatusBarProgressIndicator() {
    if (m_installed && m_bar)
        m_bar->SetOnDrawPanel(m_previous);
}

void TStatusBarProgressIndicator::StartProgress(const QString& caption, int maximum) {
    try {
        m_caption = caption;
        m_position = 0;
        m_maximum = maximum;
        if (m_bar && !m_installed) {
            m_previous = m_bar->OnDrawPanel();
            m_bar->SetOnDrawPanel([this](QPainter& painter, int panel, const QRect& rect) {
                DrawPanel(painter, panel, rect);
            });
            m_installed = true;
        }
        Refresh();
    } catch (...) {
    }
}

void TStatusBarProgressIndicator::SetProgress(int position) {
    try {
        m_position = position;
        Refresh();
    } catch (...) {
    }
}

void TStatusBarProgressIndicator::EndProgress() {
    try {
        m_caption.clear();
        m_position = 0;
        m_maximum = 0;
        if (m_bar && m_installed)
            m_bar->SetOnDrawPanel(m_previous);
        m_installed = false;
        m_previous = nullptr;
        if (m_bar)
            m_bar->repaint();
    } catch (...) {
    }
}

void TStatusBarProgressIndicator::Refresh() {
    // A synchronous paint: no event is taken from the queue, so no click
    // reaches the program in the middle of its step.
    if (m_bar)
        m_bar->repaint();
}

void TStatusBarProgressIndicator::DrawPanel(QPainter& painter, int panel, const QRect& rect) {
    if (panel == 0) {
        try {
            DrawProgressPanel(painter, rect, m_bar->palette(), m_caption, m_position, m_maximum);
        } catch (...) {
        }
    }
    if (m_previous)
        m_previous(painter, panel, rect);
}
