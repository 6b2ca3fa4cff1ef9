#include "ui/ZuPlayerTab.h"

#include "playback/ZuPlayer.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"
#include "ui/ZuWaveViewWidget.h"

#include <QDir>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

ZuPlayerTab::ZuPlayerTab(ZuControler* owner, QTableWidget* table, const QStringList& columnKeys,
                         QWidget* parent)
    : QWidget(parent), controler(owner), rows(table), keys(columnKeys) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(rows, 1);
    layout->addWidget(new ZuWaveViewWidget(controler->player()->waveView()), 0, Qt::AlignHCenter);
    rows->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(rows, &QTableWidget::itemSelectionChanged, this, &ZuPlayerTab::rowSelected);
}

void ZuPlayerTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    renewRows();
}

void ZuPlayerTab::renewRows() {
    ZuPlayer* player = controler->player();
    player->initDataSource();
    const ZuPlayList* list = player->dataSource();
    const QString selected = rows->currentRow() >= 0 && rows->item(rows->currentRow(), 0)
                                 ? rows->item(rows->currentRow(), 0)->data(Qt::UserRole).toString()
                                 : QString();
    const QSignalBlocker block(rows);
    rows->setRowCount(list->numberOfRowsInTableView());
    for (int row = 0; row < list->numberOfRowsInTableView(); ++row) {
        for (int column = 0; column < keys.size(); ++column) {
            auto* item = new QTableWidgetItem(list->tableView(keys[column], row).toString());
            item->setData(Qt::UserRole, list->fileNameAtRow(row));
            rows->setItem(row, column, item);
        }
        if (list->fileNameAtRow(row) == selected)
            rows->selectRow(row);
    }
}

void ZuPlayerTab::rowSelected() {
    const QList<QTableWidgetItem*> items = rows->selectedItems();
    if (items.isEmpty())
        return;
    const QString name = items.first()->data(Qt::UserRole).toString();
    controler->player()->showWaveImage(QDir(controler->mechanic()->recordFolder()).filePath(name));
}
