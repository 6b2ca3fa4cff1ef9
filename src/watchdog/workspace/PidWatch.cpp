#include "workspace/PidWatch.h"

#include "workspace/ProcessTable.h"

#include <QDebug>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

bool PidWatch::pidfdAvailable() {
    static const bool available = [] {
        const int fd = static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0));
        if (fd >= 0) {
            close(fd);
            return true;
        }
        qWarning().noquote()
            << QStringLiteral("ZuGhoulizer: pidfd_open is not available (%1); the ends of "
                              "applications are noticed by waiting for the ones launched here "
                              "and by looking in /proc every %2 s for the others.")
                   .arg(QString::fromLocal8Bit(std::strerror(errno)),
                        QString::number(pollIntervalMs / 1000.0));
        return false;
    }();
    return available;
}

PidWatch::PidWatch(pid_t pid) : pid_(pid) {}

PidWatch::PidWatch(pid_t pid, quint64 earliest, quint64 latest, QObject* parent)
    : QObject(parent), pid_(pid) {
    if (pidfdAvailable()) {
        fd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (fd_ < 0) {
            outcome_ = errno == ESRCH ? Outcome::Gone : Outcome::Failed;
            return;
        }
    }
    // With a pidfd, read after it is open: from now on the PID cannot be
    // reused while we hold it, so a matching start time proves it is the same
    // process. Without one, every poll compares the start time again.
    const std::optional<ProcessTable::Stat> stat = ProcessTable::stat(pid);
    if (!stat || stat->ended()) {
        outcome_ = Outcome::Gone;
        return;
    }
    if (stat->startTime < earliest || stat->startTime > latest) {
        outcome_ = Outcome::Mismatch;
        return;
    }
    startTime_ = stat->startTime;
    outcome_ = Outcome::Watching;
    if (fd_ >= 0) {
        notifyOn(fd_);
        return;
    }
    pollTimer_.setInterval(pollIntervalMs);
    connect(&pollTimer_, &QTimer::timeout, this, &PidWatch::poll);
    pollTimer_.start();
}

std::unique_ptr<PidWatch> PidWatch::forChild(pid_t pid) {
    std::unique_ptr<PidWatch> watch(new PidWatch(pid));
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) {
        // Without the pipe the child is still reaped; only its end goes unseen here.
        std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
        return watch;
    }
    watch->startTime_ = ProcessTable::startTimeOf(pid).value_or(0);
    watch->outcome_ = Outcome::Watching;
    watch->notifyOn(ends[0]);
    // Closing the write end once the child is reaped makes the read end
    // readable, as a pidfd would be; a watch dropped meanwhile only closed its end.
    const int writeEnd = ends[1];
    std::thread([pid, writeEnd] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        close(writeEnd);
    }).detach();
    return watch;
}

PidWatch::~PidWatch() {
    notifier_.reset();
    if (fd_ >= 0)
        close(fd_);
}

void PidWatch::notifyOn(int fd) {
    fd_ = fd;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PidWatch::onReadable);
}

void PidWatch::onReadable() {
    notifier_->setEnabled(false);
    emit exited(pid_);
}

void PidWatch::poll() {
    const std::optional<ProcessTable::Stat> stat = ProcessTable::stat(pid_);
    if (stat && !stat->ended() && stat->startTime == startTime_)
        return;
    pollTimer_.stop();
    emit exited(pid_);
}
