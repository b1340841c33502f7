#include "settings/ztSettings.h"

#include "base/OwnerOnlyFiles.h"
#include "base/RegionalSettings.h"
#include "base/ztFormat.h"
#include "settings/vlxPlatformPaths.h"
#include "settings/ztSettingsFile.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QTime>

namespace {

struct TValueName {
    QString KeyPath;
    QString Value;
};

// Split at the last backslash: "A\B\Name" -> key "A\B", value "Name".
TValueName SplitName(const QString& name) {
    const auto slash = name.lastIndexOf(u'\\');
    if (slash < 0)
        return {QString(), name};
    return {name.left(slash), name.mid(slash + 1)};
}

QString Join(const QString& group, const QString& value) {
    return group.isEmpty() ? value : group + u'/' + value;
}

// The stored text of a value read back from QSettings, whatever its type:
// the settings file gives text, the registry DWORDs, binaries and
// multi-strings too.
QString StoredText(const QVariant& stored) {
    if (!stored.isValid())
        return QString();
    switch (stored.typeId()) {
    case QMetaType::QStringList:
        return stored.toStringList().join(QStringLiteral(", "));
    case QMetaType::QByteArray:
        return QString::fromUtf8(stored.toByteArray());
    default:
        return stored.toString();
    }
}

bool TextToBool(const QString& text, bool& ok) {
    const QString t = text.trimmed();
    ok = true;
    if (t.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    const qlonglong n = t.toLongLong(&ok);
    return ok && n != 0;
}

bool TextToDateTime(const QString& text, QDateTime& result) {
    const QString t = text.trimmed();
    const auto blank = t.indexOf(u' ');
    try {
        const QDate date = StrToDate(blank < 0 ? t : t.left(blank));
        QTime time(0, 0);
        if (blank >= 0) {
            const QString timeText = t.mid(blank + 1).trimmed();
            time = QTime::fromString(timeText, QStringLiteral("H:mm:ss"));
            if (!time.isValid())
                time = QTime::fromString(timeText, QStringLiteral("H:mm"));
            if (!time.isValid())
                return false;
        }
        result = QDateTime(date, time);
        return result.isValid();
    } catch (const EztException&) {
        return false;
    }
}

// The settings file holds the saved passwords: it and its folder are made
// the owner's before QSettings writes them (a registry hive is no file).
QSettings::Status Sync(QSettings& settings) {
    if (settings.format() != QSettings::NativeFormat) {
        platform::MakeOwnerOnlyPath(QFileInfo(settings.fileName()).absolutePath());
        platform::PrepareOwnerOnlyFile(settings.fileName());
    }
    settings.sync();
    return settings.status();
}

} // namespace

QString SettingsValueToText(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 17)
            .replace(u'.', RegionalSettings().DecimalSeparator);
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        return date.isValid() ? DateToStr(date) : QString();
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return QString();
        // Midnight is written as the date alone, as the short-date reader
        // of earlier versions expects.
        if (dt.time() == QTime(0, 0))
            return DateToStr(dt.date());
        return DateToStr(dt.date()) + u' ' + dt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    default:
        return value.toString();
    }
}

bool SettingsTextToValue(const QString& text, const QVariant& defaultValue, QVariant& result) {
    const int type = defaultValue.typeId();
    if (type == QMetaType::QString) {
        result = text;
        return true;
    }
    if (text.isEmpty())
        return false;
    bool ok = false;
    switch (type) {
    case QMetaType::Int:
        result = text.toInt(&ok);
        return ok;
    case QMetaType::UShort:
        result = QVariant::fromValue(text.toUShort(&ok));
        return ok;
    case QMetaType::UInt:
        result = text.toUInt(&ok);
        return ok;
    case QMetaType::LongLong:
        result = text.toLongLong(&ok);
        return ok;
    case QMetaType::Bool:
        result = TextToBool(text, ok);
        return ok;
    case QMetaType::Double: {
        QString t = text.trimmed();
        const QChar separator = RegionalSettings().DecimalSeparator;
        if (separator != u'.') {
            if (t.contains(u'.'))
                return false;
            t.replace(separator, u'.');
        }
        result = t.toDouble(&ok);
        return ok;
    }
    case QMetaType::QDateTime: {
        QDateTime dt;
        if (!TextToDateTime(text, dt))
            return false;
        result = dt;
        return true;
    }
    case QMetaType::QDate: {
        QDateTime dt;
        if (!TextToDateTime(text, dt))
            return false;
        result = dt.date();
        return true;
    }
    default:
        return false;
    }
}

TztSettingsHive TztSettingsHive::File(const QString& fileName) {
    return {fileName, SettingsFileFormat()};
}

TztSettingsRegistry::TztSettingsRegistry(TztSettingsHive hive, const QString& rootPath)
    : m_hive(std::move(hive)), m_rootPath(NormaliseRootPath(rootPath)) {}

