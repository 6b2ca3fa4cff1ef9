#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

class Secretary;

// The watched list as the table sees it; every text comes from the secretary.
class GhoulTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static const QStringList columnIdentifiers;

    explicit GhoulTableModel(Secretary& secretary, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    Secretary& secretary;
    mutable QHash<QString, QIcon> icons_;
};
