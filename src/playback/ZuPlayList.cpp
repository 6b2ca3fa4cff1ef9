#include "playback/ZuPlayList.h"

#include "keeping/ZuKeeper.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuLocalized.h"
#include "recording/ZuMechanic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cmath>

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

struct Split {
    int hour;
    int minute;
    int second;
    int hundredths;
};

Split split(double seconds) {
    const double whole = std::trunc(seconds);
    const long long total = static_cast<long long>(whole);
    return {int(total / 3600), int(total % 3600 / 60), int(total % 60),
            int(std::trunc((seconds - whole) * 100))};
}

} // namespace

const QStringList& ZuPlayList::columnKeys() {
    static const QStringList keys{lockFlagKey,   recordDateKey, startTimeKey, endTimeKey,
                                  recordTimeKey, fileSizeKey,   remarkKey};
    return keys;
}

ZuPlayList& ZuPlayList::initWithDirPath(const QString& path, const QString& progressName) {
    beginResetModel();
    folder = path;
    progress = progressName;
    playList.clear();
    fileList.clear();
    QStringList names =
        QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    std::sort(names.begin(), names.end());
    for (const QString& name : names) {
        if (!ZuMechanic::isSoundFile(name))
            continue;
        playList.append(rowFor(path, name));
        fileList.append(name);
    }
    endResetModel();
    return *this;
}

QVariantMap ZuPlayList::rowFor(const QString& folder, const QString& name) const {
    const QString path = folder + QLatin1Char('/') + name;
    const int sh = twoDigits(name, 22), sm = twoDigits(name, 24), ss = twoDigits(name, 26);
    const int eh = twoDigits(name, 29), em = twoDigits(name, 31), es = twoDigits(name, 33);
    QVariantMap row;
    row[lockFlagKey] =
        ZuFileLock::isLocked(path) ? ZuLocalized::text(QStringLiteral("CheckMark")) : QString();
    row[recordDateKey] = name.mid(15, 2) + '.' + name.mid(17, 2) + '.' + name.mid(19, 2);
    row[startTimeKey] = timeStringWithHour(sh, sm, ss);
    row[endTimeKey] = timeStringWithHour(eh, em, es);
    row[recordTimeKey] = periodStringWithSeconds(ZuKeeper::totalSecondOfFile(name));
    row[fileSizeKey] = double(QFileInfo(path).size()) / 1048576.0;
    row[remarkKey] = noteOfFile(path);
    return row;
}

QString ZuPlayList::noteOfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(noteOffset))
        return {};
    QByteArray bytes = file.read(noteLength);
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    return QString::fromLocal8Bit(bytes);
}

QString ZuPlayList::textAt(int row, const QString& key) const {
    if (row < 0 || row >= playList.size())
        return {};
    return playList[row].value(key).toString();
}

QString ZuPlayList::fileNameAtRow(int row) const {
    return row >= 0 && row < fileList.size() ? fileList[row] : QString();
}

double ZuPlayList::fileSizeAtRow(int row) const {
    return row >= 0 && row < playList.size() ? playList[row].value(fileSizeKey).toDouble() : 0.0;
}

QString ZuPlayList::startTimeStringAtRow(int row) const {
    return textAt(row, startTimeKey);
}

QString ZuPlayList::endTimeStringAtRow(int row) const {
    return textAt(row, endTimeKey);
}

QString ZuPlayList::spendTimeStringAtRow(int row) const {
    return textAt(row, recordTimeKey);
}

QString ZuPlayList::noteStringAtRow(int row) const {
    return textAt(row, remarkKey);
}

bool ZuPlayList::isLockedAtRow(int row) const {
    return !textAt(row, lockFlagKey).isEmpty();
}

double ZuPlayList::spendTimeAtRow(int row) const {
    return secondsWithSpendString(spendTimeStringAtRow(row));
}

double ZuPlayList::totalTime() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        sum += spendTimeAtRow(row);
    return sum;
}

double ZuPlayList::totalTimeExceptLocked() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        if (!isLockedAtRow(row))
            sum += spendTimeAtRow(row);
    return sum;
}

double ZuPlayList::totalSize() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        sum += fileSizeAtRow(row);
    return sum;
}

QString ZuPlayList::totalPeriodString() const {
    return periodStringWithSeconds(totalTime());
}

QVariant ZuPlayList::tableView(const QString& objectValueForTableColumn, int row) const {
    if (row < 0 || row >= playList.size())
        return {};
    return playList[row].value(objectValueForTableColumn);
}

void ZuPlayList::tableView(const QVariant& setObjectValue, const QString& forTableColumn, int row) {
    if (row < 0 || row >= playList.size())
        return;
    playList[row][forTableColumn] = setObjectValue;
    const int column = int(columnKeys().indexOf(forTableColumn));
    if (column >= 0)
        emit dataChanged(index(row, column), index(row, column));
}

