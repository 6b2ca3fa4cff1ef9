#include "keeping/ZuKeepList.h"

#include "keeping/ZuKeeper.h"
#include "platform/ZuLocalized.h"
#include "playback/ZuPlayList.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

namespace {
// Kept names sort by their date and time, whatever their first character.
bool earlier(const QString& a, const QString& b) {
    const QString an = QFileInfo(a).fileName(), bn = QFileInfo(b).fileName();
    return an.mid(1) < bn.mid(1);
}
} // namespace

const QStringList& ZuKeepList::columnKeys() {
    static const QStringList keys = {ZuPlayList::recordDateKey, ZuPlayList::startTimeKey,
                                     ZuPlayList::endTimeKey, ZuPlayList::recordTimeKey,
                                     ZuPlayList::fileSizeKey};
    return keys;
}

ZuKeepList& ZuKeepList::initWithDirPath(const QString& path) {
    beginResetModel();
    folder = path;
    keepList.clear();
    fileList.clear();
    QStringList names;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (ZuKeeper::isKeepDataFile(it.fileName()))
            names << QDir(path).relativeFilePath(it.filePath());
    }
    std::sort(names.begin(), names.end(), earlier);
    const int h = ZuKeeper::headerLength();
    for (const QString& relative : names) {
        const QString name = QFileInfo(relative).fileName();
        QVariantMap row;
        row[ZuPlayList::recordDateKey] =
            name.mid(h + 2, 2) + '.' + name.mid(h + 4, 2) + '.' + name.mid(h + 6, 2);
        row[ZuPlayList::startTimeKey] = ZuPlayList::timeStringWithHour(
            ZuKeeper::twoDigits(name, h + 9), ZuKeeper::twoDigits(name, h + 11),
            ZuKeeper::twoDigits(name, h + 13));
        row[ZuPlayList::endTimeKey] = ZuPlayList::timeStringWithHour(
            ZuKeeper::twoDigits(name, h + 16), ZuKeeper::twoDigits(name, h + 18),
            ZuKeeper::twoDigits(name, h + 20));
        row[ZuPlayList::recordTimeKey] =
            ZuPlayList::periodStringWithSeconds(ZuKeeper::totalSecondOfFile(name));
        row[ZuPlayList::fileSizeKey] = double(QFileInfo(path + '/' + relative).size()) / 1048576.0;
        keepList.append(row);
        fileList.append(relative);
    }
    endResetModel();
    return *this;
}

double ZuKeepList::totalTime() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        sum += spendTimeAtRow(row);
    return sum;
}

QString ZuKeepList::totalPeriodString() const {
    return ZuPlayList::periodStringWithSeconds(totalTime());
}

double ZuKeepList::totalSize() const {
    double sum = 0.0;
    for (int row = 0; row < totalFiles(); ++row)
        sum += fileSizeAtRow(row);
    return sum;
}

double ZuKeepList::fileSizeAtRow(int row) const {
    return tableView(ZuPlayList::fileSizeKey, row).toDouble();
}

QString ZuKeepList::spendTimeStringAtRow(int row) const {
    return tableView(ZuPlayList::recordTimeKey, row).toString();
}

double ZuKeepList::spendTimeAtRow(int row) const {
    return ZuPlayList::secondsWithSpendString(spendTimeStringAtRow(row));
}

QString ZuKeepList::fileNameAtRow(int row) const {
    return row >= 0 && row < fileList.size() ? fileList[row] : QString();
}

QVariant ZuKeepList::tableView(const QString& objectValueForTableColumn, int row) const {
    if (row < 0 || row >= keepList.size())
        return {};
    return keepList[row].value(objectValueForTableColumn);
}

void ZuKeepList::tableView(const QVariant& setObjectValue, const QString& forTableColumn, int row) {
    if (row < 0 || row >= keepList.size())
        return;
    keepList[row][forTableColumn] = setObjectValue;
    const int column = int(columnKeys().indexOf(forTableColumn));
    if (column >= 0)
        emit dataChanged(index(row, column), index(row, column));
}

QStringList ZuKeepList::tableViewWriteRows(const QList<int>& rows) const {
    if (rows.isEmpty() || fileNameAtRow(rows.first()).isEmpty())
        return {};
    return {folder + '/' + fileNameAtRow(rows.first())};
}

int ZuKeepList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : totalFiles();
}

int ZuKeepList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columnKeys().size());
}

QVariant ZuKeepList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columnKeys().size())
        return {};
    const QString key = columnKeys()[index.column()];
    if (role == Qt::TextAlignmentRole)
        return key == ZuPlayList::fileSizeKey || key == ZuPlayList::recordTimeKey
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    const QVariant value = tableView(key, index.row());
    if (key == ZuPlayList::fileSizeKey)
        return QString::number(value.toDouble(), 'f', 2);
    return value;
}

QVariant ZuKeepList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnKeys().size())
        return {};
    return ZuLocalized::text(columnKeys()[section]);
}

Qt::ItemFlags ZuKeepList::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList ZuKeepList::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* ZuKeepList::mimeData(const QModelIndexList& indexes) const {
    return ZuPlayList::fileDragOfFirstRow(
        indexes, [this](const QList<int>& rows) { return tableViewWriteRows(rows); });
}
