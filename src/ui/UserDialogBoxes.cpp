#include "ui/UserDialogBoxes.h"

#include "app/core/AppCore.h"
#include "base/ztExceptions.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace {

TPreAnsweredDialogs*& Answering() {
    static TPreAnsweredDialogs* answering = nullptr;
    return answering;
}

QMessageBox::StandardButton DefaultAnswer(const TMessageBoxRequest& box) {
    const QMessageBox::StandardButtons buttons = box.Buttons;
    if (box.DefaultButton != QMessageBox::NoButton)
        return box.DefaultButton;
    if (buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    return QMessageBox::Cancel;
}

} // namespace

TPreAnsweredDialogs::TPreAnsweredDialogs() {
    OrvAssert(Answering() == nullptr);
    Answering() = this;
}

TPreAnsweredDialogs::~TPreAnsweredDialogs() {
    Answering() = nullptr;
}

QStringList TPreAnsweredDialogs::BoxTexts() const {
    QStringList texts;
    for (const TMessageBoxRequest& box : m_boxes)
        texts << box.Text;
    return texts;
}

TPreAnsweredDialogs* TPreAnsweredDialogs::Active() {
    return Answering();
}

TMessageBoxAnswer TPreAnsweredDialogs::Answer(const TMessageBoxRequest& box) {
    m_boxes.append(box);
    if (m_boxAnswers.empty())
        return {DefaultAnswer(box)};
    const auto answer = std::move(m_boxAnswers.front());
    m_boxAnswers.pop_front();
    return answer();
}

QString TPreAnsweredDialogs::AnswerFileDialog(const QString& caption) {
    m_fileDialogs << caption;
    if (m_fileAnswers.empty())
        return QString();
    const QString answer = m_fileAnswers.front();
    m_fileAnswers.pop_front();
    return answer;
}

QString TPreAnsweredDialogs::AnswerPrintDialog() {
    ++m_printDialogs;
    if (m_printAnswers.empty())
        return QString();
    const QString answer = m_printAnswers.front();
    m_printAnswers.pop_front();
    return answer;
}

std::unique_ptr<QMessageBox> NewMessageBox(QWidget* parent, const TMessageBoxRequest& request) {
    // The program's texts end their lines with CR LF; a label wants LF.
    QString shown = request.Text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto box =
        std::make_unique<QMessageBox>(request.Icon, request.Title, shown, request.Buttons, parent);
    // A message carries outside text (a company, a payee, QuickBooks' words).
    box->setTextFormat(Qt::PlainText);
    if (request.DefaultButton != QMessageBox::NoButton)
        box->setDefaultButton(request.DefaultButton);
    if (request.Buttons.testFlag(QMessageBox::No))
        box->setEscapeButton(QMessageBox::No);
    if (!request.CheckBox.isEmpty())
        box->setCheckBox(new QCheckBox(request.CheckBox));
    return box;
}

TMessageBoxAnswer AskMessageBox(QWidget* parent, const TMessageBoxRequest& request) {
    if (TPreAnsweredDialogs* answers = Answering())
        return answers->Answer(request);
    const std::unique_ptr<QMessageBox> box = NewMessageBox(parent, request);
    const auto button = static_cast<QMessageBox::StandardButton>(box->exec());
    return {button, box->checkBox() && box->checkBox()->isChecked()};
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
    return AskMessageBox(parent, {icon, title, text, buttons, defaultButton, QString()}).Button;
}

QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& folder,
                        const QString& filter) {
    if (TPreAnsweredDialogs* answers = Answering())
        return answers->AnswerFileDialog(caption);
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

bool ChoosePrinter(QWidget* parent, QPrinter& printer) {
    if (TPreAnsweredDialogs* answers = Answering()) {
        const QString pdfPath = answers->AnswerPrintDialog();
        if (pdfPath.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        return true;
    }
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

QString ErrorDisplayText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

void ShowErrorBox(const QString& message) {
    ShowMessageBox(QApplication::activeWindow(), QMessageBox::Critical, ApplicationTitle,
                   ErrorDisplayText(message));
}

void TWindowUserDialogs::DoShowInformation(const QString& message) {
    ShowMessageBox(m_parent, QMessageBox::Information, ApplicationTitle, message);
}

void TWindowUserDialogs::DoShowError(const QString& message) {
    ShowMessageBox(m_parent, QMessageBox::Critical, ApplicationTitle, message);
}

TQuestionAnswer TWindowUserDialogs::DoAsk(const TQuestion& question) {
    const TMessageBoxAnswer answer = AskMessageBox(
        m_parent,
        {QMessageBox::Question, ApplicationTitle, question.Text, QMessageBox::Yes | QMessageBox::No,
         question.Default == daYes ? QMessageBox::Yes : QMessageBox::No, question.CheckBox});
    return {answer.Button == QMessageBox::Yes, answer.Checked};
}