bool ZuPlayList::isProgressAtRow(int row) const {
    return !progress.isEmpty() && fileNameAtRow(row) == progress;
}

QStringList ZuPlayList::tableViewWriteRows(const QList<int>& rows) const {
    if (rows.isEmpty() || fileNameAtRow(rows.first()).isEmpty())
        return {};
    return {folder + '/' + fileNameAtRow(rows.first())};
}

int ZuPlayList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : totalFiles();
}

int ZuPlayList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columnKeys().size());
}

QVariant ZuPlayList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columnKeys().size())
        return {};
    const QString key = columnKeys()[index.column()];
    switch (role) {
    case Qt::TextAlignmentRole:
        if (key == remarkKey)
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        return key == fileSizeKey || key == recordTimeKey
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignCenter);
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
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const QVariant value = tableView(key, index.row());
        if (key == fileSizeKey)
            return QString::number(value.toDouble(), 'f', 2);
        return value;
    }
    default:
        return {};
    }
}

bool ZuPlayList::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    emit remarkEdited(index.row(), value.toString());
    return true;
}

QVariant ZuPlayList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnKeys().size())
        return {};
    return ZuLocalized::text(columnKeys()[section]);
}

Qt::ItemFlags ZuPlayList::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    return index.column() == remarkColumn ? flags | Qt::ItemIsEditable : flags;
}

QStringList ZuPlayList::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* ZuPlayList::mimeData(const QModelIndexList& indexes) const {
    return fileDragOfFirstRow(indexes,
                              [this](const QList<int>& rows) { return tableViewWriteRows(rows); });
}

QMimeData* ZuPlayList::fileDragOfFirstRow(const QModelIndexList& indexes,
                                          const std::function<QStringList(QList<int>)>& paths) {
    QList<int> rows;
    for (const QModelIndex& index : indexes)
        if (!rows.contains(index.row()))
            rows << index.row();
    std::sort(rows.begin(), rows.end());
    const QStringList found = paths(rows);
    if (found.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(found.first())});
    return mime;
}

QString ZuPlayList::periodStringWithHour(int hour, int minute, int second) {
    if (hour == 0)
        return QString::asprintf("%d'%02d\"", minute, second);
    return QString::asprintf("%d:%02d'%02d\"", hour, minute, second);
}

QString ZuPlayList::periodStringWithHour(int hour, int minute, int second, int milisec) {
    if (hour == 0)
        return QString::asprintf("%d'%02d\"%02d", minute, second, milisec);
    return QString::asprintf("%d:%02d'%02d\"%02d", hour, minute, second, milisec);
}

QString ZuPlayList::numberStringWithHour(int hour, int minute, int second) {
    return QString::asprintf("%02d%02d%02d", hour, minute, second);
}

QString ZuPlayList::timeStringWithHour(int hour, int minute, int second) {
    return QString::asprintf("%02d:%02d:%02d", hour, minute, second);
}

QString ZuPlayList::timeStringWithHour(int hour, int minute, int second, int milisec) {
    return QString::asprintf("%02d:%02d:%02d.%02d", hour, minute, second, milisec);
}

QString ZuPlayList::numberStringWithSeconds(double seconds) {
    const Split s = split(seconds);
    return numberStringWithHour(s.hour, s.minute, s.second);
}

QString ZuPlayList::periodStringWithSeconds(double seconds) {
    const Split s = split(seconds);
    return periodStringWithHour(s.hour, s.minute, s.second);
}

QString ZuPlayList::timeStringWithSeconds(double seconds) {
    const Split s = split(seconds);
    return timeStringWithHour(s.hour, s.minute, s.second);
}

QString ZuPlayList::periodStringWithMiliSeconds(double seconds) {
    const Split s = split(seconds);
    return periodStringWithHour(s.hour, s.minute, s.second, s.hundredths);
}

QString ZuPlayList::timeStringWithMiliSeconds(double seconds) {
    const Split s = split(seconds);
    return timeStringWithHour(s.hour, s.minute, s.second, s.hundredths);
}

double ZuPlayList::secondsWithTimeString(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    double seconds = 0.0;
    const int weights[] = {3600, 60, 1};
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        seconds += parts[i].left(2).toInt() * weights[i];
    return seconds;
}

double ZuPlayList::secondsWithSpendString(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('\''));
    const int seconds = parts.size() > 1 ? parts[1].left(2).toInt() : 0;
    const QStringList front = parts[0].split(QLatin1Char(':'));
    int hours = 0;
    int minutes = 0;
    if (front.size() >= 2) {
        hours = front[0].toInt();
        minutes = front[1].toInt();
    } else {
        minutes = front[0].toInt();
    }
    return hours * 3600.0 + minutes * 60.0 + seconds;
}
