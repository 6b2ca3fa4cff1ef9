#include "workspace/PidWatch.h"

#include "workspace/ProcessTable.h"

#include <QSocketNotifier>
#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

PidWatch::PidWatch(pid_t pid, quint64 earliest, quint64 latest, QObject* parent)
    : QObject(parent), pid_(pid) {
    fd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd_ < 0) {
        outcome_ = errno == ESRCH ? Outcome::Gone : Outcome::Failed;
        return;
    }
    // Read after the descriptor is open: from now on the PID cannot be reused
    // while we hold it, so a matching start time proves it is the same process.
    const std::optional<quint64> start = ProcessTable::startTimeOf(pid);
    if (!start) {
        outcome_ = Outcome::Gone;
        return;
    }
    if (*start < earliest || *start > latest) {
        outcome_ = Outcome::Mismatch;
        return;
    }
    startTime_ = *start;
    outcome_ = Outcome::Watching;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &PidWatch::onReadable);
}

PidWatch::~PidWatch() {
    notifier_.reset();
    if (fd_ >= 0)
        close(fd_);
}

void PidWatch::onReadable() {
    notifier_->setEnabled(false);
    emit exited(pid_);
}
