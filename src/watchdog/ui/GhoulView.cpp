#include "ui/GhoulView.h"

#include "model/Secretary.h"
#include "ui/GhoulTableModel.h"
#include "ui/IconedCell.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

GhoulView::GhoulView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(IconedCell::iconSize + 4);
    horizontalHeader()->setStretchLastSection(true);
    setItemDelegateForColumn(0, new IconedCell(this));
}

void GhoulView::setSecretary(Secretary* secretary) {
    this->secretary = secretary;
    model_ = new GhoulTableModel(*secretary, this);
    setModel(model_);
    setColumnWidth(0, 220);
    setColumnWidth(1, 150);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = selectionModel()->selectedRows();
        this->secretary->tableViewSelectionDidChange(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(secretary, &Secretary::selectionChanged, this, [this](int row) {
        const QModelIndexList rows = selectionModel()->selectedRows();
        const int shown = rows.isEmpty() ? -1 : rows.first().row();
        if (shown == row)
            return;
        if (row < 0)
            clearSelection();
        else
            selectRow(row);
    });
    // A reload loses the view's selection; the secretary's stays the truth.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        const int row = this->secretary->selectedRow();
        if (row >= 0)
            selectRow(row);
    });
}

void GhoulView::keyPressEvent(QKeyEvent* event) {
    if (secretary != nullptr &&
        (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)) {
        secretary->actRemoveGhoulizeApplication();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QStringList GhoulView::localFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls())
        return files;
    // Anything but a local file stays a URL, which the drop validation refuses.
    for (const QUrl& url : data->urls())
        files << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    return files;
}

bool GhoulView::validates(const QMimeData* data) const {
    return secretary != nullptr && secretary->validateDrop(localFiles(data));
}

void GhoulView::dragEnterEvent(QDragEnterEvent* event) {
    if (validates(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void GhoulView::dragMoveEvent(QDragMoveEvent* event) {
    if (validates(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void GhoulView::dropEvent(QDropEvent* event) {
    if (secretary != nullptr && secretary->acceptDrop(localFiles(event->mimeData()))) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}
