// The settings store: values addressed by "Key\Sub\ValueName" below the
// program's root key, stored as text, converted on reading to the type of
// the caller's default. Windows keeps the tree in the registry
// (HKEY_CURRENT_USER\Software\Zantrel\<program>), Unix in one settings
// file, ~/.config/Zantrel/<program>.ini, whose sections are the subkeys and
// whose values read as they were written by hand (ztSettingsFile.h).
#pragma once

#include "base/ztExceptions.h"

#include <QDateTime>
#include <QMutex>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <memory>

// A value could not be stored in an opened key.
class ESettingsError : public EztException {
public:
    using EztException::EztException;
};

class IztSettings {
public:
    virtual ~IztSettings() = default;

    virtual QString RootPath() const = 0;
    // Booleans as "1"/"0", numbers as decimal text, date-times in the
    // regional short-date format with the time when it is not midnight.
    // Empty text deletes the value. Throws ESettingsError when the store
    // cannot be written.
    virtual void SetValue(const QString& name, const QVariant& value) = 0;
    // The stored text converted to the type of defaultValue (QString, int,
    // quint16/ushort, bool, double, QDateTime); the default when the key is
    // missing or the text does not convert. Never throws. For a string
    // default, a missing value in an existing key gives empty text.
    virtual QVariant GetValue(const QString& name, const QVariant& defaultValue) const = 0;
    virtual QStringList GetValueNames(const QString& keyPath) const = 0;
    virtual QStringList GetChildNames(const QString& keyPath) const = 0;
    virtual void DeleteNode(const QString& keyPath) = 0;
    virtual void DeleteValue(const QString& name) = 0;

    void SetAsString(const QString& name, const QString& value) { SetValue(name, value); }
    QString GetAsString(const QString& name) const { return GetValue(name, QString()).toString(); }
    void SetAsInteger(const QString& name, int value) { SetValue(name, value); }
    int GetAsInteger(const QString& name) const { return GetValue(name, 0).toInt(); }
    // A null date-time is the zero date: it reads back as null.
    void SetAsDateTime(const QString& name, const QDateTime& value) { SetValue(name, value); }
    QDateTime GetAsDateTime(const QString& name) const {
        return GetValue(name, QDateTime()).toDateTime();
    }
    void SetAsBoolean(const QString& name, bool value) { SetValue(name, value); }
    bool GetAsBoolean(const QString& name) const { return GetValue(name, false).toBool(); }
};
using IztSettingsPtr = std::shared_ptr<IztSettings>;

// Where a store keeps its tree: a registry hive (QSettings::NativeFormat on
// Windows, "HKEY_CURRENT_USER") or a settings file (ztSettingsFile.h).
struct TztSettingsHive {
    QString Location;
    QSettings::Format Format;

    static TztSettingsHive File(const QString& fileName);
};

class TztSettingsRegistry : public IztSettings {
public:
    // rootPath is normalised: empty stays empty; a path ending with "/", ":"
    // or "\" stays; one letter gets ":" and the delimiter; any other path
    // gets the delimiter ("/" when it contains "/", else "\").
    TztSettingsRegistry(TztSettingsHive hive, const QString& rootPath);

    QString RootPath() const override;
    void SetValue(const QString& name, const QVariant& value) override;
    QVariant GetValue(const QString& name, const QVariant& defaultValue) const override;
    QStringList GetValueNames(const QString& keyPath) const override;
    QStringList GetChildNames(const QString& keyPath) const override;
    void DeleteNode(const QString& keyPath) override;
    void DeleteValue(const QString& name) override;

    static QString NormaliseRootPath(const QString& path);

private:
    std::unique_ptr<QSettings> Open() const;
    // The QSettings group of a key path below the root ("A\B" -> "A/B").
    QString GroupOf(const QString& keyPath) const;
    static bool KeyExists(QSettings& settings, const QString& group);

    TztSettingsHive m_hive;
    QString m_rootPath;
    mutable QMutex m_lock;
};

// The program's own store (see the header comment for where it lives).
IztSettingsPtr CreateAppSettings();

// Text <-> value conversions of the store, exposed for the tests.
QString SettingsValueToText(const QVariant& value);
// False when the text does not convert to the type of defaultValue.
bool SettingsTextToValue(const QString& text, const QVariant& defaultValue, QVariant& result);
