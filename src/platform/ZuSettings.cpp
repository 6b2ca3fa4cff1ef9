#include "platform/ZuSettings.h"

#include "platform/ZuConsole.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

namespace {

// Array values are stored under this prefix so they can be told from strings.
const QString jsonPrefix = QStringLiteral("json:");
// Marks a string that would otherwise begin like an array or like this mark.
const QString textPrefix = QStringLiteral("text:");

bool parseBool(const QString& text, bool* ok) {
    const QString t = text.trimmed().toLower();
    *ok = true;
    if (t == "true" || t == "yes" || t == "1")
        return true;
    if (t == "false" || t == "no" || t == "0")
        return false;
    *ok = false;
    return false;
}

// QSettings reads a garbled file without complaint and tells it only when it
// writes, having parsed it again; so a copy is written to learn it first.
bool iniFileParses(const QString& path) {
    if (!QFileInfo(path).isFile())
        return true;
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("check.conf"));
    if (!folder.isValid() || !QFile::copy(path, copy))
        return true;
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QSettings probe(copy, QSettings::IniFormat);
    probe.setValue(QStringLiteral("ReadCheck"), true);
    probe.sync();
    return probe.status() != QSettings::FormatError;
}

} // namespace

ZuSettings& ZuSettings::standard() {
    static ZuSettings settings;
    return settings;
}

ZuSettings::ZuSettings() {
    setFilePath(defaultFilePath());
}

ZuSettings::~ZuSettings() = default;

QString ZuSettings::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/Nightwarden/Nightwarden.conf";
}

void ZuSettings::setFilePath(const QString& newPath) {
    std::lock_guard lock(mutex);
    if (store)
        store->sync();
    path = newPath;
    ignored.clear();
    writeFailureSaid = false;
    if (iniFileParses(path))
        store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    else
        setAsideUnreadableFile();
}

