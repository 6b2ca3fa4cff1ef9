#pragma once

#include <QObject>
#include <QTimer>
#include <memory>
#include <sys/types.h>

class QSocketNotifier;

// Holds one process and reports its exit through the event loop. A pidfd
// becomes readable when the process has exited. Where pidfd_open is not
// available (an old kernel, a seccomp filter), a child of this process is
// waited for by a thread of its own, and any other process is looked for in
// /proc every pollIntervalMs.
class PidWatch : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Watching, Gone, Mismatch, Failed };

    static constexpr int pollIntervalMs = 1000;

    // Whether pidfd_open works here; tried once. The first time it does not,
    // one console line says how ends are noticed instead.
    static bool pidfdAvailable();

    // Opens a pidfd for pid and checks that the process behind it started
    // between earliest and latest (clock ticks after boot), so that a PID
    // reused since it was learnt is never taken for the process meant.
    // Gone: the process has already exited.
    PidWatch(pid_t pid, quint64 earliest, quint64 latest, QObject* parent = nullptr);
    ~PidWatch() override;

    // A child of this process, started without the automatic reaping: a
    // thread waits for it, reaps it, and the watch reports its exit. The PID
    // cannot be reused before that, so no start time is checked.
    static std::unique_ptr<PidWatch> forChild(pid_t pid);

    Outcome outcome() const { return outcome_; }
    pid_t pid() const { return pid_; }
    quint64 startTime() const { return startTime_; }

signals:
    void exited(pid_t pid);

private:
    explicit PidWatch(pid_t pid);
    void notifyOn(int fd);
    void onReadable();
    void poll();

    pid_t pid_;
    quint64 startTime_ = 0;
    int fd_ = -1;
    Outcome outcome_ = Outcome::Failed;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer pollTimer_;
};
