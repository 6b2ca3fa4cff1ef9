#include "shell/ZuControler.h"

#include "audio/ZuDevice.h"
#include "audio/ZuLevelDeviceClient.h"
#include "audio/ZuPlayDeviceClient.h"
#include "audio/ZuRecordDeviceClient.h"
#include "keeping/ZuKeeper.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "playback/ZuAnalyzer.h"
#include "playback/ZuPlayer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuLevelMeter.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuApplicationPort.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuWindowPort.h"

#include <QFileInfo>
#include <QStringList>
#include <mutex>
#include <type_traits>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}
const QString frameName = QStringLiteral("MainWindow");
const QString dataKeepComplete = QStringLiteral("DataKeepCompleteNotification");
// The component as the device manager's client, once it implements that side.
template <typename Client, typename Component> Client* deviceClient(Component* component) {
    if constexpr (std::is_convertible_v<Component*, Client*>)
        return component;
    else
        return nullptr;
}
} // namespace

void ZuControler::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({{"AuthorizationRequired", false}, {"WindowOpacity", 1.0f}});
    });
}

ZuControler::ZuControler()
    : preferComponent(std::make_unique<ZuPrefer>()), playerComponent(std::make_unique<ZuPlayer>()),
      recorderComponent(std::make_unique<ZuRecorder>()),
      mechanicComponent(std::make_unique<ZuMechanic>()),
      reserverComponent(std::make_unique<ZuReserver>()),
      reservelistComponent(std::make_unique<ZuReserveList>()),
      meterComponent(std::make_unique<ZuLevelMeter>()),
      dutylogComponent(std::make_unique<ZuDutyLog>()),
      devicerComponent(std::make_unique<ZuDevice>()), keeperComponent(std::make_unique<ZuKeeper>()),
      analyzerComponent(std::make_unique<ZuAnalyzer>()) {
    initialize();
    preferComponent->setControler(this);
    playerComponent->setControler(this);
    recorderComponent->setControler(this);
    mechanicComponent->setControler(this);
    reserverComponent->setControler(this);
    reservelistComponent->setControler(this);
    meterComponent->setControler(this);
    dutylogComponent->setControler(this);
    keeperComponent->setControler(this);
    analyzerComponent->setControler(this);
    devicerComponent->setClients(deviceClient<ZuRecordDeviceClient>(recorderComponent.get()),
                                 deviceClient<ZuLevelDeviceClient>(meterComponent.get()),
                                 deviceClient<ZuPlayDeviceClient>(playerComponent.get()));
    authorizationButton.setAction([this](ZuControl& sender) { actAuthorization(sender); });
    versionButton.setAction([this](ZuControl& sender) { actVersionButton(sender); });
    copyrightButton.setAction([this](ZuControl& sender) { actCopyrightButton(sender); });
}

ZuControler::~ZuControler() {
    ZuNotificationCenter::defaultCenter().removeObserver(this);
    // The devices stop first, so no IO callback reaches a component being
    // destroyed; then the recorder ends its write thread while the components
    // it reports to still exist.
    devicerComponent->releaseDevices();
    recorderComponent->endWriteThread();
}

void ZuControler::setWindow(ZuWindowPort* window) {
    mainWindow = window;
    recorderComponent->setDisplayed(window != nullptr);
    meterComponent->setDisplayed(window != nullptr);
}

void ZuControler::awakeFromNib() {
    authorizationRequired = store().boolForKey("AuthorizationRequired");
    windowOpacity = store().floatForKey("WindowOpacity");
    devicerComponent->awakeFromNib();
    mechanicComponent->awakeFromNib();
    keeperComponent->awakeFromNib();
    dutylogComponent->awakeFromNib();
    recorderComponent->awakeFromNib();
    meterComponent->awakeFromNib();
    playerComponent->awakeFromNib();
    analyzerComponent->awakeFromNib();
    reservelistComponent->awakeFromNib();
    reserverComponent->awakeFromNib();
    preferComponent->awakeFromNib();
}

