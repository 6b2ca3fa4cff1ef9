#include "ui/ZuReserverTab.h"

#include "platform/ZuLocalized.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserver.h"
#include "ui/ZuControlBinding.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

// The list's rows as a table model; only the name is edited in place.
class ZuReserveTableModel : public QAbstractTableModel {
public:
    explicit ZuReserveTableModel(ZuReserver* reserver, QObject* parent)
        : QAbstractTableModel(parent), reserver(reserver) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !list() ? 0 : list()->numberOfRows();
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(ZuReserveList::columnKeys().size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        return list()->objectValue(key(index.column()), index.row());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return ZuLocalized::text(key(section));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        return index.column() == 1 ? f | Qt::ItemIsEditable : f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || index.column() != 1)
            return false;
        list()->setObjectValue(value.toString(), key(1), index.row());
        reserver->editNameEnd(value.toString());
        return true;
    }
    void sort(int column, Qt::SortOrder order) override {
        list()->sortByColumn(key(column), order == Qt::AscendingOrder);
        reserver->renewListAndControl();
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }

private:
    ZuReserveList* list() const { return reserver->dataSource(); }
    static QString key(int column) { return ZuReserveList::columnKeys().value(column); }
    ZuReserver* reserver;
};

ZuReserverTab::ZuReserverTab(ZuReserver* owner, QWidget* parent)
    : QWidget(parent), reserver(owner) {
    model = new ZuReserveTableModel(reserver, this);
    tableView = new QTableView;
    tableView->setObjectName("reserveTable");
    tableView->setModel(model);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A click on a header sorts by that column, again the other way round;
    // the list keeps its order until then.
    tableView->horizontalHeader()->setSectionsClickable(true);
    connect(tableView->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        QHeaderView* header = tableView->horizontalHeader();
        const bool ascending = header->sortIndicatorSection() != column ||
                               header->sortIndicatorOrder() == Qt::DescendingOrder ||
                               !header->isSortIndicatorShown();
        header->setSortIndicatorShown(true);
        header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        model->sort(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    tableView->horizontalHeader()->setStretchLastSection(true);
    tableView->horizontalHeader()->setMinimumSectionSize(24);
    tableView->verticalHeader()->hide();
    tableView->verticalHeader()->setDefaultSectionSize(20);
    const int widths[] = {28, 110, 48, 40, 76, 50, 50, 72, 60, 80};
    for (int i = 0; i < 10; ++i)
        tableView->setColumnWidth(i, widths[i]);

    connect(tableView, &QTableView::clicked, this, [this](const QModelIndex& index) {
        reserver->dataView.setSelectedIndex(index.row());
        reserver->dataView.perform();
    });
    connect(tableView, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() == 1 && reserver->timerNameText.isEnabled())
            tableView->edit(index);
        else
            reserver->doubleAction(index.column());
    });
    connect(&reserver->dataView, &ZuControl::changed, this, [this] { reload(); });
    connect(&reserver->reserveDrawer, &ZuControl::changed, this,
            [this] { editorPanel->setVisible(reserver->reserveDrawer.state() == 1); });

    auto* drawerButton = new QToolButton;
    drawerButton->setObjectName("drawerButton");
    drawerButton->setCheckable(true);
    ZuControlBinding::bind(drawerButton, &reserver->drawerButton);
    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(drawerButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(tableView, 1);
    layout->addWidget(makeEditor());
    editorPanel->setVisible(reserver->reserveDrawer.state() == 1);
    reload();
}

QWidget* ZuReserverTab::makeEditor() {
    editorPanel = new QFrame;
    editorPanel->setObjectName("reserveDrawer");
    editorPanel->setFrameShape(QFrame::StyledPanel);
    editorPanel->setFixedHeight(115);
    auto popup = [](ZuControl* control) {
        auto* box = new QComboBox;
        box->setObjectName(control->name());
        ZuControlBinding::bind(box, control);
        return box;
    };
    auto button = [](ZuControl* control) {
        auto* b = new QPushButton;
        b->setObjectName(control->name());
        ZuControlBinding::bind(b, control);
        return b;
    };
    auto label = [](const char* key) {
        return new QLabel(ZuLocalized::text(key));
    };
    auto* name = new QLineEdit;
    name->setObjectName("timerNameText");
    ZuControlBinding::bind(name, &reserver->timerNameText);
    auto* enabled = new QCheckBox;
    enabled->setObjectName("timerEnabledCheck");
    ZuControlBinding::bind(enabled, &reserver->timerEnabledCheck);

    auto* grid = new QGridLayout(editorPanel);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(label("ReserveName"), 0, 0);
    grid->addWidget(name, 0, 1, 1, 3);
    grid->addWidget(enabled, 0, 4);
    grid->addWidget(label("ReserveMonth"), 0, 5);
    grid->addWidget(popup(&reserver->timerMonthPopup), 0, 6);
    grid->addWidget(label("ReserveDay"), 0, 7);
    grid->addWidget(popup(&reserver->timerDayPopup), 0, 8);
    grid->addWidget(label("ReserveWeek"), 0, 9);
    grid->addWidget(popup(&reserver->timerWeekPopup), 0, 10);

    auto clock = [&](ZuControl* hour, ZuControl* minute) {
        auto* box = new QHBoxLayout;
        box->setSpacing(2);
        box->addWidget(popup(hour));
        box->addWidget(new QLabel(QStringLiteral(":")));
        box->addWidget(popup(minute));
        return box;
    };
    grid->addWidget(label("StartTime"), 1, 0);
    grid->addLayout(clock(&reserver->timerStartHourPopup, &reserver->timerStartMinutePopup), 1, 1);
    grid->addWidget(label("StopTime"), 1, 2);
    grid->addLayout(clock(&reserver->timerStopHourPopup, &reserver->timerStopMinutePopup), 1, 3);
    grid->addWidget(label("RecordMode"), 1, 5);
    grid->addWidget(popup(&reserver->timerModePopup), 1, 6, 1, 2);
    grid->addWidget(label("ChannelsNumber"), 1, 8);
    grid->addWidget(popup(&reserver->timerChannelsPopup), 1, 9, 1, 2);

    grid->addWidget(label("SourceDevice"), 2, 0);
    grid->addWidget(popup(&reserver->timerDevicePopup), 2, 1, 1, 3);
    grid->addWidget(label("SampleRate"), 2, 5);
    grid->addWidget(popup(&reserver->timerSamplePopup), 2, 6, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button(&reserver->timerAddButton));
    buttons->addWidget(button(&reserver->timerCopyButton));
    buttons->addWidget(button(&reserver->timerDeleteButton));
    grid->addLayout(buttons, 2, 8, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return editorPanel;
}

void ZuReserverTab::reload() {
    model->reset();
    const int row = reserver->dataView.selectedIndex();
    if (row >= 0 && row < model->rowCount())
        tableView->selectRow(row);
    else
        tableView->clearSelection();
}
