#pragma once

#include <QObject>
#include <functional>

class Secretary;
class Watchman;

// Starts and stops the watch with the application.
class Ghoulizer : public QObject {
    Q_OBJECT
public:
    struct Alert {
        QString message;
        QString informative;
        QString defaultButton;
    };

    Ghoulizer(Watchman& watchman, Secretary& secretary, QObject* parent = nullptr);

    // Shows an alert and returns when it is dismissed.
    void setAlertRunner(std::function<void(const Alert&)> runner) { runAlert_ = std::move(runner); }

    void applicationDidFinishLaunching();
    void applicationShouldTerminate();

signals:
    // The panels should store their frames now.
    void saveFrames();

private:
    Watchman& watchman;
    Secretary& secretary;
    std::function<void(const Alert&)> runAlert_;
};