void ZuSettings::setAsideUnreadableFile() {
    // What the lenient read makes of the file, under names a key can have,
    // is kept: a stray line costs no more than itself. Random bytes give no
    // such names, and the run starts on the defaults.
    static const QRegularExpression keyName(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
    QVariantMap salvaged;
    {
        const QSettings lenient(path, QSettings::IniFormat);
        for (const QString& key : lenient.allKeys())
            if (keyName.match(key).hasMatch())
                salvaged.insert(key, lenient.value(key));
    }
    const QString copy = path + QStringLiteral(".corrupt");
    QFile::remove(copy);
    const bool kept = QFile::rename(path, copy);
    store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    for (auto it = salvaged.cbegin(); it != salvaged.cend(); ++it)
        store->setValue(it.key(), it.value());
    const QString read =
        salvaged.isEmpty()
            ? QStringLiteral("the run starts on the defaults")
            : QStringLiteral("the run keeps the %1 settings read from it").arg(salvaged.size());
    if (kept) {
        ZuConsole::line(
            QStringLiteral("ZuSettings: the settings file %1 could not be read; it is kept as %2, "
                           "and %3.")
                .arg(path, copy, read));
    } else {
        ZuConsole::line(QStringLiteral("ZuSettings: the settings file %1 could not be read, nor "
                                       "kept aside; %2.")
                            .arg(path, read));
        // Its saves would fail on the same garbage: say so once, here.
        writeFailureSaid = true;
    }
}

QString ZuSettings::filePath() const {
    std::lock_guard lock(mutex);
    return path;
}

void ZuSettings::registerDefaults(const QVariantMap& defaults) {
    std::lock_guard lock(mutex);
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        registered.insert(it.key(), it.value());
}

QVariant ZuSettings::registeredDefault(const QString& key) const {
    std::lock_guard lock(mutex);
    return registered.value(key);
}

void ZuSettings::registerRange(const QString& key, double minimum, double maximum) {
    std::lock_guard lock(mutex);
    ranges.insert(key, {minimum, maximum});
}

QString ZuSettings::rangeText(double minimum, double maximum) {
    return QStringLiteral("%1 to %2")
        .arg(QString::number(minimum, 'g', 12), QString::number(maximum, 'g', 12));
}

bool ZuSettings::isRegistered(const QString& key) const {
    std::lock_guard lock(mutex);
    return registered.contains(key);
}

bool ZuSettings::hasStoredValue(const QString& key) const {
    std::lock_guard lock(mutex);
    return store->contains(key);
}

QVariant ZuSettings::storedValue(const QString& key) const {
    QVariant raw = store->value(key);
    if (raw.typeId() == QMetaType::QString && raw.toString().startsWith(textPrefix))
        return raw.toString().mid(textPrefix.size());
    if (raw.typeId() == QMetaType::QString && raw.toString().startsWith(jsonPrefix)) {
        QJsonParseError error;
        const QJsonDocument doc =
            QJsonDocument::fromJson(raw.toString().mid(jsonPrefix.size()).toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isArray())
            return QVariant::fromValue(QStringList{}); // marks garbage: no kind accepts it
        return doc.array().toVariantList();
    }
    return raw;
}

QVariant ZuSettings::objectForKey(const QString& key) const {
    std::lock_guard lock(mutex);
    if (store->contains(key))
        return storedValue(key);
    return registered.value(key);
}

QVariant ZuSettings::convert(const QVariant& raw, Kind kind) {
    const int type = raw.typeId();
    bool ok = false;
    switch (kind) {
    case Kind::Bool:
        if (type == QMetaType::Bool)
            return raw;
        if (type == QMetaType::QString) {
            const bool b = parseBool(raw.toString(), &ok);
            if (ok)
                return b;
            const double d = raw.toString().toDouble(&ok);
            return ok ? QVariant(d != 0.0) : QVariant();
        }
        if (raw.canConvert<double>() && type != QMetaType::QVariantList &&
            type != QMetaType::QStringList)
            return raw.toDouble() != 0.0;
        return {};
    case Kind::Integer:
    case Kind::Real: {
        double d = 0.0;
        if (type == QMetaType::Bool) {
            d = raw.toBool() ? 1.0 : 0.0;
        } else if (type == QMetaType::QString) {
            const QString t = raw.toString();
            d = t.trimmed().toDouble(&ok);
            if (!ok) {
                const bool b = parseBool(t, &ok);
                if (!ok)
                    return {};
                d = b ? 1.0 : 0.0;
            }
        } else if (type == QMetaType::QVariantList || type == QMetaType::QStringList ||
                   !raw.canConvert<double>()) {
            return {};
        } else {
            d = raw.toDouble();
        }
        // A hand-edited "nan" or "1e30" is garbage, not a number to convert.
        if (!std::isfinite(d) || (kind == Kind::Integer && std::abs(d) >= 9.2e18))
            return {};
        if (kind == Kind::Integer)
            return QVariant::fromValue<qint64>(static_cast<qint64>(d));
        return d;
    }
    case Kind::String:
        if (type == QMetaType::QString || type == QMetaType::Bool || type == QMetaType::Int ||
            type == QMetaType::LongLong || type == QMetaType::Double)
            return raw.toString();
        return {};
    case Kind::Array:
        if (type == QMetaType::QVariantList)
            return raw;
        return {};
    }
    return {};
}

void ZuSettings::warnIgnored(const QString& key) const {
    if (ignored.contains(key))
        return;
    ignored.insert(key);
    ZuConsole::line(
        QStringLiteral("ZuSettings: ignored the stored value of %1 in %2 (wrong type); the "
                       "default is used.")
            .arg(key, path));
}

// Any number the owner could make of the value counts, whatever kind it reads.
bool ZuSettings::outOfRange(const QString& key, const QVariant& stored) const {
    const auto range = ranges.constFind(key);
    if (range == ranges.cend())
        return false;
    const QVariant number = convert(stored, Kind::Real);
    if (!number.isValid())
        return false;
    const double value = number.toDouble();
    if (value >= range->first && value <= range->second)
        return false;
    if (!ignored.contains(key)) {
        ignored.insert(key);
        ZuConsole::line(
            QStringLiteral("ZuSettings: %1=%2 in %3 is out of range (%4); the default %5 is used.")
                .arg(key, stored.toString(), path, rangeText(range->first, range->second),
                     registered.value(key).toString()));
    }
    return true;
}

QVariant ZuSettings::read(const QString& key, Kind kind) const {
    std::lock_guard lock(mutex);
    if (store->contains(key)) {
        const QVariant stored = storedValue(key);
        QVariant v = convert(stored, kind);
        if (v.isValid() && !outOfRange(key, stored))
            return v;
        if (!v.isValid())
            warnIgnored(key);
    }
    if (registered.contains(key))
        return convert(registered.value(key), kind);
    return {};
}

bool ZuSettings::boolForKey(const QString& key) const {
    return read(key, Kind::Bool).toBool();
}

int64_t ZuSettings::integerForKey(const QString& key) const {
    return read(key, Kind::Integer).toLongLong();
}

float ZuSettings::floatForKey(const QString& key) const {
    return static_cast<float>(read(key, Kind::Real).toDouble());
}

double ZuSettings::doubleForKey(const QString& key) const {
    return read(key, Kind::Real).toDouble();
}

QString ZuSettings::stringForKey(const QString& key) const {
    return read(key, Kind::String).toString();
}

QVariantList ZuSettings::arrayForKey(const QString& key) const {
    return read(key, Kind::Array).toList();
}

void ZuSettings::write(const QString& key, const QVariant& value) {
    std::lock_guard lock(mutex);
    store->setValue(key, value);
    ignored.remove(key);
}

void ZuSettings::setBool(bool value, const QString& key) {
    write(key, value);
}
void ZuSettings::setInteger(int64_t value, const QString& key) {
    write(key, QVariant::fromValue<qint64>(value));
}
void ZuSettings::setFloat(float value, const QString& key) {
    write(key, static_cast<double>(value));
}
void ZuSettings::setDouble(double value, const QString& key) {
    write(key, value);
}
void ZuSettings::setString(const QString& value, const QString& key) {
    if (value.startsWith(jsonPrefix) || value.startsWith(textPrefix))
        write(key, textPrefix + value);
    else
        write(key, value);
}

void ZuSettings::setArray(const QVariantList& value, const QString& key) {
    const QByteArray json =
        QJsonDocument(QJsonArray::fromVariantList(value)).toJson(QJsonDocument::Compact);
    write(key, jsonPrefix + QString::fromUtf8(json));
}

void ZuSettings::removeObjectForKey(const QString& key) {
    std::lock_guard lock(mutex);
    store->remove(key);
}

bool ZuSettings::synchronize() {
    std::lock_guard lock(mutex);
    QDir().mkpath(QFileInfo(path).absolutePath());
    store->sync();
    if (store->status() != QSettings::NoError) {
        if (!writeFailureSaid)
            ZuConsole::line(
                QStringLiteral("ZuSettings: cannot write the settings file %1.").arg(path));
        writeFailureSaid = true;
        return false;
    }
    writeFailureSaid = false;
    return true;
}

bool ZuSettings::isWritable() const {
    std::lock_guard lock(mutex);
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    if (info.exists())
        return info.isWritable();
    return QFileInfo(info.absolutePath()).isWritable();
}

QStringList ZuSettings::ignoredKeys() const {
    std::lock_guard lock(mutex);
    QStringList keys = ignored.values();
    keys.sort();
    return keys;
}

QVariant ZuSettings::parseTextAs(const QString& text, const QVariant& typeOf) {
    bool ok = false;
    switch (typeOf.typeId()) {
    case QMetaType::Bool: {
        const bool b = parseBool(text, &ok);
        return ok ? QVariant(b) : QVariant();
    }
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qint64 n = text.trimmed().toLongLong(&ok);
        return ok ? QVariant::fromValue(n) : QVariant();
    }
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = text.trimmed().toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    case QMetaType::QString:
        return text;
    case QMetaType::QVariantList: {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isArray())
            return {};
        return doc.array().toVariantList();
    }
    default:
        return {};
    }
}
