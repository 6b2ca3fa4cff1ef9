#include "ui/ZuPreferDrawer.h"

#include "platform/ZuControl.h"
#include "platform/ZuLocalized.h"
#include "preferences/ZuPrefer.h"
#include "ui/ZuControlBinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString text(const char* key) {
    return ZuLocalized::text(QString::fromLatin1(key));
}

QComboBox* popup(ZuControl* control) {
    auto* box = new QComboBox;
    box->setObjectName(control->name());
    ZuControlBinding::bind(box, control);
    return box;
}

QCheckBox* check(const char* key, ZuControl* control) {
    auto* box = new QCheckBox(text(key));
    box->setObjectName(control->name());
    ZuControlBinding::bind(box, control);
    return box;
}

QLineEdit* field(ZuControl* control, int width = 0) {
    auto* edit = new QLineEdit;
    edit->setObjectName(control->name());
    if (width > 0)
        edit->setFixedWidth(width);
    ZuControlBinding::bind(edit, control);
    return edit;
}

QLabel* figure(ZuControl* control) {
    auto* label = new QLabel;
    label->setObjectName(control->name());
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(60);
    ZuControlBinding::bind(label, control);
    return label;
}

QPushButton* button(const char* key, ZuControl* control) {
    auto* push = new QPushButton(text(key));
    push->setObjectName(control->name());
    ZuControlBinding::bind(push, control);
    return push;
}

// Up and down arrows that step the control's value within its range.
QWidget* stepper(ZuControl* control, double step) {
    auto* box = new QWidget;
    box->setObjectName(control->name());
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (const bool up : {true, false}) {
        auto* arrow = new QToolButton;
        arrow->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        arrow->setFixedSize(18, 12);
        arrow->setAutoRepeat(true);
        QObject::connect(arrow, &QToolButton::clicked, control, [control, step, up] {
            const double next = control->value() + (up ? step : -step);
            control->setValue(std::clamp(next, control->minValue(), control->maxValue()));
            control->perform();
        });
        column->addWidget(arrow);
    }
    auto show = [box, control] {
        box->setEnabled(control->isEnabled());
    };
    show();
    QObject::connect(control, &ZuControl::changed, box, show);
    return box;
}

// A line of widgets, then the rest of the line empty.
QWidget* line(std::initializer_list<QWidget*> widgets) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    layout->addStretch();
    return row;
}

QLabel* unit(const char* key) {
    return new QLabel(text(key));
}

QFormLayout* form(QWidget* page) {
    auto* layout = new QFormLayout(page);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setVerticalSpacing(5);
    layout->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    return layout;
}

} // namespace

