#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

// A table of recording files in a folder, as the player's and the keep tab's
// tables show them: one row record per file keyed by the column identifiers,
// the file names beside them, the totals, a drag of the first dragged row's
// file, and the time texts both tables print and parse.
class ZuRecordingTable : public QAbstractTableModel {
    Q_OBJECT
public:
    // Row keys, which are also the tables' column identifiers.
    static inline const QString lockFlagKey = QStringLiteral("LockFlag");
    static inline const QString recordDateKey = QStringLiteral("RecordDate");
    static inline const QString startTimeKey = QStringLiteral("StartTime");
    static inline const QString endTimeKey = QStringLiteral("EndTime");
    static inline const QString recordTimeKey = QStringLiteral("RecordTime");
    static inline const QString fileSizeKey = QStringLiteral("FileSize");
    static inline const QString remarkKey = QStringLiteral("Remark");

    QString folderPath() const { return folder; }
    // The name relative to the folder; empty outside the rows (no selection).
    QString fileNameAtRow(int row) const;
    const QStringList& fileNames() const { return fileList; }
    double fileSizeAtRow(int row) const;
    QString spendTimeStringAtRow(int row) const;
    double spendTimeAtRow(int row) const;

    int totalFiles() const { return int(rows.size()); }
    double totalTime() const;
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
    // Display and alignment of the row records; the size in megabytes with
    // two decimals.
    QVariant data(const QModelIndex& index, int role) const override;
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

protected:
    // The columns, by their identifiers.
    explicit ZuRecordingTable(const QStringList& columnKeys) : columns(columnKeys) {}

    // Replaces the rows with those of a folder read afresh.
    void resetRows(const QString& path, QVector<QVariantMap> records, QStringList names);
    QString textAt(int row, const QString& key) const;

private:
    QStringList columns;
    QString folder;
    QVector<QVariantMap> rows;
    QStringList fileList;
};
