#include "ui/ZuPlayerTab.h"

#include "platform/ZuLocalized.h"
#include "playback/ZuPlayer.h"
#include "shell/ZuControler.h"
#include "ui/ZuControlBinding.h"
#include "ui/ZuPlayerDrawer.h"
#include "ui/ZuTableView.h"
#include "ui/ZuWaveViewWidget.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ZuPlayerTab::ZuPlayerTab(ZuControler* owner, QWidget* parent)
    : QWidget(parent), controler(owner), view(new ZuTableView) {
    ZuPlayer* player = controler->player();
    ZuPlayList* list = player->dataSource();
    view->setObjectName("playTable");
    view->setModel(list);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setSectionResizeMode(ZuPlayList::remarkColumn, QHeaderView::Stretch);
    ZuTableCommands commands;
    commands.remove = [player] {
        player->actDelete();
    };
    commands.doubleAction = [this](int column) {
        doubleAction(column);
    };
    view->setCommands(commands);

    // The window takes each tab's own size; hidden in a window sized for a
    // smaller tab, this one may be squeezed.
    setMinimumSize(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(view, 1);

    auto* totals = new QHBoxLayout;
    layout->addLayout(totals);
    const struct {
        const char* key;
        ZuControl* control;
    } sums[] = {{"PlayerTotalFiles", &player->totalFilesText},
                {"PlayerTotalTime", &player->totalTimeText},
                {"PlayerTotalSize", &player->totalSizeText}};
    for (const auto& sum : sums) {
        if (totals->count() > 0)
            totals->addStretch();
        totals->addWidget(new QLabel(ZuLocalized::text(sum.key), this));
        auto* label = new QLabel(this);
        label->setObjectName(sum.control->name());
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        totals->addWidget(label);
        ZuControlBinding::bind(label, sum.control);
    }

    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    const struct {
        const char* key;
        ZuControl* control;
    } operations[] = {{"PlayerPlay", &player->playButton},
                      {"SetLock", &player->lockButton},
                      {"PlayerNote", &player->noteButton},
                      {"PlayerDelete", &player->deleteButton},
                      {"PlayerCopy", &player->copyButton}};
    for (const auto& operation : operations) {
        auto* button = new QPushButton(ZuLocalized::text(operation.key), this);
        button->setObjectName(operation.control->name());
        button->setAutoDefault(false);
        button->setCheckable(operation.control == &player->playButton);
        buttons->addWidget(button);
        ZuControlBinding::bind(button, operation.control);
    }
    player->noteButton.setAction([this](ZuControl&) { editNote(); });
    // The drawer's switches: the transport, and the taller drawer with the
    // file operations.
    buttons->addStretch();
    for (const auto& toggle : {std::pair{"PlayerControls", &player->controlButton},
                               std::pair{"PlayerFiles", &player->workButton}}) {
        auto* button = new QPushButton(ZuLocalized::text(toggle.first), this);
        button->setObjectName(toggle.second->name());
        button->setAutoDefault(false);
        button->setCheckable(true);
        buttons->addWidget(button);
        ZuControlBinding::bind(button, toggle.second);
    }

    layout->addWidget(new ZuWaveViewWidget(player->waveView(), this), 0, Qt::AlignHCenter);
    // Clock times at a quarter, a half and three quarters of the picture.
    auto* marks = new QHBoxLayout;
    layout->addLayout(marks);
    marks->addStretch(1);
    for (ZuControl* text :
         {&player->quarterTimeText, &player->halfTimeText, &player->threeQuarterTimeText}) {
        auto* label = new QLabel(this);
        label->setObjectName(text->name());
        ZuControlBinding::bind(label, text);
        marks->addWidget(label);
        marks->addStretch(text == &player->threeQuarterTimeText ? 1 : 2);
    }
    new ZuPlayerDrawer(controler, this);

    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionToPlayer(); });
    // The view shows the player's selection, which a renewed list keeps.
    connect(&player->dataView, &ZuControl::changed, this, [this, player] {
        const int row = player->dataView.selectedIndex();
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        if (!rows.isEmpty() && rows.first().row() == row)
            return;
        if (row < 0)
            view->clearSelection();
        else
            view->selectRow(row);
    });
    // The note is written once the editor has closed, since writing renews
    // the list under the view.
    connect(
        list, &ZuPlayList::remarkEdited, this,
        [player](int row, const QString& note) { player->editNoteEnd(row, note); },
        Qt::QueuedConnection);
}

void ZuPlayerTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    controler->player()->renewListAndControl();
}

void ZuPlayerTab::selectionToPlayer() {
    ZuPlayer* player = controler->player();
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.first().row();
    if (row == player->dataView.selectedIndex() && !player->selectedFileName().isEmpty())
        return;
    player->dataView.setSelectedIndex(row);
    player->changeSelectRow();
}

void ZuPlayerTab::editNote() {
    ZuPlayer* player = controler->player();
    if (!player->actNote())
        return;
    view->edit(
        player->dataSource()->index(player->dataView.selectedIndex(), ZuPlayList::remarkColumn));
}

void ZuPlayerTab::doubleAction(int column) {
    ZuPlayer* player = controler->player();
    if (column == ZuPlayList::lockColumn && player->lockButton.isEnabled())
        player->actLock();
    else if (column == ZuPlayList::remarkColumn && player->noteButton.isEnabled())
        editNote();
}
