#include "ui/ZuMainWindow.h"

#include "platform/ZuLocalized.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"
#include "ui/ZuControlBinding.h"
#include "ui/ZuKeepTab.h"
#include "ui/ZuLedMeterWidget.h"
#include "ui/ZuPlayerTab.h"
#include "ui/ZuPreferDrawer.h"
#include "ui/ZuReserverTab.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton* switchButton(const QString& title, ZuControl* control) {
    auto* button = new QToolButton;
    button->setCheckable(true);
    button->setText(title);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ZuControlBinding::bind(button, control);
    return button;
}

// The record and monitor buttons show their image alone, and the marker's
// interval beside it while they mark; their name is the tool tip.
QToolButton* imageButton(const QString& name, ZuControl* control) {
    control->setToolTip(name);
    auto* button = switchButton(QString(), control);
    auto style = [button, control] {
        button->setToolButtonStyle(control->title().isEmpty() ? Qt::ToolButtonIconOnly
                                                              : Qt::ToolButtonTextBesideIcon);
    };
    style();
    QObject::connect(control, &ZuControl::changed, button, style);
    return button;
}

QLabel* display(ZuControl* control, const QString& objectName) {
    auto* label = new QLabel;
    label->setObjectName(objectName);
    ZuControlBinding::bind(label, control);
    return label;
}

} // namespace

ZuMainWindow::ZuMainWindow(ZuControler* owner, std::function<void()> quitRequest, QWidget* parent)
    : QWidget(parent), controler(owner), quit(std::move(quitRequest)) {
    setWindowTitle(QStringLiteral("Nightwarden"));
    tabView = new QTabWidget(this);
    tabView->addTab(makeRecorderTab(), ZuLocalized::text("RecorderTab"));
    tabView->addTab(new ZuPlayerTab(controler), ZuLocalized::text("PlayerTab"));
    tabView->addTab(new ZuReserverTab(controler->reserver()), ZuLocalized::text("ReserveTab"));
    tabView->addTab(new ZuKeepTab(controler->keeper()), ZuLocalized::text("KeepTab"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(tabView);
    connect(tabView, &QTabWidget::currentChanged, this,
            [this](int index) { controler->tabViewDidSelectTabViewItem(index); });
}

QWidget* ZuMainWindow::makeRecorderTab() {
    ZuRecorder* recorder = controler->recorder();
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);

    meter = new ZuLedMeterWidget(controler->meter());
    auto* slider = new QSlider(Qt::Vertical);
    slider->setObjectName("levelSlider");
    slider->setFixedHeight(meter->height());
    ZuControlBinding::bind(slider, &recorder->levelSlider);
    auto* meterBox = new QHBoxLayout;
    meterBox->addWidget(meter);
    meterBox->addWidget(slider);
    grid->addLayout(meterBox, 0, 0, 6, 1, Qt::AlignTop);

    auto* recordButton = imageButton(ZuLocalized::text("RecordButton"), &recorder->recordButton);
    recordButton->setObjectName("recordButton");
    recordButton->setIconSize(QSize(32, 32));
    grid->addWidget(recordButton, 0, 1, 2, 1);
    auto* monitorButton = imageButton(ZuLocalized::text("MonitorButton"), &recorder->monitorButton);
    monitorButton->setObjectName("monitorButton");
    grid->addWidget(monitorButton, 0, 2);
    grid->addWidget(switchButton(ZuLocalized::text("HourButton"), &recorder->hourButton), 1, 2);
    auto* markerButton = switchButton(ZuLocalized::text("MarkerButton"), &recorder->markerButton);
    markerButton->setObjectName("markerButton");
    grid->addWidget(markerButton, 2, 2);
    grid->addWidget(switchButton(ZuLocalized::text("ReserveButton"), &recorder->reserveButton), 2,
                    1);

    grid->addWidget(display(&recorder->modeText, "modeText"), 3, 1);
    auto* condition = display(&recorder->conditionText, "conditionText");
    QFont bold = condition->font();
    bold.setBold(true);
    condition->setFont(bold);
    grid->addWidget(condition, 3, 2);
    grid->addWidget(display(&recorder->channelsText, "channelsText"), 4, 1);
    grid->addWidget(display(&recorder->samplingText, "samplingText"), 4, 2);
    grid->addWidget(display(&recorder->recordTimeInfoText, "recordTimeInfoText"), 5, 1);
    auto* time = new QHBoxLayout;
    time->addWidget(display(&recorder->recordTimeText, "recordTimeText"));
    time->addWidget(display(&recorder->writeIndicator, "writeIndicator"));
    time->addStretch();
    grid->addLayout(time, 5, 2);
    grid->addWidget(display(&recorder->reserveNameText, "reserveNameText"), 6, 1);
    auto* reserveTime = new QHBoxLayout;
    reserveTime->setSpacing(6);
    auto* timeInfo = display(&recorder->timeInfoText, "timeInfoText");
    // "Starts at" with no time after it would announce nothing.
    QSizePolicy keepPlace = timeInfo->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    timeInfo->setSizePolicy(keepPlace);
    auto showTimeInfo = [timeInfo, time = &recorder->reserveTimeText] {
        timeInfo->setVisible(!time->text().isEmpty());
    };
    showTimeInfo();
    // After the binding's own update, which shows the label whenever its text changes.
    connect(&recorder->timeInfoText, &ZuControl::changed, timeInfo, showTimeInfo);
    connect(&recorder->reserveTimeText, &ZuControl::changed, timeInfo, showTimeInfo);
    reserveTime->addWidget(timeInfo);
    reserveTime->addWidget(display(&recorder->reserveTimeText, "reserveTimeText"), 1);
    grid->addLayout(reserveTime, 6, 2);

    auto* bottom = new QHBoxLayout;
    auto* authorization = new QCheckBox(ZuLocalized::text("AuthorizationRequired"));
    authorization->setObjectName("authorizationButton");
    ZuControlBinding::bind(authorization, &controler->authorizationButton);
    bottom->addWidget(authorization);
    bottom->addStretch();
    bottom->addWidget(
        switchButton(ZuLocalized::text("PrefButton"), &controler->prefer()->preferButton));
    new ZuPreferDrawer(controler->prefer(), this);
    auto* version = new QPushButton(QStringLiteral("?"));
    version->setFixedWidth(28);
    ZuControlBinding::bind(version, &controler->versionButton);
    auto* copyright = new QPushButton(QStringLiteral("©"));
    copyright->setFixedWidth(28);
    ZuControlBinding::bind(copyright, &controler->copyrightButton);
    bottom->addWidget(version);
    bottom->addWidget(copyright);
    grid->addLayout(bottom, 7, 0, 1, 3);
    grid->setRowStretch(6, 1);
    return page;
}

void ZuMainWindow::setFrame(const QRect& frame, bool) {
    setGeometry(frame);
}

void ZuMainWindow::selectTab(int index) {
    const QSignalBlocker block(tabView);
    tabView->setCurrentIndex(index);
}

int ZuMainWindow::selectedTab() const {
    return tabView->currentIndex();
}

void ZuMainWindow::closeEvent(QCloseEvent* event) {
    // The controller's quit rules decide; an accepted quit ends the program.
    event->ignore();
    if (quit)
        quit();
}
