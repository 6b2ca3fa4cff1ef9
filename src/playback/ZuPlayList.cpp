#include "playback/ZuPlayList.h"

#include "keeping/ZuKeeper.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuLocalized.h"
#include "recording/ZuMechanic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

// A two-digit field of a name; anything but two ASCII digits (a sign or a
// space too) reads as 0.
int twoDigits(const QString& name, int at) {
    if (at < 0 || at + 2 > name.size())
        return 0;
    const QChar tens = name[at];
    const QChar units = name[at + 1];
    const auto digit = [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    };
    if (!digit(tens) || !digit(units))
        return 0;
    return (tens.unicode() - '0') * 10 + (units.unicode() - '0');
}

// The note as the area holds it: the bytes up to the first zero byte.
QString noteFromArea(QByteArray bytes) {
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromLocal8Bit(bytes);
}

} // namespace

const QStringList& ZuPlayList::columnKeys() {
    static const QStringList keys{lockFlagKey,   recordDateKey, startTimeKey, endTimeKey,
                                  recordTimeKey, fileSizeKey,   remarkKey};
    return keys;
}

ZuPlayList::ZuPlayList() : ZuRecordingTable(columnKeys()) {}

ZuPlayList& ZuPlayList::initWithDirPath(const QString& path, const QString& progressName) {
    progress = progressName;
    QStringList names =
        QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    std::sort(names.begin(), names.end());
    QVector<QVariantMap> records;
    QStringList listed;
    for (const QString& name : names) {
        if (!ZuMechanic::isSoundFile(name))
            continue;
        records.append(rowFor(path, name));
        listed.append(name);
    }
    resetRows(path, std::move(records), std::move(listed));
    return *this;
}

QVariantMap ZuPlayList::rowFor(const QString& folder, const QString& name) const {
    const QString path = folder + QLatin1Char('/') + name;
    const int sh = twoDigits(name, 22), sm = twoDigits(name, 24), ss = twoDigits(name, 26);
    const int eh = twoDigits(name, 29), em = twoDigits(name, 31), es = twoDigits(name, 33);
    // Size, lock and note come through one open file: the list is read
    // afresh at every refresh, and a folder may hold thousands.
    qint64 size = 0;
    bool locked = false;
    QByteArray area(noteLength, '\0');
    qint64 read = 0;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat info {};
        if (::fstat(fd, &info) == 0)
            size = info.st_size;
        locked = ZuFileLock::isLockedOpenFile(fd);
        read = ::pread(fd, area.data(), size_t(area.size()), noteOffset);
        ::close(fd);
    } else {
        // Unreadable: no note, but its size and lock still show.
        size = QFileInfo(path).size();
        locked = ZuFileLock::isLocked(path);
    }
    area.truncate(std::max<qint64>(read, 0));
    QVariantMap row;
    row[lockFlagKey] = locked ? ZuLocalized::text(QStringLiteral("CheckMark")) : QString();
    row[recordDateKey] = name.mid(15, 2) + '.' + name.mid(17, 2) + '.' + name.mid(19, 2);
    row[startTimeKey] = timeStringWithHour(sh, sm, ss);
    row[endTimeKey] = timeStringWithHour(eh, em, es);
    row[recordTimeKey] = periodStringWithSeconds(ZuKeeper::totalSecondOfFile(name));
    row[fileSizeKey] = double(size) / 1048576.0;
    row[remarkKey] = noteFromArea(area);
    return row;
}

QString ZuPlayList::noteOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(noteOffset))
        return {};
    return noteFromArea(file.read(noteLength));
}

QString ZuPlayList::startTimeStringAtRow(int row) const {
    return textAt(row, startTimeKey);
}

QString ZuPlayList::endTimeStringAtRow(int row) const {
    return textAt(row, endTimeKey);
}

QString ZuPlayList::noteStringAtRow(int row) const {
    return textAt(row, remarkKey);
}

bool ZuPlayList::isLockedAtRow(int row) const {
    return !textAt(row, lockFlagKey).isEmpty();
}

double ZuPlayList::totalTimeExceptLocked() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        if (!isLockedAtRow(row))
            sum += spendTimeAtRow(row);
    return sum;
}

bool ZuPlayList::isProgressAtRow(int row) const {
    return !progress.isEmpty() && fileNameAtRow(row) == progress;
}

QVariant ZuPlayList::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::TextAlignmentRole:
        if (index.column() == remarkColumn)
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        break;
    case Qt::FontRole: {
        if (!isProgressAtRow(index.row()))
            return {};
        QFont italic;
        italic.setItalic(true);
        return italic;
    }
    case Qt::ToolTipRole:
        return isProgressAtRow(index.row()) ? ZuLocalized::text(QStringLiteral("Recording"))
                                            : QVariant();
    default:
        break;
    }
    return ZuRecordingTable::data(index, role);
}

bool ZuPlayList::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    emit remarkEdited(index.row(), value.toString());
    return true;
}

Qt::ItemFlags ZuPlayList::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = ZuRecordingTable::flags(index);
    return index.isValid() && index.column() == remarkColumn ? flags | Qt::ItemIsEditable : flags;
}
