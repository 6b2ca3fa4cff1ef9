// The keeper's compression worker: one thread at a time drains the queue of
// kept copies, running the command on each, and reports every file and the
// drained queue.
#include "keeping/ZuKeeper.h"

#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"
#include "platform/ZuNotificationCenter.h"
#include "recording/ZuRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {
const QString compressComplete = QStringLiteral("CompressCompleteNotification");
const QString errorKey = QStringLiteral("CompressErrorMessage");
const QString executeError = QStringLiteral("CompresserExecuteError");
const QString noExistError = QStringLiteral("CompresserNoExistError");
constexpr int aborted = -2;

// The command's result beside a copy: the first entry whose name without its
// last extension is the copy's name.
QString compressedFileOf(const QString& copy) {
    const QFileInfo info(copy);
    const QDir folder = info.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const qsizetype dot = name.lastIndexOf('.');
        if (dot > 0 && name.left(dot) == info.fileName())
            return folder.filePath(name);
    }
    return {};
}
} // namespace

void ZuKeeper::onMainThread(std::function<void()> work) {
    if (!QCoreApplication::instance() || zuIsMainThread())
        work();
    else
        mainHandOff.post(std::move(work));
}

void ZuKeeper::compressFileThread() {
    for (;;) {
        Job job;
        bool postDrain = false;
        {
            std::lock_guard guard(lock);
            if (commandQue.isEmpty() || stopping) {
                // Cleared here, with the queue in view, so that a file queued
                // from now on starts a new worker.
                compressing = false;
                postDrain = drainPending && !stopping;
                drainPending = false;
            } else {
                job = {commandQue.takeFirst(), command, arguments, monitor};
            }
        }
        if (job.copy.isEmpty()) {
            if (postDrain) {
                ZuConsole::line(QStringLiteral("Notification to DateKeepComplete"));
                ZuNotificationCenter::defaultCenter().post(
                    QStringLiteral("DataKeepCompleteNotification"));
            }
            return;
        }
        currentCopy = job.copy;
        if (!QFileInfo(job.command).isFile()) {
            ZuNotificationCenter::defaultCenter().post(compressComplete, job.copy,
                                                       {{errorKey, noExistError}});
            continue;
        }
        // The default command removes its input: the size is taken now.
        currentSize = double(QFileInfo(job.copy).size());
        const int status = execTaskWithPath(job);
        if (status == aborted) {
            // The copy stays whole; a half-written result beside it goes.
            const QString partial = compressedFileOf(job.copy);
            if (QFileInfo::exists(job.copy) && !partial.isEmpty())
                QFile::remove(partial);
            continue;
        }
        ZuNotificationCenter::defaultCenter().post(
            compressComplete, job.copy,
            status == 0 ? QVariantMap() : QVariantMap{{errorKey, executeError}});
    }
}

int ZuKeeper::execTaskWithPath(const Job& job) {
    if (!job.arguments.contains(QStringLiteral("%@"))) {
        ZuLogEvent::error(
            QStringLiteral("ZuKeeper: the argument template \"%1\" does not name the file (%@).")
                .arg(job.arguments));
        return -1;
    }
    QProcess task;
    task.setProgram(job.command);
    task.setArguments(argumentsFor(job.arguments, job.copy));
    task.setStandardInputFile(QProcess::nullDevice());
    task.setStandardOutputFile(QProcess::nullDevice());
    // Unwatched error output goes nowhere rather than into a pipe nobody
    // reads, which would stop a talkative command once it is full.
    if (job.monitor)
        task.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        task.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    QObject::connect(&task, &QProcess::finished, &loop, &QEventLoop::quit);
    // Lives in this thread, so a stop from the main thread reaches the task here.
    ZuHandOff taskHandOff;
    {
        std::lock_guard guard(lock);
        if (stopping)
            return aborted;
        runningTask = &task;
        runningTaskHandOff = &taskHandOff;
    }
    commandStarted(job.copy);
    task.start();
    if (task.waitForStarted(-1) && task.state() != QProcess::NotRunning)
        loop.exec();
    bool stopped = false;
    {
        std::lock_guard guard(lock);
        runningTask = nullptr;
        runningTaskHandOff = nullptr;
        stopped = stopping;
    }
    commandEnded();
    if (stopped)
        return aborted;
    if (task.error() == QProcess::FailedToStart) {
        ZuLogEvent::error(QStringLiteral("Task create error."));
        return -1;
    }
    return task.exitStatus() == QProcess::NormalExit ? task.exitCode() : -1;
}

