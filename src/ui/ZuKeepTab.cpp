#include "ui/ZuKeepTab.h"

#include "keeping/ZuKeepList.h"
#include "keeping/ZuKeeper.h"
#include "platform/ZuLocalized.h"
#include "ui/ZuControlBinding.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

ZuKeepTableView::ZuKeepTableView(ZuKeeper* keeper, QWidget* parent) : ZuTableView(parent) {
    setModel(keeper->dataSource());
    ZuTableCommands commands;
    commands.playback = [keeper] {
        keeper->actPlayback();
    };
    commands.copy = [keeper] {
        keeper->actCopy();
    };
    commands.remove = [keeper] {
        keeper->actDelete();
    };
    setCommands(commands);
}

namespace {
QLabel* total(const QString& captionKey, ZuControl* control, const QString& objectName) {
    auto* label = new QLabel;
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    ZuControlBinding::bind(label, control);
    label->setToolTip(ZuLocalized::text(captionKey));
    return label;
}
} // namespace

ZuKeepTab::ZuKeepTab(ZuKeeper* owner, QWidget* parent)
    : QWidget(parent), keeper(owner), view(new ZuKeepTableView(owner)) {
    view->setObjectName("keepTable");
    // The times take what they need, the size the rest: no sideways scrolling.
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setSectionResizeMode(4, QHeaderView::Stretch);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* totals = new QHBoxLayout;
    totals->addWidget(new QLabel(ZuLocalized::text("KeepTotalFiles")));
    totals->addWidget(total("KeepTotalFiles", &keeper->totalFilesText, "totalFilesText"));
    totals->addStretch();
    totals->addWidget(new QLabel(ZuLocalized::text("KeepTotalTime")));
    totals->addWidget(total("KeepTotalTime", &keeper->totalTimeText, "totalTimeText"));
    totals->addStretch();
    totals->addWidget(new QLabel(ZuLocalized::text("KeepTotalSize")));
    totals->addWidget(total("KeepTotalSize", &keeper->totalSizeText, "totalSizeText"));

    auto* indicator = new QProgressBar;
    indicator->setObjectName("compressIndicator");
    indicator->setRange(0, 0);
    indicator->setTextVisible(false);
    indicator->setMaximumHeight(12);
    indicator->setToolTip(ZuLocalized::text("Compressing"));
    auto showIndicator = [indicator, this] {
        indicator->setVisible(keeper->compressIndicator.state() != 0);
    };
    showIndicator();
    connect(&keeper->compressIndicator, &ZuControl::changed, indicator, showIndicator);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(indicator, 1);
    const struct {
        const char* key;
        const char* name;
        void (ZuKeeper::*action)();
    } actions[] = {{"PlayKeptFile", "playButton", &ZuKeeper::actPlayback},
                   {"ExportKeptFile", "exportButton", &ZuKeeper::actCopy},
                   {"DeleteKeptFile", "deleteButton", &ZuKeeper::actDelete}};
    QList<QPushButton*> rowButtons;
    for (const auto& action : actions) {
        auto* button = new QPushButton(ZuLocalized::text(action.key));
        button->setObjectName(action.name);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this,
                [this, method = action.action] { (keeper->*method)(); });
        buttons->addWidget(button);
        rowButtons << button;
    }
    auto enableButtons = [this, rowButtons] {
        for (QPushButton* button : rowButtons)
            button->setEnabled(keeper->dataView.selectedIndex() >= 0);
    };
    enableButtons();
    connect(&keeper->dataView, &ZuControl::changed, this, enableButtons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(view, 1);
    layout->addLayout(totals);
    layout->addLayout(buttons);

    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionToKeeper(); });
    // A renewed list keeps the keeper's row selected.
    connect(keeper->dataSource(), &QAbstractItemModel::modelReset, this, [this] {
        const int row = keeper->dataView.selectedIndex();
        if (row >= 0 && row < keeper->dataSource()->totalFiles())
            view->selectRow(row);
    });
}

void ZuKeepTab::selectionToKeeper() {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.first().row();
    if (row == keeper->dataView.selectedIndex())
        return;
    keeper->dataView.setSelectedIndex(row);
    keeper->changeSelectRow();
}
