#include "model/GhoulSettings.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtGlobal>
#include <algorithm>

namespace {

const QString listKey = QStringLiteral("GhoulList");

QString itemKey(int index, const char* field) {
    return QStringLiteral("GhoulList/%1/%2").arg(QString::number(index), QLatin1String(field));
}

} // namespace

QString GhoulSettings::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/ZuGhoulizer/ZuGhoulizer.conf");
}

GhoulSettings::GhoulSettings(const QString& path)
    : settings_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

QList<GhoulEntry> GhoulSettings::loadGhoulList(QStringList* problems) {
    problems->clear();
    settings_->sync();
    if (settings_->status() == QSettings::AccessError)
        *problems << QStringLiteral("the file cannot be read");
    else if (settings_->status() == QSettings::FormatError)
        *problems << QStringLiteral("the file does not parse whole; what could be read is kept");
    if (settings_->contains(listKey))
        *problems << QStringLiteral("GhoulList holds a single value instead of a list");

    // The entries are numbered from 1; "size" tells how many there are, but
    // an entry beyond it, or a size that does not read, loses nothing.
    static const QRegularExpression numbered(QStringLiteral("^GhoulList/(\\d+)/"));
    int count = 0;
    for (const QString& key : settings_->allKeys()) {
        const QRegularExpressionMatch match = numbered.match(key);
        if (match.hasMatch())
            count = std::max(count, match.captured(1).toInt());
    }
    const QVariant sizeValue = settings_->value(listKey + QLatin1String("/size"));
    bool sizeOk = false;
    const int size = sizeValue.toString().toInt(&sizeOk);
    if (sizeValue.isValid() && (!sizeOk || size < 0))
        *problems << QStringLiteral("GhoulList/size \"%1\" is no count").arg(sizeValue.toString());
    else if (!sizeValue.isValid() && count > 0)
        *problems << QStringLiteral("GhoulList has no size");
    else
        count = std::max(count, size);

    QList<GhoulEntry> list;
    for (int index = 1; index <= count; ++index) {
        GhoulEntry entry;
        entry.name = settings_->value(itemKey(index, "GhoulName")).toString();
        entry.fullPath = settings_->value(itemKey(index, "GhoulFullPath")).toString();
        const QString birthday = settings_->value(itemKey(index, "GhoulBirthday")).toString();
        entry.birthday = QDateTime::fromString(birthday, Qt::ISODateWithMs);
        const QString generation = settings_->value(itemKey(index, "GhoulGeneration")).toString();
        bool numeric = false;
        entry.generation = generation.toInt(&numeric);
        QString fault;
        if (entry.name.isEmpty())
            fault = QStringLiteral("it has no GhoulName");
        else if (!entry.birthday.isValid())
            fault = QStringLiteral("its GhoulBirthday \"%1\" is no date").arg(birthday);
        else if (!numeric || entry.generation < -1)
            fault = QStringLiteral("its GhoulGeneration \"%1\" is no generation").arg(generation);
        else if (std::any_of(list.cbegin(), list.cend(),
                             [&](const GhoulEntry& e) { return e.name == entry.name; }))
            fault = QStringLiteral("%1 is listed before").arg(entry.name);
        if (fault.isEmpty())
            list << entry;
        else
            *problems
                << QStringLiteral("entry %1 is skipped: %2").arg(QString::number(index), fault);
    }
    damaged_ = damaged_ || !problems->isEmpty();
    return list;
}

bool GhoulSettings::saveGhoulList(const QList<GhoulEntry>& list) {
    if (!keepCopyOfDamagedFile())
        return false;
    settings_->remove(listKey);
    settings_->setValue(listKey + QLatin1String("/size"), list.size());
    for (int i = 0; i < list.size(); ++i) {
        settings_->setValue(itemKey(i + 1, "GhoulName"), list[i].name);
        settings_->setValue(itemKey(i + 1, "GhoulFullPath"), list[i].fullPath);
        settings_->setValue(itemKey(i + 1, "GhoulBirthday"),
                            list[i].birthday.toString(Qt::ISODateWithMs));
        settings_->setValue(itemKey(i + 1, "GhoulGeneration"), list[i].generation);
    }
    return write();
}

bool GhoulSettings::write() {
    settings_->sync();
    const QSettings::Status status = settings_->status();
    if (status == QSettings::NoError) {
        lastError_.clear();
        return true;
    }
    // QSettings keeps its first error: a file that did not parse when read
    // reports so after every later write. What was written parses, so a
    // fresh read of the file tells whether this write went through.
    if (status == QSettings::FormatError) {
        const QString path = settings_->fileName();
        settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
        settings_->sync();
        if (settings_->status() == QSettings::NoError) {
            lastError_.clear();
            return true;
        }
    }
    lastError_ = QStringLiteral("%1 cannot be written").arg(settings_->fileName());
    return false;
}

bool GhoulSettings::keepCopyOfDamagedFile() {
    if (!damaged_ || !keptCopy_.isEmpty())
        return true;
    const QString path = settings_->fileName();
    if (!QFileInfo::exists(path)) {
        damaged_ = false;
        return true;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = QStringLiteral("%1.damaged-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp, QString::number(n));
    if (!QFile::copy(path, copy)) {
        lastError_ = QStringLiteral("%1 could not be read whole, and no copy of it can be kept "
                                    "as %2; it is left as it is")
                         .arg(path, copy);
        return false;
    }
    keptCopy_ = copy;
    return true;
}

QByteArray GhoulSettings::frame(const QString& autosaveName) {
    return settings_->value(QStringLiteral("Frames/") + autosaveName).toByteArray();
}

void GhoulSettings::setFrame(const QString& autosaveName, const QByteArray& geometry) {
    // A value set is written sooner or later: not before the copy is kept.
    if (!keepCopyOfDamagedFile())
        return;
    settings_->setValue(QStringLiteral("Frames/") + autosaveName, geometry);
    write();
}
