// Replays the corpus of every target: each file of <corpus root>/<target>
// through its target, in name order. Any crash, sanitizer report, escaped
// exception or failed fuzz check fails the run; it names the file first.
#include "FuzzTarget.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_ROOT\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    int count = 0;
    const TFuzzTarget* targets = FuzzTargets(count);
    int failures = 0;
    for (int t = 0; t < count; ++t) {
        const QDir corpus(root.filePath(QString::fromLatin1(targets[t].Name)));
        const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
        // A target without inputs would pass without testing anything.
        if (files.isEmpty()) {
            std::fprintf(stderr, "%s: no inputs in %s\n", targets[t].Name,
                         qPrintable(corpus.path()));
            ++failures;
            continue;
        }
        for (const QString& name : files) {
            QFile file(corpus.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s: cannot read %s\n", targets[t].Name, qPrintable(name));
                ++failures;
                continue;
            }
            const QByteArray input = file.readAll();
            std::fprintf(stderr, "%s: %s\n", targets[t].Name, qPrintable(name));
            targets[t].Function(reinterpret_cast<const std::uint8_t*>(input.constData()),
                                std::size_t(input.size()));
        }
        std::printf("%s: %lld inputs replayed\n", targets[t].Name, (long long)files.size());
    }
    return failures == 0 ? 0 : 1;
}
