#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into an orderly quit of the event loop,
// so the stop record is written and the settings are kept.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

signals:
    void quitRequested(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