void ZuControler::setOpacity(float value) {
    windowOpacity = value;
    if (mainWindow)
        mainWindow->setAlphaValue(value);
}

void ZuControler::saveUserDefaults() {
    recorderComponent->saveUserDefaults();
    mechanicComponent->saveUserDefaults();
    playerComponent->saveUserDefaults();
    reserverComponent->saveUserDefaults();
    reservelistComponent->saveUserDefaults();
    dutylogComponent->saveUserDefaults();
    devicerComponent->saveUserDefaults();
    saveFrameUsingName();
    store().setBool(authorizationRequired, "AuthorizationRequired");
    store().setFloat(windowOpacity, "WindowOpacity");
    store().synchronize();
}

bool ZuControler::administratorRefuses() const {
    return authorizationRequired && ZuAuthorization() != 0;
}

void ZuControler::actAuthorization(ZuControl& sender) {
    // Switching the requirement off needs the administrator.
    if (administratorRefuses()) {
        sender.setState(1);
        return;
    }
    authorizationRequired = sender.state() != 0;
}

void ZuControler::actVersionButton(ZuControl&) {
    const ZuAlertButton answer = ZuAlerts::run({"SupportPage", "NeedInternet", "Go", "Cancel"});
    if (answer == ZuAlertButton::Default && app)
        app->openUrl(supportPageUrl());
}

void ZuControler::actCopyrightButton(ZuControl&) {
    const ZuAlertButton answer = ZuAlerts::run({"SendMessage", "NeedInetToSend", "Send", "Cancel"});
    if (answer == ZuAlertButton::Default && app)
        app->openUrl(messagePageUrl());
}

QUrl ZuControler::supportPageUrl() {
    // The manual installed with the program, or the one in the source tree.
    const QString installed = QStringLiteral(NW_DOCDIR "/README.md");
    if (QFileInfo(installed).isFile())
        return QUrl::fromLocalFile(installed);
    return QUrl::fromLocalFile(QStringLiteral(NW_SOURCE_DIR "/README.md"));
}

QUrl ZuControler::messagePageUrl() {
    QUrl url = supportPageUrl();
    url.setFragment(QStringLiteral("reporting-a-problem"));
    return url;
}

void ZuControler::applicationDidFinishLaunching() {
    // A quit that went ahead has already finished the duty: launching on
    // would open a new one that never ends.
    if (devicerComponent->awakeError() && app && app->terminate())
        return;
    authorizationButton.setState(authorizationRequired ? 1 : 0);
    recorderComponent->setControlState();
    recorderComponent->mainTabSelected();
    playerComponent->mainTabUnselected();
    reserverComponent->mainTabUnselected();
    recorderComponent->recordSourceChanged();
    recorderComponent->monitorSourceChanged();
    devicerComponent->recordDeviceStart();
    if (mainWindow) {
        mainWindow->setAlphaValue(windowOpacity);
        selectTabViewItem(0);
        setFrameUsingName();
        mainWindow->show();
    }
    ZuLogEvent::post(QStringLiteral("DutyStart"));
    // The progress link first, so that the rescued file's name is free.
    recorderComponent->deleteProgressSoundFile();
    recorderComponent->rescueTempFile();
    recorderComponent->reviveRecordCondition();
    if (recorderComponent->autoStartup())
        recorderComponent->autoRecordStart();
    else if (reserverComponent->reserveAutoStartup())
        recorderComponent->autoReserveStart();
}

QSize ZuControler::tabSize(int index) {
    static const QSize sizes[] = {{352, 262}, {510, 318}, {706, 318}, {376, 318}};
    return index >= 0 && index < 4 ? sizes[index] : QSize();
}

void ZuControler::selectTabViewItem(int index) {
    if (mainWindow)
        mainWindow->selectTab(index);
    tabViewDidSelectTabViewItem(index);
}

