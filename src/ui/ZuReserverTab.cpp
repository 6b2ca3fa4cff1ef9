#include "ui/ZuReserverTab.h"

#include "platform/ZuLocalized.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserver.h"
#include "ui/ZuControlBinding.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
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
    const int widths[] = {22, 104, 48, 44, 60, 42, 42, 78, 54, 80};
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

    // Three rows that fit the tab's width: what and when, the clock, how.
    auto* rows = new QVBoxLayout(editorPanel);
    rows->setContentsMargins(8, 6, 8, 6);
    rows->setSpacing(4);
    auto row = [rows] {
        auto* box = new QHBoxLayout;
        box->setSpacing(6);
        rows->addLayout(box);
        return box;
    };
    QHBoxLayout* first = row();
    first->addWidget(label("ReserveName"));
    first->addWidget(name, 1);
    first->addWidget(enabled);
    first->addWidget(label("ReserveMonth"));
    first->addWidget(popup(&reserver->timerMonthPopup));
    first->addWidget(label("ReserveDay"));
    first->addWidget(popup(&reserver->timerDayPopup));
    first->addWidget(label("ReserveWeek"));
    first->addWidget(popup(&reserver->timerWeekPopup));

    QHBoxLayout* second = row();
    auto clock = [&](const char* key, ZuControl* hour, ZuControl* minute) {
        second->addWidget(label(key));
        second->addWidget(popup(hour));
        second->addWidget(new QLabel(QStringLiteral(":")));
        second->addWidget(popup(minute));
        second->addSpacing(8);
    };
    clock("StartTime", &reserver->timerStartHourPopup, &reserver->timerStartMinutePopup);
    clock("StopTime", &reserver->timerStopHourPopup, &reserver->timerStopMinutePopup);
    second->addStretch();
    second->addWidget(label("RecordMode"));
    second->addWidget(popup(&reserver->timerModePopup));
    second->addWidget(label("ChannelsNumber"));
    second->addWidget(popup(&reserver->timerChannelsPopup));

    QHBoxLayout* third = row();
    third->addWidget(label("SourceDevice"));
    QComboBox* source = popup(&reserver->timerDevicePopup);
    source->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    source->setMinimumContentsLength(14);
    third->addWidget(source, 1);
    third->addWidget(label("SampleRate"));
    QComboBox* rate = popup(&reserver->timerSamplePopup);
    rate->setMinimumContentsLength(9);
    third->addWidget(rate);
    third->addSpacing(8);
    third->addWidget(button(&reserver->timerAddButton));
    third->addWidget(button(&reserver->timerCopyButton));
    third->addWidget(button(&reserver->timerDeleteButton));
    return editorPanel;
}

void ZuReserverTab::reload() {
    // A change of the selection alone keeps the model, so that the clicks of
    // a double click meet the same row.
    if (reloads != reserver->dataView.value()) {
        reloads = reserver->dataView.value();
        model->reset();
    }
    const int row = reserver->dataView.selectedIndex();
    if (row >= 0 && row < model->rowCount())
        tableView->selectRow(row);
    else
        tableView->clearSelection();
}