QString TztSettingsRegistry::NormaliseRootPath(const QString& path) {
    if (path.isEmpty())
        return path;
    if (path.endsWith(u'/') || path.endsWith(u':') || path.endsWith(u'\\'))
        return path;
    const QChar delimiter = path.contains(u'/') ? u'/' : u'\\';
    if (path.size() == 1)
        return path + u':' + delimiter;
    return path + delimiter;
}

QString TztSettingsRegistry::RootPath() const {
    return m_rootPath;
}

// A fresh QSettings for every operation, like a registry key opened and
// closed per call: it picks up edits made meanwhile and reports the status
// of this operation only.
std::unique_ptr<QSettings> TztSettingsRegistry::Open() const {
    return std::make_unique<QSettings>(m_hive.Location, m_hive.Format);
}

QString TztSettingsRegistry::GroupOf(const QString& keyPath) const {
    QString group = m_rootPath + keyPath;
    group.replace(u'\\', u'/');
    while (group.startsWith(u'/'))
        group.remove(0, 1);
    while (group.endsWith(u'/'))
        group.chop(1);
    return group;
}

bool TztSettingsRegistry::KeyExists(QSettings& settings, const QString& group) {
    settings.beginGroup(group);
    // Children of this level only: the whole subtree of a registry hive
    // would be a long walk.
    const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
    settings.endGroup();
    return exists;
}

void TztSettingsRegistry::SetValue(const QString& name, const QVariant& value) {
    QMutexLocker locker(&m_lock);
    const QString text = SettingsValueToText(value);
    const TValueName split = SplitName(name);
    if (split.Value.isEmpty())
        throw ESettingsError(Format(QStringLiteral("Invalid settings value name <%s>"), {name}));
    const QString key = Join(GroupOf(split.KeyPath), split.Value);
    auto settings = Open();
    if (text.isEmpty()) {
        // Deleting never creates the key (nor the settings file).
        if (!settings->contains(key))
            return;
        settings->remove(key);
    } else {
        settings->setValue(key, text);
    }
    if (Sync(*settings) == QSettings::AccessError)
        throw ESettingsError(Format(QStringLiteral("Cannot store the settings value <%s> in <%s>"),
                                    {name, settings->fileName()}));
}

QVariant TztSettingsRegistry::GetValue(const QString& name, const QVariant& defaultValue) const {
    QMutexLocker locker(&m_lock);
    const TValueName split = SplitName(name);
    if (split.Value.isEmpty())
        return defaultValue;
    const QString group = GroupOf(split.KeyPath);
    auto settings = Open();
    if (!KeyExists(*settings, group))
        return defaultValue;
    const QString text = StoredText(settings->value(Join(group, split.Value)));
    QVariant result;
    return SettingsTextToValue(text, defaultValue, result) ? result : defaultValue;
}

QStringList TztSettingsRegistry::GetValueNames(const QString& keyPath) const {
    QMutexLocker locker(&m_lock);
    auto settings = Open();
    settings->beginGroup(GroupOf(keyPath));
    return settings->childKeys();
}

QStringList TztSettingsRegistry::GetChildNames(const QString& keyPath) const {
    QMutexLocker locker(&m_lock);
    auto settings = Open();
    settings->beginGroup(GroupOf(keyPath));
    return settings->childGroups();
}

void TztSettingsRegistry::DeleteNode(const QString& keyPath) {
    QMutexLocker locker(&m_lock);
    const QString group = GroupOf(keyPath);
    auto settings = Open();
    if (!KeyExists(*settings, group))
        return;
    if (group.isEmpty())
        settings->clear();
    else
        settings->remove(group);
    if (Sync(*settings) == QSettings::AccessError)
        throw ESettingsError(Format(QStringLiteral("Cannot delete the settings key <%s> in <%s>"),
                                    {keyPath, settings->fileName()}));
}

void TztSettingsRegistry::DeleteValue(const QString& name) {
    QMutexLocker locker(&m_lock);
    const TValueName split = SplitName(name);
    if (split.Value.isEmpty())
        return;
    const QString key = Join(GroupOf(split.KeyPath), split.Value);
    auto settings = Open();
    if (!settings->contains(key))
        return;
    settings->remove(key);
    if (Sync(*settings) == QSettings::AccessError)
        throw ESettingsError(Format(QStringLiteral("Cannot delete the settings value <%s> in <%s>"),
                                    {name, settings->fileName()}));
}

IztSettingsPtr CreateAppSettings() {
    const QString program = platform::ProgramName(platform::ProgramFilePath());
    return std::make_shared<TztSettingsRegistry>(platform::AppSettingsHive(program),
                                                 platform::AppSettingsRootPath(program));
}
