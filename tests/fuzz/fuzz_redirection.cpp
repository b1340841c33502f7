// Redirection files: any bytes, then every alias they define (and the
// program's own) looked up as a folder and as a file.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "settings/vlxRedir.h"

ORVQ_FUZZ_TARGET(redirection) {
    TRedirectionPlaces places;
    places.WorkDir = QStringLiteral("/work");
    places.AppDir = QStringLiteral("/opt/orvq");
    places.TempDir = QStringLiteral("/tmp");
    places.AppDataDir = QStringLiteral("/home/u/.config");
    places.LocalAppDataDir = QStringLiteral("/home/u/.local/share");
    places.CommonAppDataDir = QStringLiteral("/usr/share");
    try {
        auto [directories, fileNames] = ParseRedirectionText(fuzz::Bytes(data, size));
        const TGenericRedirection redirection(directories, fileNames, places,
                                              QStringLiteral("/opt/orvq"));
        QStringList aliases = {QStringLiteral("Log"), QStringLiteral("Queries"),
                               QStringLiteral("logarchives")};
        for (const auto& entry : directories + fileNames)
            aliases << entry.first;
        for (const QString& alias : aliases) {
            try {
                const QString directory = redirection.GetDirectory(alias);
                FUZZ_CHECK(directory.isEmpty() || directory.endsWith(u'/') ||
                           directory.endsWith(u'\\'));
            } catch (const ERedirectionError&) {
            }
            try {
                redirection.GetFileName(alias);
            } catch (const ERedirectionError&) {
            }
        }
    } catch (const ERedirectionError&) {
        // Duplicate aliases.
    }
}