void ZuControler::tabViewDidSelectTabViewItem(int index) {
    if (index < 0 || index > 3 || !mainWindow)
        return;
    const QRect frame = mainWindow->frame();
    if (index != 0 && administratorRefuses()) {
        selectTabViewItem(0);
        return;
    }
    authorizationButton.setEnabled(index == 0);
    if (index != 0)
        recorderComponent->mainTabUnselected();
    if (index != 1)
        playerComponent->mainTabUnselected();
    if (index != 2)
        reserverComponent->mainTabUnselected();
    if (index != 3)
        keeperComponent->mainTabUnselected();
    // The top-left corner stays where it was.
    mainWindow->setFrame(QRect(frame.topLeft(), tabSize(index)), true);
    switch (index) {
    case 0:
        recorderComponent->mainTabSelected();
        meterComponent->renewLEDDisplay();
        break;
    case 1:
        playerComponent->mainTabSelected();
        break;
    case 2:
        reserverComponent->mainTabSelected();
        break;
    case 3:
        keeperComponent->mainTabSelected();
        break;
    }
}

void ZuControler::applicationDidBecomeActive() {
    if (!mainWindow || mainWindow->selectedTab() == 0)
        meterComponent->renewLEDDisplay();
}

ZuTerminateReply ZuControler::applicationShouldTerminate(bool checkAdministrator) {
    if (recorderComponent->recordButton.state() != 0 ||
        recorderComponent->reserveButton.state() != 0) {
        ZuAlerts::run({"UnableExit", "StopRecording", "Understand"});
        return ZuTerminateReply::Cancel;
    }
    if (checkAdministrator && administratorRefuses())
        return ZuTerminateReply::Cancel;
    if (!keeperComponent->isCompressing())
        return ZuTerminateReply::Now;
    const ZuAlertButton answer = ZuAlerts::run({"CompressingCaution", "CompressingCautionInfo",
                                                "StopAfterCompress", "Cancel", "ApplicationStop"});
    switch (answer) {
    case ZuAlertButton::Alternate:
        return ZuTerminateReply::Cancel;
    case ZuAlertButton::Default:
        ZuConsole::line(QStringLiteral("standing by complete keeping."));
        ZuNotificationCenter::defaultCenter().addObserver(
            dataKeepComplete, this, [this](const ZuNotification&) { dataKeepCompletedHandler(); });
        // The queue may have drained while the alert was up.
        if (!keeperComponent->isCompressing()) {
            ZuNotificationCenter::defaultCenter().removeObserver(this, dataKeepComplete);
            return ZuTerminateReply::Now;
        }
        if (app)
            app->hide();
        if (mainWindow)
            mainWindow->close();
        return ZuTerminateReply::Later;
    case ZuAlertButton::Other:
        break;
    }
    if (mainWindow && !mainWindow->isVisible())
        dataKeepCompletedHandler();
    mechanicComponent->deleteDotFileInFolder(mechanicComponent->recordFolder());
    mechanicComponent->deleteDotFileInFolder(keeperComponent->keepFolder());
    return ZuTerminateReply::Now;
}

void ZuControler::dataKeepCompletedHandler() {
    ZuConsole::line(QStringLiteral("---dataKeepCompletedHandler---"));
    ZuNotificationCenter::defaultCenter().removeObserver(this, dataKeepComplete);
    if (app)
        app->replyToApplicationShouldTerminate(true);
}

void ZuControler::applicationWillTerminate() {
    ZuConsole::line(QStringLiteral("---applicationWillTerminate---"));
    ZuLogEvent::post(QStringLiteral("DutyFinish"));
    saveUserDefaults();
}

void ZuControler::saveFrameUsingName() const {
    if (!mainWindow)
        return;
    const QRect f = mainWindow->frame();
    store().setString(
        QStringLiteral("%1 %2 %3 %4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height()),
        frameName);
}

void ZuControler::setFrameUsingName() {
    const QStringList parts = store().stringForKey(frameName).split(' ', Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return;
    mainWindow->setFrame(QRect(values[0], values[1], values[2], values[3]), false);
}
