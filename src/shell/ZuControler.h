#pragma once

#include "platform/ZuControl.h"

#include <QSize>
#include <QUrl>
#include <memory>

class ZuAnalyzer;
class ZuApplicationPort;
class ZuDevice;
class ZuDutyLog;
class ZuKeeper;
class ZuLevelMeter;
class ZuMechanic;
class ZuPlayer;
class ZuPrefer;
class ZuRecorder;
class ZuReserveList;
class ZuReserver;
class ZuWindowPort;

// The answer to a quit request.
enum class ZuTerminateReply { Cancel, Now, Later };

// Owns every component of the recorder, wires them, runs the launch, switches
// the main window's tabs and decides whether the application may quit.
class ZuControler {
public:
    static void initialize();

    ZuControler();
    ~ZuControler();
    ZuControler(const ZuControler&) = delete;
    ZuControler& operator=(const ZuControler&) = delete;

    // The window and the application this controller drives; set before launch.
    // Without a window nothing ticks only to refresh controls.
    void setWindow(ZuWindowPort* window);
    void setApplication(ZuApplicationPort* application) { app = application; }

    // Loads the controller's and every component's settings.
    void awakeFromNib();

    ZuPrefer* prefer() const { return preferComponent.get(); }
    ZuPlayer* player() const { return playerComponent.get(); }
    ZuRecorder* recorder() const { return recorderComponent.get(); }
    ZuMechanic* mechanic() const { return mechanicComponent.get(); }
    ZuAnalyzer* analyzer() const { return analyzerComponent.get(); }
    ZuReserver* reserver() const { return reserverComponent.get(); }
    ZuLevelMeter* meter() const { return meterComponent.get(); }
    ZuDutyLog* dutylog() const { return dutylogComponent.get(); }
    ZuDevice* devicer() const { return devicerComponent.get(); }
    ZuKeeper* keeper() const { return keeperComponent.get(); }
    ZuReserveList* reservelist() const { return reservelistComponent.get(); }
    bool authorization() const { return authorizationRequired; }
    float opacity() const { return windowOpacity; }

    void setOpacity(float value);
    void saveUserDefaults();

    void actAuthorization(ZuControl& sender);
    void actVersionButton(ZuControl& sender);
    void actCopyrightButton(ZuControl& sender);

    void applicationDidFinishLaunching();
    void applicationDidBecomeActive();
    // A quit asked by a signal has no administrator to ask.
    ZuTerminateReply applicationShouldTerminate(bool checkAdministrator = true);
    void applicationWillTerminate();
    void dataKeepCompletedHandler();

    // The user selected a tab (the window reports it).
    void tabViewDidSelectTabViewItem(int index);
    // Selects a tab as the user would.
    void selectTabViewItem(int index);

    static QSize tabSize(int index);
    static QUrl supportPageUrl();
    static QUrl messagePageUrl();

    ZuControl authorizationButton{"authorizationButton"};
    ZuControl versionButton{"versionButton"};
    ZuControl copyrightButton{"copyrightButton"};

private:
    bool administratorRefuses() const;
    void saveFrameUsingName() const;
    void setFrameUsingName();

    ZuWindowPort* mainWindow = nullptr;
    ZuApplicationPort* app = nullptr;
    std::unique_ptr<ZuPrefer> preferComponent;
    std::unique_ptr<ZuPlayer> playerComponent;
    std::unique_ptr<ZuRecorder> recorderComponent;
    std::unique_ptr<ZuMechanic> mechanicComponent;
    std::unique_ptr<ZuReserver> reserverComponent;
    std::unique_ptr<ZuReserveList> reservelistComponent;
    std::unique_ptr<ZuLevelMeter> meterComponent;
    std::unique_ptr<ZuDutyLog> dutylogComponent;
    std::unique_ptr<ZuDevice> devicerComponent;
    std::unique_ptr<ZuKeeper> keeperComponent;
    // Last, so that it goes first: its builders read through the mechanic.
    std::unique_ptr<ZuAnalyzer> analyzerComponent;
    bool authorizationRequired = false;
    float windowOpacity = 1.0f;
};