void ZuKeeper::commandStarted(const QString& copy) {
    onMainThread([this, copy] {
        const QString name = QFileInfo(copy).fileName();
        compressIndicator.setState(1);
        ZuConsole::line(QStringLiteral("ZuKeeper: compressing %1").arg(name));
        // Slower than the recording itself: copies would pile up. Said while
        // the command still runs, so a hanging one is noticed.
        if (isRecordingName(name))
            overTimeTimer.start(totalSecondOfFile(name), false, [] {
                ZuAlerts::show({"CompressOverTimeAlert", "CompressOverTimeInfo", "Understand"});
            });
    });
}

void ZuKeeper::commandEnded() {
    onMainThread([this] {
        overTimeTimer.invalidate();
        compressIndicator.setState(0);
    });
}

void ZuKeeper::compressThreaCompleteHandle(const ZuNotification& note) {
    const QString copy = note.object.toString();
    // Only this keeper's worker posts the file it has just run.
    if (!worker || QThread::currentThread() != worker.get() || copy != currentCopy)
        return;
    if (QFileInfo(copy).suffix() != ZuRecorder::fileExtension()) {
        completeCheckKeepActionHandle(note);
        return;
    }
    const QString error = note.userInfo.value(errorKey).toString();
    if (error.isEmpty()) {
        const QString compressed = compressedFileOf(copy);
        if (compressed.isEmpty()) {
            // Without a result the copy is all there is of the recording.
            ZuLogEvent::error(QStringLiteral("ZuKeeper: the command left no compressed file "
                                             "for %1; the copy stays uncompressed.")
                                  .arg(copy));
        } else {
            learnRatio(compressed, currentSize);
            QFile::remove(copy);
        }
    } else {
        ZuLogEvent::error(error == noExistError ? QStringLiteral("File compresser not exist error.")
                                                : QStringLiteral("File compress execute error."));
    }
    {
        std::lock_guard guard(lock);
        drainPending = true;
    }
    onMainThread([this] { renewListAndControl(); });
}

void ZuKeeper::learnRatio(const QString& compressed, double uncompressedSize) {
    if (uncompressedSize <= 0.0)
        return;
    const double r = double(QFileInfo(compressed).size()) / uncompressedSize;
    if (r > 0.0 && r < 1.0)
        onMainThread([this, r] { setCompressRatio(float((r + double(compressRatio())) / 2.0)); });
}

void ZuKeeper::completeCheckKeepActionHandle(const ZuNotification& note) {
    {
        std::lock_guard guard(lock);
        drainPending = false;
    }
    const QString copy = note.object.toString();
    if (QFileInfo(copy).suffix() != QLatin1String("test"))
        return;
    const QString error = note.userInfo.value(errorKey).toString();
    if (!error.isEmpty()) {
        const QString info = error == noExistError ? QStringLiteral("NoCompresserExistInfo")
                                                   : "CompressingErrorInfo";
        onMainThread([info] { ZuAlerts::run({"CheckKeepActionError", info, "Understand"}); });
        return;
    }
    const QString compressed = compressedFileOf(copy);
    if (compressed.isEmpty()) {
        // Nothing to measure; only the trial's own copy is removed.
        QFile::remove(copy);
        ZuLogEvent::error(QStringLiteral("ZuKeeper: the compression test left no compressed "
                                         "file beside %1.")
                              .arg(copy));
        onMainThread([] {
            ZuAlerts::run({"CheckKeepActionError", "NoCompressedTestInfo", "Understand"});
        });
        return;
    }
    // The copy was the sample file byte for byte.
    const double uncompressed = currentSize;
    const double size = double(QFileInfo(compressed).size());
    QFile::remove(compressed);
    QFile::remove(copy);
    if (uncompressed > 0.0)
        ZuNotificationCenter::defaultCenter().post(QStringLiteral("CompressRatioNotification"),
                                                   float(size / uncompressed));
    onMainThread([] {
        ZuAlerts::run({"CompleteKeepAction", "CompleteKeepActionInfo", "Understand"});
    });
}
