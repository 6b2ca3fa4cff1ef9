#include "app/GhoulProgram.h"

#include "model/GhoulSettings.h"
#include "model/Logger.h"
#include "model/RequestDesk.h"
#include "model/Secretary.h"
#include "model/Watchman.h"
#include "ui/GhoulListPanel.h"
#include "ui/LogPanel.h"
#include "workspace/InstanceServer.h"
#include "workspace/QuitOnSignal.h"
#include "workspace/Workspace.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

GhoulProgram::GhoulProgram(const Setup& setup, QObject* parent)
    : QObject(parent),
      // First, so that a signal from now on ends the program in order.
      signals_(std::make_unique<QuitOnSignal>()),
      settings_(std::make_unique<GhoulSettings>(setup.settingsFile)),
      secretary_(std::make_unique<Secretary>(*settings_)),
      logger_(std::make_unique<Logger>(setup.logBookFile)),
      workspace_(std::make_unique<Workspace>()) {
    connect(signals_.get(), &QuitOnSignal::quitRequested, this, &GhoulProgram::requestQuit);
    // What an earlier run launched and still runs is followed on.
    workspace_->setLaunchRecord(setup.settingsFile + QLatin1String(".launched"));
    secretary_->awakeFromNib();
    logger_->setEchoToConsole(!setup.windows);
    logger_->awakeFromNib();
    watchman_ = std::make_unique<Watchman>(*secretary_, *logger_, *workspace_, setup.delays);
    ghoulizer_ = std::make_unique<Ghoulizer>(*watchman_, *secretary_);

    if (setup.windows) {
        // Closing a panel only hides it: with no dock to bring it back, the
        // watch ends with the Quit control alone.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        listPanel_ = std::make_unique<GhoulListPanel>(*secretary_, *settings_);
        logPanel_ = std::make_unique<LogPanel>(*logger_, *settings_);
        logPanel_->addAction(listPanel_->quitAction());
        connect(listPanel_->logButton(), &QPushButton::clicked, logger_.get(), &Logger::actReadLog);
        connect(listPanel_.get(), &GhoulListPanel::quitRequested, this, &GhoulProgram::requestQuit);
        connect(ghoulizer_.get(), &Ghoulizer::saveFrames, this, [this] {
            listPanel_->saveFrame();
            logPanel_->saveFrame();
        });
        ghoulizer_->setAlertRunner(
            [this](const Ghoulizer::Alert& alert) { runAlertWindow(alert); });
    } else {
        ghoulizer_->setAlertRunner([](const Ghoulizer::Alert& alert) {
            std::fprintf(stderr, "%s %s\n", qPrintable(alert.message),
                         qPrintable(alert.informative));
        });
    }

    desk_ = std::make_unique<RequestDesk>(*secretary_, setup.windows);
    server_ = std::make_unique<InstanceServer>(
        [this](const InstanceRequest& request) { return desk_->answer(request); });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [this] { ghoulizer_->applicationShouldTerminate(); });
}

GhoulProgram::~GhoulProgram() = default;

bool GhoulProgram::listen(const QString& path) {
    if (server_->listen(path))
        return true;
    qWarning().noquote() << "ZuGhoulizer: later starts cannot reach this one at" << path << "-"
                         << server_->errorString();
    return false;
}

void GhoulProgram::launch() {
    ghoulizer_->applicationDidFinishLaunching();
    if (listPanel_)
        listPanel_->present();
}

int GhoulProgram::exec() {
    // QCoreApplication::quit() does nothing before the loop runs: a quit asked
    // for meanwhile (a signal while the first alert was open) waits for it.
    if (quitRequested_)
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    return QCoreApplication::exec();
}

void GhoulProgram::requestQuit() {
    quitRequested_ = true;
    if (alert_)
        alert_->done(QDialog::Rejected);
    QCoreApplication::quit();
}

void GhoulProgram::runAlertWindow(const Ghoulizer::Alert& alert) {
    if (quitRequested_)
        return;
    QMessageBox box(QMessageBox::Information, QStringLiteral("ZuGhoulizer"), alert.message);
    box.setInformativeText(alert.informative);
    box.addButton(alert.defaultButton, QMessageBox::AcceptRole);
    alert_ = &box;
    box.exec();
}
