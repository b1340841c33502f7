// Every message box and file dialog of the window opens through here, so
// that tests answer them instead of a user: while a TPreAnsweredDialogs
// lives, nothing is shown; each box and dialog is recorded and answered.
// The default error display and the run cores' IUserDialogs are built on
// the same boxes.
#pragma once

#include "export/UserDialogs.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

class QPrinter;
class QWidget;

struct TMessageBoxRequest {
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString Title;
    QString Text;
    QMessageBox::StandardButtons Buttons;
    // The button Enter presses; none: Qt's choice.
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
    // A check box below the text, unchecked at first; empty: none.
    QString CheckBox;
};

struct TMessageBoxAnswer {
    QMessageBox::StandardButton Button = QMessageBox::NoButton;
    bool Checked = false;
};

// The box as it is shown, not yet open (the text's CR LF as LF).
std::unique_ptr<QMessageBox> NewMessageBox(QWidget* parent, const TMessageBoxRequest& box);
// A modal box over parent; returns the button pressed and the check box.
TMessageBoxAnswer AskMessageBox(QWidget* parent, const TMessageBoxRequest& box);
// A modal box over parent; returns the button pressed.
QMessageBox::StandardButton
ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The file-open dialog; empty when cancelled. Filter in Qt's form, e.g.
// "GL Journal files (*.csv *.txt)".
QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                        const QString& filter);

// The print dialog over parent; true when the user chose a printer, which
// printer then prints to.
bool ChoosePrinter(QWidget* parent, QPrinter& printer);

class TPreAnsweredDialogs {
public:
    TPreAnsweredDialogs();
    ~TPreAnsweredDialogs();
    TPreAnsweredDialogs(const TPreAnsweredDialogs&) = delete;
    TPreAnsweredDialogs& operator=(const TPreAnsweredDialogs&) = delete;

    // Answers, in turn, of the next boxes (checked: the box's check box);
    // without one a box is answered as Enter would, with its default
    // button, else OK, else No, else Cancel.
    void AnswerNextBox(QMessageBox::StandardButton answer, bool checked = false) {
        m_boxAnswers.push_back([answer, checked] { return TMessageBoxAnswer{answer, checked}; });
    }
    // The next box is answered by answer(), called while the box is open: a
    // user who takes time, while the program goes on behind the box.
    void AnswerNextBoxWith(std::function<QMessageBox::StandardButton()> answer) {
        m_boxAnswers.push_back(
            [answer = std::move(answer)] { return TMessageBoxAnswer{answer()}; });
    }
    // Answers of the next file dialogs; without one a dialog is cancelled.
    void AnswerNextFileDialog(const QString& fileName) { m_fileAnswers.push_back(fileName); }

    // Answers of the next print dialogs: print to a PDF file at the path.
    // Without one a print dialog is cancelled.
    void AnswerNextPrintDialog(const QString& pdfPath) { m_printAnswers.push_back(pdfPath); }

    const QList<TMessageBoxRequest>& Boxes() const { return m_boxes; }
    // The texts of the boxes shown so far.
    QStringList BoxTexts() const;
    const QStringList& FileDialogCaptions() const { return m_fileDialogs; }
    int PrintDialogCount() const { return m_printDialogs; }

    // The one living now, or null; ShowMessageBox and GetOpenFileName ask
    // it instead of the user.
    static TPreAnsweredDialogs* Active();
    TMessageBoxAnswer Answer(const TMessageBoxRequest& box);
    QString AnswerFileDialog(const QString& caption);
    // The PDF path to print to, or empty (cancelled).
    QString AnswerPrintDialog();

private:
    std::deque<std::function<TMessageBoxAnswer()>> m_boxAnswers;
    std::deque<QString> m_fileAnswers;
    std::deque<QString> m_printAnswers;
    int m_printDialogs = 0;
    QList<TMessageBoxRequest> m_boxes;
    QStringList m_fileDialogs;
};

// The text of the default error display: the message, with a full stop
// appended when its last character sorts after "." (a letter or a digit,
// but not "!" or ")").
QString ErrorDisplayText(const QString& message);
// The default error display: a box with the stop icon titled with the
// application title, over the active window.
void ShowErrorBox(const QString& message);

// The run cores' boxes as message boxes over parent, titled with the
// application title.
class TWindowUserDialogs : public IUserDialogs {
public:
    explicit TWindowUserDialogs(QWidget* parent) : m_parent(parent) {}

protected:
    void DoShowInformation(const QString& message) override;
    void DoShowError(const QString& message) override;
    TQuestionAnswer DoAsk(const TQuestion& question) override;

private:
    QWidget* m_parent;
};