ZuPreferDrawer::ZuPreferDrawer(ZuPrefer* model, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool), prefer(model), owner(mainWindow) {
    setObjectName("preferDrawer");
    setWindowTitle(text("PrefButton"));
    tabView = new QTabWidget;
    tabView->addTab(makeDiskTab(), text("PrefDiskTab"));
    tabView->addTab(makeRecordTab(), text("PrefRecordTab"));
    tabView->addTab(makeMarkerTab(), text("PrefMarkerTab"));
    tabView->addTab(makeOutputTab(), text("PrefOutputTab"));
    tabView->addTab(makeReserveTab(), text("PrefReserveTab"));
    tabView->addTab(makeKeepTab(), text("PrefKeepTab"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button("Cancel", &prefer->cancelButton));
    QPushButton* ok = button("Understand", &prefer->okButton);
    ok->setDefault(true);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(tabView);
    layout->addLayout(buttons);

    auto selectTab = [this] {
        const QSignalBlocker block(tabView);
        tabView->setCurrentIndex(std::max(0, prefer->prefTabView.selectedIndex()));
    };
    selectTab();
    connect(&prefer->prefTabView, &ZuControl::changed, this, selectTab);
    connect(tabView, &QTabWidget::currentChanged, this,
            [this](int index) { prefer->tabViewDidSelectTabViewItem(index); });
    connect(&prefer->preferDrawer, &ZuControl::changed, this, &ZuPreferDrawer::showDrawer);
    showDrawer();
}

void ZuPreferDrawer::showDrawer() {
    if (prefer->preferDrawer.state() == 0) {
        hide();
        return;
    }
    if (!isVisible()) {
        adjustSize();
        // Along the main window's right edge, its tops level.
        const QRect frame = owner->frameGeometry();
        move(frame.right() + 1, frame.top());
    }
    show();
    raise();
}

QWidget* ZuPreferDrawer::makeDiskTab() {
    auto* page = new QWidget;
    QFormLayout* layout = form(page);
    layout->addRow(text("PrefRecordFolder"),
                   line({field(&prefer->recordFolderText, 220),
                         button("PrefChoose", &prefer->recordFolderButton)}));
    layout->addRow(text("PrefMaxRecord"), line({popup(&prefer->maxRecordPopup)}));
    layout->addRow(text("PrefMaxTotal"),
                   line({field(&prefer->maxTotalText, 60), stepper(&prefer->maxTotalStepper, 1),
                         unit("PrefDays")}));
    layout->addRow(text("PrefFreeSpace"),
                   line({figure(&prefer->freeSpaceText), unit("PrefGigabytes")}));
    layout->addRow(text("PrefFreeTime"),
                   line({figure(&prefer->freeTimeText), unit("PrefHoursUnit")}));
    layout->addRow(text("PrefNeedTotal"),
                   line({figure(&prefer->needTotalText), unit("PrefGigabytes")}));
    layout->addRow(check("PrefAdvice", &prefer->adviceOperationCheck),
                   line({field(&prefer->adviceDataSizeText, 80), unit("PrefMegabytes")}));
    return page;
}

QWidget* ZuPreferDrawer::makeRecordTab() {
    auto* page = new QWidget;
    QFormLayout* layout = form(page);
    layout->addRow(text("PrefRecordSource"), popup(&prefer->recordSourcePopup));
    layout->addRow(text("PrefSampleRate"), line({popup(&prefer->samplePopup)}));
    layout->addRow(text("PrefChannels"), line({popup(&prefer->channelsPopup)}));
    layout->addRow(text("PrefMode"), line({popup(&prefer->modePopup)}));
    layout->addRow(text("PrefDelayTime"),
                   line({field(&prefer->delayTimeText, 60), stepper(&prefer->delayTimeStepper, 1),
                         unit("PrefSeconds")}));
    layout->addRow(text("PrefPreBuffer"),
                   line({field(&prefer->preBufferSecText, 60),
                         stepper(&prefer->preBufferSecStepper, 1), unit("PrefSeconds")}));
    layout->addRow(check("PrefSliderAlways", &prefer->sliderAlwaysCheck));
    layout->addRow(check("PrefDispTotal", &prefer->dispTotalTimeCheck));
    layout->addRow(check("PrefAutoStartup", &prefer->autoStartupCheck));
    layout->addRow(check("PrefHideFiles", &prefer->hideSoundFileCheck));
    layout->addRow(check("PrefHighQuality", &prefer->useHighQualityCheck));
    return page;
}

QWidget* ZuPreferDrawer::makeMarkerTab() {
    auto* page = new QWidget;
    QFormLayout* layout = form(page);
    layout->addRow(text("PrefMarkerSound"), line({popup(&prefer->markerSoundPopup),
                                                  button("PrefPlay", &prefer->markerPlayButton)}));
    layout->addRow(text("PrefMarkerOption"), line({popup(&prefer->markerOptionPopup)}));
    layout->addRow(check("PrefMarkerMonitor", &prefer->markerMonitorCheck));
    return page;
}

QWidget* ZuPreferDrawer::makeOutputTab() {
    auto* page = new QWidget;
    QFormLayout* layout = form(page);
    layout->addRow(text("PrefPlaySource"), popup(&prefer->playSourcePopup));
    layout->addRow(text("PrefMonitorSource"), popup(&prefer->monitorSourcePopup));
    layout->addRow(text("PrefPeekHold"),
                   line({field(&prefer->peekHoldTimeText, 60),
                         stepper(&prefer->peekHoldTimeStepper, 0.5), unit("PrefSeconds")}));
    auto* opacity = new QSlider(Qt::Horizontal);
    opacity->setObjectName(prefer->opacitySlider.name());
    ZuControlBinding::bind(opacity, &prefer->opacitySlider);
    layout->addRow(text("PrefOpacity"), opacity);
    layout->addRow(check("PrefVerifyDelete", &prefer->verifyCheck));
    layout->addRow(check("PrefWriteLog", &prefer->writeLogCheck));
    return page;
}

QWidget* ZuPreferDrawer::makeReserveTab() {
    auto* page = new QWidget;
    QFormLayout* layout = form(page);
    layout->addRow(check("PrefAutoReserve", &prefer->autoReserveCheck));
    layout->addRow(check("PrefVerifyDeleteReserve", &prefer->verifyDeleteReserveCheck));
    auto* heading = new QLabel(text("PrefNewEntry"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addRow(heading);
    layout->addRow(check("PrefValid", &prefer->defReserveValidCheck));
    layout->addRow(text("PrefName"), field(&prefer->defReserveNameText));
    layout->addRow(text("ReserveMonth"),
                   line({popup(&prefer->defReserveMonthPopup), new QLabel(text("ReserveDay")),
                         popup(&prefer->defReserveDayPopup)}));
    layout->addRow(text("ReserveWeek"), line({popup(&prefer->defReserveWeekPopup)}));
    layout->addRow(text("PrefRecordSource"), popup(&prefer->defReserveDevicePopup));
    layout->addRow(text("PrefSampleRate"), line({popup(&prefer->defReserveRatePopup),
                                                 popup(&prefer->defReserveChannelsPopup)}));
    layout->addRow(text("PrefMode"), line({popup(&prefer->defReserveModePopup)}));
    return page;
}

QWidget* ZuPreferDrawer::makeKeepTab() {
    auto* page = new QWidget;
    QFormLayout* layout = form(page);
    layout->addRow(check("PrefKeepOperation", &prefer->keepOperationCheck));
    layout->addRow(text("PrefKeepFolder"), line({field(&prefer->keepFolderText, 220),
                                                 button("PrefChoose", &prefer->keepFolderButton)}));
    layout->addRow(text("PrefKeepPeriod"),
                   line({field(&prefer->keepPeriodText, 60), stepper(&prefer->keepPeriodStepper, 1),
                         unit("PrefDays")}));
    layout->addRow(text("PrefCommand"), field(&prefer->commandPathText));
    layout->addRow(text("PrefArguments"), field(&prefer->argumentStrText));
    layout->addRow(text("PrefCompressRatio"), line({field(&prefer->compressRatioText, 60),
                                                    stepper(&prefer->compressRatioStepper, 0.01)}));
    layout->addRow(check("PrefMonitorCommand", &prefer->monitorCommandCheck));
    layout->addRow(text("PrefMaxKeep"),
                   line({figure(&prefer->maxKeepPeriodText), unit("PrefDays")}));
    layout->addRow(QString(), line({button("PrefCheckKeep", &prefer->checkKeepActionButton)}));
    return page;
}
