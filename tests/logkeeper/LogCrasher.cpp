// Logs a number of records to a user log file, then dies without any
// clean-up, as a crashing program would.
#include "logkeeper/vlxLoggerKeeper.h"

#include <QString>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    auto* keeper = new TCommonLoggerKeeper(); // never destroyed: the crash comes first
    keeper->StartUserLogFile(QString::fromLocal8Bit(argv[1]));
    const int count = std::atoi(argv[2]);
    for (int i = 1; i <= count; ++i)
        keeper->Logger()->LogEvent(QStringLiteral("record %1").arg(i));
    std::abort();
}
