#pragma once

#include <QObject>
#include <memory>
#include <sys/types.h>

class QSocketNotifier;

// Holds one process by a pidfd and reports its exit through the event loop:
// the descriptor becomes readable when the process has exited.
class PidWatch : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Watching, Gone, Mismatch, Failed };

    // Opens a pidfd for pid and checks that the process behind it started
    // between earliest and latest (clock ticks after boot), so that a PID
    // reused since it was learnt is never taken for the process meant.
    // Gone: the process has already exited.
    PidWatch(pid_t pid, quint64 earliest, quint64 latest, QObject* parent = nullptr);
    ~PidWatch() override;

    Outcome outcome() const { return outcome_; }
    pid_t pid() const { return pid_; }
    quint64 startTime() const { return startTime_; }

signals:
    void exited(pid_t pid);

private:
    void onReadable();

    pid_t pid_;
    quint64 startTime_ = 0;
    int fd_ = -1;
    Outcome outcome_ = Outcome::Failed;
    std::unique_ptr<QSocketNotifier> notifier_;
};
