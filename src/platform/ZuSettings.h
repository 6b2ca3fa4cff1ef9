#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <cstdint>
#include <memory>
#include <mutex>

class QSettings;

// The per-user defaults store. Registered defaults are fallbacks held in memory
// only; stored values live in an INI file. Typed reads never fail: a value that
// is neither stored nor registered reads as NO/0/empty, and a stored value of
// the wrong type reads as the fallback (with one console warning per key).
// Arrays are stored as JSON text so that their item types survive the INI file.
// All operations are thread-safe.
class ZuSettings {
public:
    static ZuSettings& standard();

    ZuSettings();
    ~ZuSettings();
    ZuSettings(const ZuSettings&) = delete;
    ZuSettings& operator=(const ZuSettings&) = delete;

    // Points the store at another file; stored values are read from it afresh,
    // registered defaults are kept.
    void setFilePath(const QString& path);
    QString filePath() const;
    static QString defaultFilePath();

    void registerDefaults(const QVariantMap& defaults);
    // The values a numeric key may hold. A stored value outside reads as the
    // registered default, with one console line naming the range.
    void registerRange(const QString& key, double minimum, double maximum);
    // "MINIMUM to MAXIMUM", as the console lines name it.
    static QString rangeText(double minimum, double maximum);
    QVariant registeredDefault(const QString& key) const;
    bool isRegistered(const QString& key) const;

    bool hasStoredValue(const QString& key) const;
    QVariant objectForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    int64_t integerForKey(const QString& key) const;
    float floatForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;

    void setBool(bool value, const QString& key);
    void setInteger(int64_t value, const QString& key);
    void setFloat(float value, const QString& key);
    void setDouble(double value, const QString& key);
    void setString(const QString& value, const QString& key);
    void setArray(const QVariantList& value, const QString& key);
    void removeObjectForKey(const QString& key);

    // Flushes to disk; false when the file cannot be written, which is said
    // on the console once until a write succeeds again.
    bool synchronize();
    // True when the file's folder exists or can be made and the file is writable.
    bool isWritable() const;

    // Keys whose stored values were ignored as garbled, of the wrong type or
    // out of range.
    QStringList ignoredKeys() const;

    // Parses a command-line text as a value of the registered default's type
    // (booleans as true/false, yes/no or 1/0). Invalid when it does not parse.
    static QVariant parseTextAs(const QString& text, const QVariant& typeOf);

private:
    enum class Kind { Bool, Integer, Real, String, Array };
    QVariant storedValue(const QString& key) const;
    QVariant read(const QString& key, Kind kind) const;
    static QVariant convert(const QVariant& raw, Kind kind);
    void warnIgnored(const QString& key) const;
    bool outOfRange(const QString& key, const QVariant& stored) const;
    // A file the store cannot parse is moved aside to "FILE.corrupt", so that
    // the saves of the run do not meet the garbage.
    void setAsideUnreadableFile();
    void write(const QString& key, const QVariant& value);

    mutable std::recursive_mutex mutex;
    std::unique_ptr<QSettings> store;
    QString path;
    QVariantMap registered;
    QHash<QString, std::pair<double, double>> ranges;
    mutable QSet<QString> ignored;
    bool writeFailureSaid = false;
};
