#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariantMap>
#include <QVector>

// The keep tab's table: one row per kept (compressed) recording of the keep
// folder, its date, times and length read from its name, its size, and the
// totals. Rows are in time order; rows dragged out carry the files' paths.
class ZuKeepList : public QAbstractTableModel {
    Q_OBJECT
public:
    // The columns, by the row keys that are also their identifiers.
    static const QStringList& columnKeys();

    // Rebuilds the rows from the folder, subfolders included.
    ZuKeepList& initWithDirPath(const QString& path);
    QString folderPath() const { return folder; }

    int totalFiles() const { return int(keepList.size()); }
    double totalTime() const;
    QString totalPeriodString() const;
    double totalSize() const;

    double fileSizeAtRow(int row) const;
    QString spendTimeStringAtRow(int row) const;
    double spendTimeAtRow(int row) const;
    // The name relative to the folder; empty outside the rows (no selection).
    QString fileNameAtRow(int row) const;

    int numberOfRowsInTableView() const { return totalFiles(); }
    QVariant tableView(const QString& objectValueForTableColumn, int row) const;
    void tableView(const QVariant& setObjectValue, const QString& forTableColumn, int row);
    // The absolute path of the first of the rows; empty when there is none.
    QStringList tableViewWriteRows(const QList<int>& rows) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    QString folder;
    QVector<QVariantMap> keepList;
    QStringList fileList;
};
