// Parses and validates a generated S348 journal of 100,000 lines in each
// layout against a sandbox company of 5,000 numbered accounts and 40 classes,
// with the full logger chain attached, and reports lines per second for each
// step. With "post" the validated journal is also sent as one journal entry
// (there the sandbox's checking of the request dominates).
//
//     bench_glexport [lines] [accounts] [post]
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/QBJournalExport.h"
#include "quickbooks/QBSessionManager.h"

#include "../support/BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {

constexpr int Classes = 40;
constexpr int FirstNumber = 10000;

void CreateCompany(const QString& file, int accounts) {
    CreateSandboxCompany(file, QString());
    TQBSandboxCompany company(file, false);
    company.Begin();
    for (int i = 0; i < accounts; ++i) {
        TSbNewListElement a;
        a.Kind = TSbListKind::Account;
        a.FullName = QStringLiteral("Account %1").arg(FirstNumber + i);
        a.AccountType = QStringLiteral("Expense");
        a.AccountNumber = QString::number(FirstNumber + i);
        AddSandboxListElement(company, a);
    }
    for (int i = 0; i < Classes; ++i) {
        TSbNewListElement c;
        c.Kind = TSbListKind::Class;
        c.FullName = QStringLiteral("C%1").arg(i);
        AddSandboxListElement(company, c);
    }
    company.Commit();
}

double Seconds(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1e9;
}

int RunLayout(const QString& companyFile, int lines, int accounts, bool fixedWidth, bool post) {
    // Every account and class is used.
    const QString journal =
        bench::GenerateJournal(lines, Classes, FirstNumber, accounts, fixedWidth);
    bench::TBenchLogger logs;

    TQBGLExportParam param;
    param.UseAccountNumbers = true;
    param.GLTagParsing = gtpAssignClass;
    param.DelimiterInGLTag = QStringLiteral("-");

    QElapsedTimer timer;
    timer.start();
    const TGLRecordArray records = ParseGLJournal(logs.Logger(), journal, param);
    const double parseSeconds = Seconds(timer);

    TQBProcessorConfig processor;
    processor.Factory = &CreateSandboxRequestProcessor;
    processor.CompanyFile = companyFile;
    TQBConnection qb(logs.LoggerPtr(), CreateQBSessionManager(processor), QString());
    timer.restart();
    const bool valid = ValidateJournal(qb, records, param);
    const double validateSeconds = Seconds(timer);

    std::printf("%s layout, %zu lines, %d accounts\n",
                fixedWidth ? "fixed-width" : "comma-separated", records.size(), accounts);
    std::printf("  parse:     %8.3f s  %10.0f lines/s\n", parseSeconds,
                records.size() / parseSeconds);
    std::printf("  validate:  %8.3f s  %10.0f lines/s  (%s)\n", validateSeconds,
                records.size() / validateSeconds, valid ? "valid" : "NOT VALID");
    std::printf("  together:  %8.3f s  %10.0f lines/s\n", parseSeconds + validateSeconds,
                records.size() / (parseSeconds + validateSeconds));
    if (post && valid) {
        timer.restart();
        ExportJournal(qb, records, param);
        const double postSeconds = Seconds(timer);
        std::printf("  post:      %8.3f s  %10.0f lines/s  (one journal entry)\n", postSeconds,
                    records.size() / postSeconds);
    }
    std::printf("  developer log: %.1f MB\n", logs.DevLogBytes() / 1e6);
    std::fflush(stdout);
    return valid ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int accounts = argc > 2 ? std::atoi(argv[2]) : 5000;
    const bool post = argc > 3 && std::strcmp(argv[3], "post") == 0;
    if (lines < 2 || accounts < 1) {
        std::fprintf(stderr, "usage: bench_glexport [lines] [accounts] [post]\n");
        return 2;
    }
    try {
        QTemporaryDir dir;
        const QString companyFile = dir.filePath(QStringLiteral("bench.qbsb"));
        QElapsedTimer timer;
        timer.start();
        CreateCompany(companyFile, accounts);
        std::printf("company of %d accounts and %d classes made in %.2f s\n\n", accounts, Classes,
                    Seconds(timer));
        int result = 0;
        for (const bool fixedWidth : {false, true})
            result |= RunLayout(companyFile, lines, accounts, fixedWidth, post);
        return result;
    } catch (const EztException& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
}
