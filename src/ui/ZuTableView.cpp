#include "ui/ZuTableView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

ZuTableView::ZuTableView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setAlternatingRowColors(true);
    setShowGrid(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
}

void ZuTableView::run(const std::function<void()>& command) {
    if (command)
        command();
}

void ZuTableView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        run(commands.remove);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        run(event->modifiers() & Qt::AltModifier ? commands.copy : commands.playback);
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        QTableView::keyPressEvent(event);
        run(commands.changeSelectRow);
        return;
    default:
        QTableView::keyPressEvent(event);
    }
}

void ZuTableView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid())
        return;
    if (event->modifiers() & Qt::AltModifier)
        run(commands.copy);
    else if (commands.doubleAction)
        commands.doubleAction(index.column());
    else
        run(commands.playback);
}
