#pragma once

#include <QWidget>

class QFrame;
class QTableView;
class ZuReserveTableModel;
class ZuReserver;

// The reservations tab: the table of entries and, below it, the editor panel
// that the drawer button opens. Both are bound to the reserver's controls.
class ZuReserverTab : public QWidget {
    Q_OBJECT
public:
    explicit ZuReserverTab(ZuReserver* reserver, QWidget* parent = nullptr);

    QTableView* table() const { return tableView; }
    QFrame* editor() const { return editorPanel; }

private:
    QWidget* makeEditor();
    void reload();

    ZuReserver* reserver;
    ZuReserveTableModel* model = nullptr;
    QTableView* tableView = nullptr;
    QFrame* editorPanel = nullptr;
    double reloads = -1.0;
};
