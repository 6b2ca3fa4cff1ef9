#pragma once

#include "shell/ZuApplicationPort.h"

#include <QObject>
#include <memory>

class ZuSignalWatch;
class QWidget;
class ZuControler;

// Runs the controller in the Qt application: quit requests (the window, a
// signal, --quit-after) go through the controller's quit rules, and an
// accepted quit ends with its termination steps and exit status 0.
class ZuApplicationRunner : public QObject, public ZuApplicationPort {
    Q_OBJECT
public:
    explicit ZuApplicationRunner(ZuControler* controler);
    ~ZuApplicationRunner() override;

    void setWindow(QWidget* window) { mainWindow = window; }
    // SIGINT, SIGTERM and SIGHUP stop any recording and quit cleanly.
    void watchSignals();
    void quitAfter(double seconds);

    void hide() override;
    bool terminate() override;
    void replyToApplicationShouldTerminate(bool shouldTerminate) override;
    void openUrl(const QUrl& url) override;

private:
    void terminateBySignal();
    void quitWithoutKeeper();
    void finish();

    // How long a signalled quit waits for the keeper's compression.
    static constexpr int keeperWaitSeconds = 60;

    ZuControler* controler;
    QWidget* mainWindow = nullptr;
    std::unique_ptr<ZuSignalWatch> signalWatch;
    bool finished = false;
    bool waitingForKeeper = false;
};
