#include "ui/GhoulTableModel.h"

#include "model/GhoulTexts.h"
#include "model/Secretary.h"

const QStringList GhoulTableModel::columnIdentifiers{QStringLiteral("GhoulName"),
                                                     QStringLiteral("GhoulBirthday"),
                                                     QStringLiteral("GhoulGeneration")};

GhoulTableModel::GhoulTableModel(Secretary& secretary, QObject* parent)
    : QAbstractTableModel(parent), secretary(secretary) {
    connect(&secretary, &Secretary::ghoulViewRenewed, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int GhoulTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : secretary.numberOfRowsInTableView();
}

int GhoulTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columnIdentifiers.size());
}

QVariant GhoulTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const QString column = columnIdentifiers.value(index.column());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return secretary.objectValueForTableColumn(column, index.row());
    if (role == Qt::DecorationRole && index.column() == 0) {
        const QString path = secretary.ghoulList().value(index.row()).fullPath;
        auto cached = icons_.find(path);
        if (cached == icons_.end())
            cached = icons_.insert(path, Secretary::iconForFile(path));
        return *cached;
    }
    return QVariant();
}

QVariant GhoulTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return GhoulTexts::text(columnIdentifiers.value(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}
