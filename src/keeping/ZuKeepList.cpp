#include "keeping/ZuKeepList.h"

#include "keeping/ZuKeeper.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace {
// Kept names sort by their date and time, whatever their first character.
bool earlier(const QString& a, const QString& b) {
    const QString an = QFileInfo(a).fileName(), bn = QFileInfo(b).fileName();
    return an.mid(1) < bn.mid(1);
}
} // namespace

const QStringList& ZuKeepList::columnKeys() {
    static const QStringList keys = {recordDateKey, startTimeKey, endTimeKey, recordTimeKey,
                                     fileSizeKey};
    return keys;
}

ZuKeepList::ZuKeepList() : ZuRecordingTable(columnKeys()) {}

ZuKeepList& ZuKeepList::initWithDirPath(const QString& path) {
    QStringList names;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (ZuKeeper::isKeepDataFile(it.fileName()))
            names << QDir(path).relativeFilePath(it.filePath());
    }
    std::sort(names.begin(), names.end(), earlier);
    const int h = ZuKeeper::headerLength();
    QVector<QVariantMap> records;
    for (const QString& relative : names) {
        const QString name = QFileInfo(relative).fileName();
        QVariantMap row;
        row[recordDateKey] =
            name.mid(h + 2, 2) + '.' + name.mid(h + 4, 2) + '.' + name.mid(h + 6, 2);
        row[startTimeKey] =
            timeStringWithHour(ZuKeeper::twoDigits(name, h + 9), ZuKeeper::twoDigits(name, h + 11),
                               ZuKeeper::twoDigits(name, h + 13));
        row[endTimeKey] =
            timeStringWithHour(ZuKeeper::twoDigits(name, h + 16), ZuKeeper::twoDigits(name, h + 18),
                               ZuKeeper::twoDigits(name, h + 20));
        row[recordTimeKey] = periodStringWithSeconds(ZuKeeper::totalSecondOfFile(name));
        row[fileSizeKey] = double(QFileInfo(path + '/' + relative).size()) / 1048576.0;
        records.append(row);
    }
    resetRows(path, std::move(records), std::move(names));
    return *this;
}
