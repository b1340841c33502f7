// The settings file: any bytes read as settings; what was read, written
// and read again, is the same.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "settings/ztSettingsFile.h"

#include <QBuffer>

ORVQ_FUZZ_TARGET(settingsfile) {
    QByteArray bytes = fuzz::Bytes(data, size);
    QBuffer input(&bytes);
    input.open(QIODevice::ReadOnly);
    QSettings::SettingsMap read;
    FUZZ_CHECK(ReadSettingsFile(input, read));

    QByteArray written;
    QBuffer output(&written);
    output.open(QIODevice::WriteOnly);
    FUZZ_CHECK(WriteSettingsFile(output, read));
    output.close();
    QBuffer again(&written);
    again.open(QIODevice::ReadOnly);
    QSettings::SettingsMap reread;
    FUZZ_CHECK(ReadSettingsFile(again, reread));
    FUZZ_CHECK(reread == read);
}
