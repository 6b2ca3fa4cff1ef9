#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

#include <functional>

// The recordings of a folder as the player's table shows them: one row per
// sound file, read from its name (date, start, end, length), its size, its
// lock and the note in its header. Rows are in name order, which is time
// order. Also the time texts the player and the keep list print and parse.
// As the table's model it shows the recording in progress in italics and lets
// the note be edited in place; the edited text goes to remarkEdited, the file
// is written by the player.
class ZuPlayList : public QAbstractTableModel {
    Q_OBJECT
public:
    // Row keys, which are also the table's column identifiers.
    static inline const QString lockFlagKey = QStringLiteral("LockFlag");
    static inline const QString recordDateKey = QStringLiteral("RecordDate");
    static inline const QString startTimeKey = QStringLiteral("StartTime");
    static inline const QString endTimeKey = QStringLiteral("EndTime");
    static inline const QString recordTimeKey = QStringLiteral("RecordTime");
    static inline const QString fileSizeKey = QStringLiteral("FileSize");
    static inline const QString remarkKey = QStringLiteral("Remark");

    // Where the note starts in a sound file, and its longest length.
    static constexpr qint64 noteOffset = 291;
    static constexpr int noteLength = 128;

    // The columns, by the row keys that are also their identifiers.
    static const QStringList& columnKeys();
    static constexpr int lockColumn = 0;
    static constexpr int remarkColumn = 6;

    // Rebuilds the rows from the folder; a missing or unreadable folder gives
    // no rows. progressName is the file name of the recording in progress.
    ZuPlayList& initWithDirPath(const QString& path, const QString& progressName = {});
    QString folderPath() const { return folder; }
    bool isProgressAtRow(int row) const;

    QString fileNameAtRow(int row) const;
    const QStringList& fileNames() const { return fileList; }
    double fileSizeAtRow(int row) const;
    QString startTimeStringAtRow(int row) const;
    QString endTimeStringAtRow(int row) const;
    QString spendTimeStringAtRow(int row) const;
    QString noteStringAtRow(int row) const;
    bool isLockedAtRow(int row) const;
    double spendTimeAtRow(int row) const;

    int totalFiles() const { return int(playList.size()); }
    double totalTime() const;
    double totalTimeExceptLocked() const;
    double totalSize() const;
    QString totalPeriodString() const;

    // The table's data source.
    int numberOfRowsInTableView() const { return totalFiles(); }
    QVariant tableView(const QString& objectValueForTableColumn, int row) const;
    void tableView(const QVariant& setObjectValue, const QString& forTableColumn, int row);
    // The absolute path of the first of the rows; empty when there is none.
    QStringList tableViewWriteRows(const QList<int>& rows) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    static QString periodStringWithHour(int hour, int minute, int second);
    static QString periodStringWithHour(int hour, int minute, int second, int milisec);
    static QString numberStringWithHour(int hour, int minute, int second);
    static QString timeStringWithHour(int hour, int minute, int second);
    static QString timeStringWithHour(int hour, int minute, int second, int milisec);
    static QString numberStringWithSeconds(double seconds);
    static QString periodStringWithSeconds(double seconds);
    static QString timeStringWithSeconds(double seconds);
    static QString periodStringWithMiliSeconds(double seconds);
    static QString timeStringWithMiliSeconds(double seconds);

    // "HH:MM:SS" to seconds.
    static double secondsWithTimeString(const QString& text);
    // A length text ("H:MM'SS\"" or "M'SS\"") to seconds.
    static double secondsWithSpendString(const QString& text);

    // The note stored in a sound file; empty when it cannot be read.
    static QString noteOfFile(const QString& path);

    // The rows of the indexes, each once, in order; the first of them becomes
    // a drag of its file (for every file table).
    static QMimeData* fileDragOfFirstRow(const QModelIndexList& indexes,
                                         const std::function<QStringList(QList<int>)>& paths);

signals:
    void remarkEdited(int row, const QString& note);

private:
    QVariantMap rowFor(const QString& folder, const QString& name) const;
    QString textAt(int row, const QString& key) const;

    QString folder;
    QString progress;
    QVector<QVariantMap> playList;
    QStringList fileList;
};
