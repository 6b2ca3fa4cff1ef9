#pragma once

#include "model/Ghoulizer.h"
#include "model/RelaunchBrake.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class GhoulListPanel;
class GhoulSettings;
class InstanceServer;
class LogPanel;
class Logger;
class QMessageBox;
class QuitOnSignal;
class RequestDesk;
class Secretary;
class Watchman;
class Workspace;

// The watchdog as one running program: its parts, its panels when it has
// windows, the quit by signal or by the Quit control, and the answers to
// later starts on the same settings file. Build it only while holding the
// settings file's instance lock: it starts a new log book, and keeps the
// launches it makes in "<settings file>.launched".
class GhoulProgram : public QObject {
    Q_OBJECT
public:
    struct Setup {
        QString settingsFile;
        QString logBookFile;
        bool windows = false;
        RelaunchBrake::Delays delays;
    };

    explicit GhoulProgram(const Setup& setup, QObject* parent = nullptr);
    ~GhoulProgram() override;

    // Answers later starts at the socket path. False, with a console line,
    // when the socket cannot be made; the watch goes on without it.
    bool listen(const QString& path);
    // The start: the caution on an empty list, the list panel, the watch.
    void launch();
    // Runs the event loop until the quit; the termination steps run on the
    // way out.
    int exec();
    // Quits the event loop, or, asked before it runs, as soon as it runs.
    void requestQuit();

    GhoulListPanel* listPanel() const { return listPanel_.get(); }
    LogPanel* logPanel() const { return logPanel_.get(); }

private:
    void runAlertWindow(const Ghoulizer::Alert& alert);

    std::unique_ptr<QuitOnSignal> signals_;
    std::unique_ptr<GhoulSettings> settings_;
    std::unique_ptr<Secretary> secretary_;
    std::unique_ptr<Logger> logger_;
    std::unique_ptr<Workspace> workspace_;
    std::unique_ptr<Watchman> watchman_;
    std::unique_ptr<Ghoulizer> ghoulizer_;
    std::unique_ptr<GhoulListPanel> listPanel_;
    std::unique_ptr<LogPanel> logPanel_;
    std::unique_ptr<RequestDesk> desk_;
    std::unique_ptr<InstanceServer> server_;
    QPointer<QMessageBox> alert_;
    bool quitRequested_ = false;
};
