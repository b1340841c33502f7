#include "base/ErrorAdvice.h"

#include "base/vlxTextUtils.h"

namespace {

struct TAdvice {
    TAdviceSource Source;
    quint32 Code;
    const char* Text;
};

// The one place these remedies live: correct them here. The processor's
// codes are the best known ones.
constexpr TAdvice Advice[] = {
    {asQBStatus, 3100,
     "QuickBooks keeps one name across its customer, vendor, employee and other name lists: "
     "rename one of the two, or use the existing one, then run again."},
    {asQBStatus, 3120,
     "The transaction or list entry named no longer exists in QuickBooks (deleted, or never "
     "there): check it in QuickBooks, then run again."},
    {asQBStatus, 3140,
     "The account, vendor, employee or class named is missing in this QuickBooks company file: "
     "check that the right company file is open and that the name was not changed, then run "
     "again."},
    {asQBStatus, 3170,
     "Someone is editing that record in QuickBooks: run again once it is closed there."},
    {asQBStatus, 3180,
     "QuickBooks could not save it; the text after \"QuickBooks error message:\" says why "
     "(a closing date, an entry out of balance, an inactive account): correct that in "
     "QuickBooks, then run again."},
    {asQBStatus, 3200, "It was changed in QuickBooks by someone else meanwhile: run again."},
    {asQBStatus, 3260,
     "The QuickBooks user this program works as lacks the permission: ask the QuickBooks "
     "administrator to grant it."},
    {asQBProcessor, 0x80040401, "Check that QuickBooks is installed and runs on this workstation."},
    {asQBProcessor, 0x80040403,
     "Check that the file exists, that this workstation can reach it and that no one has it "
     "open in single-user mode, then try again."},
    {asQBProcessor, 0x80040408,
     "QuickBooks could not be started: open QuickBooks yourself, with no dialog open in it, and "
     "run again."},
    {asQBProcessor, 0x80040409,
     "The company file open in QuickBooks is not the one named: open that company file in "
     "QuickBooks, or choose the one that is open, and run again."},
    {asQBProcessor, 0x80040410,
     "The company file is open in QuickBooks in the other mode (single- or multi-user): switch "
     "the mode in QuickBooks, and run again."},
    {asQBProcessor, 0x80040416, "Start QuickBooks, open the company file and try again."},
    {asQBProcessor, 0x80040418,
     "This program has not been granted access to the company file. Only the QuickBooks "
     "administrator can grant it, in single-user mode: answer QuickBooks' prompt, or use "
     "Edit > Preferences > Integrated Applications, then run again."},
    {asQBProcessor, 0x8004041A,
     "This program has no permission for this company file: the QuickBooks administrator can "
     "grant it under Edit > Preferences > Integrated Applications."},
    {asQBProcessor, 0x80040420,
     "In QuickBooks, allow \"Orvane QB Export\" under Edit > Preferences > Integrated "
     "Applications and try again."},
    {asQBProcessor, 0x80040422,
     "Another program holds the company file in single-user mode: close the file there, then "
     "run again."},
    {asPayrollService, paCannotConnect,
     "Check the server and the port on the Connection settings tab (orvq-cli: --server and "
     "--port), and that this computer can reach the Orvane service."},
    {asPayrollService, paTooSlow,
     "The Orvane service or the network to it is too slow at the moment: try again later; if it "
     "keeps happening, tell your service bureau."},
};

} // namespace

QString ErrorAdvice(TAdviceSource source, quint32 code) {
    for (const TAdvice& advice : Advice)
        if (advice.Source == source && advice.Code == code)
            return QString::fromUtf8(advice.Text);
    return QString();
}

QString WithErrorAdvice(const QString& message, TAdviceSource source, quint32 code) {
    const QString advice = ErrorAdvice(source, code);
    if (advice.isEmpty())
        return message;
    // Before the details, which the logger keeps apart from the message.
    const QString text = NormaliseLineBreaks(message);
    const qsizetype details = text.indexOf(QStringLiteral("\r\n\r\n"));
    if (details >= 0)
        return text.left(details) + QStringLiteral("\r\n") + advice + text.mid(details);
    return text + QStringLiteral("\r\n") + advice;
}
