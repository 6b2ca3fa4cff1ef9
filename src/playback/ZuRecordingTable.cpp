#include "playback/ZuRecordingTable.h"

#include "platform/ZuLocalized.h"

#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

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

void ZuRecordingTable::resetRows(const QString& path, QVector<QVariantMap> records,
                                 QStringList names) {
    beginResetModel();
    folder = path;
    rows = std::move(records);
    fileList = std::move(names);
    endResetModel();
}

QString ZuRecordingTable::textAt(int row, const QString& key) const {
    return tableView(key, row).toString();
}

QString ZuRecordingTable::fileNameAtRow(int row) const {
    return row >= 0 && row < fileList.size() ? fileList[row] : QString();
}

double ZuRecordingTable::fileSizeAtRow(int row) const {
    return tableView(fileSizeKey, row).toDouble();
}

QString ZuRecordingTable::spendTimeStringAtRow(int row) const {
    return textAt(row, recordTimeKey);
}

double ZuRecordingTable::spendTimeAtRow(int row) const {
    return secondsWithSpendString(spendTimeStringAtRow(row));
}

double ZuRecordingTable::totalTime() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        sum += spendTimeAtRow(row);
    return sum;
}

double ZuRecordingTable::totalSize() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        sum += fileSizeAtRow(row);
    return sum;
}

QString ZuRecordingTable::totalPeriodString() const {
    return periodStringWithSeconds(totalTime());
}

QVariant ZuRecordingTable::tableView(const QString& objectValueForTableColumn, int row) const {
    if (row < 0 || row >= rows.size())
        return {};
    return rows[row].value(objectValueForTableColumn);
}

void ZuRecordingTable::tableView(const QVariant& setObjectValue, const QString& forTableColumn,
                                 int row) {
    if (row < 0 || row >= rows.size())
        return;
    rows[row][forTableColumn] = setObjectValue;
    const int column = int(columns.indexOf(forTableColumn));
    if (column >= 0)
        emit dataChanged(index(row, column), index(row, column));
}

QStringList ZuRecordingTable::tableViewWriteRows(const QList<int>& dragged) const {
    if (dragged.isEmpty() || fileNameAtRow(dragged.first()).isEmpty())
        return {};
    return {folder + '/' + fileNameAtRow(dragged.first())};
}

int ZuRecordingTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : totalFiles();
}

int ZuRecordingTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns.size());
}

QVariant ZuRecordingTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columns.size())
        return {};
    const QString key = columns[index.column()];
    switch (role) {
    case Qt::TextAlignmentRole:
        return key == fileSizeKey || key == recordTimeKey
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignCenter);
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

QVariant ZuRecordingTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columns.size())
        return {};
    return ZuLocalized::text(columns[section]);
}

Qt::ItemFlags ZuRecordingTable::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList ZuRecordingTable::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* ZuRecordingTable::mimeData(const QModelIndexList& indexes) const {
    QList<int> dragged;
    for (const QModelIndex& index : indexes)
        if (!dragged.contains(index.row()))
            dragged << index.row();
    std::sort(dragged.begin(), dragged.end());
    const QStringList found = tableViewWriteRows(dragged);
    if (found.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(found.first())});
    return mime;
}

QString ZuRecordingTable::periodStringWithHour(int hour, int minute, int second) {
    if (hour == 0)
        return QString::asprintf("%d'%02d\"", minute, second);
    return QString::asprintf("%d:%02d'%02d\"", hour, minute, second);
}

QString ZuRecordingTable::periodStringWithHour(int hour, int minute, int second, int milisec) {
    if (hour == 0)
        return QString::asprintf("%d'%02d\"%02d", minute, second, milisec);
    return QString::asprintf("%d:%02d'%02d\"%02d", hour, minute, second, milisec);
}

QString ZuRecordingTable::numberStringWithHour(int hour, int minute, int second) {
    return QString::asprintf("%02d%02d%02d", hour, minute, second);
}

QString ZuRecordingTable::timeStringWithHour(int hour, int minute, int second) {
    return QString::asprintf("%02d:%02d:%02d", hour, minute, second);
}

QString ZuRecordingTable::timeStringWithHour(int hour, int minute, int second, int milisec) {
    return QString::asprintf("%02d:%02d:%02d.%02d", hour, minute, second, milisec);
}

QString ZuRecordingTable::numberStringWithSeconds(double seconds) {
    const Split s = split(seconds);
    return numberStringWithHour(s.hour, s.minute, s.second);
}

QString ZuRecordingTable::periodStringWithSeconds(double seconds) {
    const Split s = split(seconds);
    return periodStringWithHour(s.hour, s.minute, s.second);
}

QString ZuRecordingTable::timeStringWithSeconds(double seconds) {
    const Split s = split(seconds);
    return timeStringWithHour(s.hour, s.minute, s.second);
}

QString ZuRecordingTable::periodStringWithMiliSeconds(double seconds) {
    const Split s = split(seconds);
    return periodStringWithHour(s.hour, s.minute, s.second, s.hundredths);
}

QString ZuRecordingTable::timeStringWithMiliSeconds(double seconds) {
    const Split s = split(seconds);
    return timeStringWithHour(s.hour, s.minute, s.second, s.hundredths);
}

double ZuRecordingTable::secondsWithTimeString(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    double seconds = 0.0;
    const int weights[] = {3600, 60, 1};
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        seconds += parts[i].left(2).toInt() * weights[i];
    return seconds;
}

double ZuRecordingTable::secondsWithSpendString(const QString& text) {
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
