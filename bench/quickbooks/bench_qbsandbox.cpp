// Figures for the sandbox company: a check query with line items over
// 20,000 checks in one date range, and 1,000 single-check adds, each through
// the whole seam (writer, processor, SQLite, response reader, status log).
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxProcessor.h"
#include "logging/vlxLoggerChain.h"
#include "quickbooks/QBConnection.h"
#include "quickbooks/QBSessionManager.h"
#include "quickbooks/QBXml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QTextStream out(stdout);

void Report(const char* what, qint64 ms, int count = 0) {
    out << QString::fromLatin1(what).leftJustified(52) << QString::number(ms).rightJustified(7)
        << " ms";
    if (count > 0)
        out << "   " << QString::number(double(ms) * 1000.0 / count, 'f', 1) << " us each";
    out << '\n';
    out.flush();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int checks = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 20000;
    const int adds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.qbsb"));
    const QString demo = QCoreApplication::applicationDirPath() + QStringLiteral("/demo");
    CreateSandboxCompany(file, demo);

    QElapsedTimer t;
    t.start();
    {
        TQBSandboxCompany company(file, false);
        const QString bank = company.FindByFullName({TSbListKind::Account}, "Checking")->ListID;
        const QString liab =
            company.FindByFullName({TSbListKind::Account}, "Payroll Liabilities")->ListID;
        company.Begin();
        for (int i = 0; i < checks; ++i) {
            TSbTxn c;
            c.Type = QStringLiteral("Check");
            c.TxnDate = QDate(2024, 3, 1).addDays(i % 28);
            c.RefNumber = QString::number(100000 + i);
            c.Memo = QStringLiteral("Payroll 03/2024");
            c.AccountID = bank;
            c.Cents = 123456 + i;
            TSbTxnLine line;
            line.Kind = QStringLiteral("Expense");
            line.AccountID = liab;
            line.Cents = c.Cents;
            line.Memo = c.Memo;
            c.Lines.push_back(line);
            company.AddTxn(c);
        }
        company.Commit();
    }
    Report("seed checks (company API, one transaction)", t.elapsed(), checks);

    TLoggerChain chain = CreateLoggerChain();
    TQBSandboxProcessor::TOptions options;
    options.CompanyFile = file;
    auto qb = std::make_unique<TQBConnection>(
        chain.Common,
        std::make_unique<TQBSessionManager>(std::make_unique<TQBSandboxProcessor>(options)),
        QString());

    // Where the time of one big query goes.
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    TQBTxnQuery& q = set.AppendCheckQueryRq();
    q.TxnDateRangeFilter.FromTxnDate.SetValue(QDate(2024, 3, 1));
    q.TxnDateRangeFilter.ToTxnDate.SetValue(QDate(2024, 3, 31));
    q.IncludeLineItems.SetValue(true);
    TQBSandboxProcessor processor(options);
    processor.OpenConnection(QString(), QString());
    const QString ticket = processor.BeginSession(QString(), 2);
    t.restart();
    const QString answer = processor.ProcessRequest(ticket, set.ToXMLString());
    Report("  processor: SQLite read + qbXML answer", t.elapsed());
    t.restart();
    const auto parsed = ReadQBResponseSet(answer, set);
    Report("  reader: qbXML answer -> typed objects", t.elapsed());
    out << "  answer size " << answer.toUtf8().size() / 1024 << " KiB, "
        << parsed->At(0).DetailAs<TQBCheckRetList>()->size() << " checks\n";
    processor.EndSession(ticket);

    t.restart();
    const TQBCheckRetList found = qb->QueryChecks(QDate(2024, 3, 1), QDate(2024, 3, 31));
    Report("QueryChecks, whole seam incl. debug log", t.elapsed(), int(found.size()));

    t.restart();
    for (int i = 0; i < adds; ++i) {
        auto add = qb->NewRequestSet();
        TQBCheckAdd& c = add->AppendCheckAddRq();
        c.AccountRef.FullName.SetValue(QStringLiteral("Checking"));
        c.RefNumber.SetValue(QString::number(500000 + i));
        c.TxnDate.SetValue(QDate(2024, 4, 5));
        c.Memo.SetValue(QStringLiteral("Payroll 04/05"));
        c.IsToBePrinted.SetValue(false);
        TQBExpenseLineAdd& line = c.AppendExpenseLine();
        line.AccountRef.FullName.SetValue(QStringLiteral("Payroll Liabilities"));
        line.Amount.SetValue(Currency::FromRaw((100000 + i) * 100));
        line.Memo.SetValue(QStringLiteral("Payroll 04/05"));
        qb->SendRequestSet(*add);
    }
    Report("single-check adds, one request set each", t.elapsed(), adds);
    return 0;
}
