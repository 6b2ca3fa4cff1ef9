#include "keeping/ZuKeeper.h"

#include "keeping/ZuKeepList.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuMainThread.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuPanels.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}
const QString temporaryCopyName = QStringLiteral(".NightwardenKeepCopy");

// Names sort by their date and time, whatever their first character.
bool earlier(const QString& a, const QString& b) {
    return QFileInfo(a).fileName().mid(1) < QFileInfo(b).fileName().mid(1);
}

// The kept data files of a folder, subfolders included, oldest first.
QStringList keptFilesIn(const QString& folder) {
    QStringList paths;
    if (folder.isEmpty())
        return paths;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (ZuKeeper::isKeepDataFile(it.fileName()))
            paths << it.filePath();
    }
    std::sort(paths.begin(), paths.end(), earlier);
    return paths;
}

// A path with its links resolved, also when its last parts do not exist yet.
QString resolved(const QString& path) {
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing) && existing != "/") {
        rest = "/" + QFileInfo(existing).fileName() + rest;
        existing = QFileInfo(existing).absolutePath();
    }
    return QDir::cleanPath(QFileInfo(existing).canonicalFilePath() + rest);
}

} // namespace

void ZuKeeper::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({
            {"KeepOperation", false},
            {"KeepFileKeepFolder", QStringLiteral("~/Documents/NightwardenPreserve")},
            {"KeepFileKeepPeriod", 10},
            {"CommandPathString", QStringLiteral("/usr/bin/bzip2")},
            {"CommandArgumentString", QStringLiteral("-f %@")},
            {"MonitorCommandLine", true},
            {"CompressRatio", 0.66f},
            {"SampleDataFilePath", ZuPaths::systemSoundFolder()},
            {"SampleDataFileName", ZuPaths::sampleSoundName()},
            {"KeepFileExpandFolder", QStringLiteral("~/DeskTop")},
        });
    });
}

ZuKeeper::ZuKeeper() : list(std::make_unique<ZuKeepList>()) {
    initialize();
    dataView.setSelectedIndex(-1);
}

ZuKeeper::~ZuKeeper() {
    stopCompressing();
    if (worker)
        worker->wait();
    ZuNotificationCenter::defaultCenter().removeObserver(this);
}

void ZuKeeper::awakeFromNib() {
    {
        std::lock_guard guard(lock);
        commandQue.clear();
        command = store().stringForKey("CommandPathString");
        arguments = store().stringForKey("CommandArgumentString");
        monitor = store().boolForKey("MonitorCommandLine");
    }
    compressing = false;
    keep = store().boolForKey("KeepOperation");
    period = static_cast<int32_t>(store().integerForKey("KeepFileKeepPeriod"));
    ratio = store().floatForKey("CompressRatio");
    expand = ZuPaths::expandTilde(store().stringForKey("KeepFileExpandFolder"));
    setKeepFolder(ZuPaths::expandTilde(store().stringForKey("KeepFileKeepFolder")));
    store().setString(store().stringForKey("SampleDataFilePath"), "SampleDataFilePath");
    store().setString(store().stringForKey("SampleDataFileName"), "SampleDataFileName");
    store().synchronize();
    ZuNotificationCenter::defaultCenter().removeObserver(this);
    ZuNotificationCenter::defaultCenter().addObserver(
        QStringLiteral("CompressCompleteNotification"), this,
        [this](const ZuNotification& note) { compressThreaCompleteHandle(note); });
    if (controler && controler->mechanic() && !keepFolder().isEmpty())
        controler->mechanic()->deleteDotFileInFolder(keepFolder());
}

bool ZuKeeper::compressDataFile(const QString& path) {
    if (!keep)
        return true;
    const QString keepPath = keepFolder();
    if (keepPath.isEmpty()) {
        ZuLogEvent::error(
            QStringLiteral("ZuKeeper: there is no keep folder; %1 is not deleted.").arg(path));
        return false;
    }
    // A copy into the file's own folder would be the file itself.
    if (isWithinFolder(keepPath, QFileInfo(path).absolutePath())) {
        ZuLogEvent::error(QStringLiteral("ZuKeeper: the keep folder %1 is the folder of %2; the "
                                         "file is neither copied nor deleted.")
                              .arg(keepPath, path));
        return false;
    }
    secureKeepSpace();
    const QString copy = keepPath + '/' + QFileInfo(path).fileName();
    QString reason;
    if (!copyFileSafely(path, copy, true, &reason)) {
        ZuLogEvent::error(QStringLiteral("ZuKeeper: cannot copy %1 to the keep folder (%2); the "
                                         "file is not deleted.")
                              .arg(path, reason));
        return false;
    }
    bool start = false;
    {
        std::lock_guard guard(lock);
        commandQue.append(copy);
        if (!compressing) {
            compressing = true;
            stopping = false;
            start = true;
        }
    }
    if (start) {
        // The worker before has cleared the flag and is at most returning.
        if (worker)
            worker->wait();
        worker.reset(QThread::create([this] { compressFileThread(); }));
        worker->start();
    }
    renewListAndControl();
    return true;
}

int ZuKeeper::stopCompressing() {
    std::lock_guard guard(lock);
    if (!compressing)
        return 0;
    stopping = true;
    const int left = int(commandQue.size()) + (runningTask ? 1 : 0);
    commandQue.clear();
    if (runningTask)
        runningTaskHandOff->post([task = runningTask] { task->kill(); });
    if (left > 0)
        ZuConsole::line(
            QStringLiteral("ZuKeeper: compression stopped; %1 copies stay uncompressed in %2.")
                .arg(left)
                .arg(folder));
    return left;
}

bool ZuKeeper::copyFileSafely(const QString& from, const QString& to, bool allowLink,
                              QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QFileInfo(from).isFile())
        return fail(QStringLiteral("no such file"));
    if (QFileInfo::exists(to) &&
        QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath())
        return fail(QStringLiteral("the copy would replace the file itself"));
    if (ZuFileLock::isLocked(to))
        return fail(QStringLiteral("a locked file of that name is in the way"));
    const QString temp = QFileInfo(to).absolutePath() + '/' + temporaryCopyName;
    const QByteArray tempName = QFile::encodeName(temp);
    QFile::remove(temp);
    // On one volume a second name is a complete copy at once.
    const bool linked =
        allowLink && ::link(QFile::encodeName(from).constData(), tempName.constData()) == 0;
    if (!linked) {
        QFile in(from);
        QFile out(temp);
        if (!in.open(QIODevice::ReadOnly))
            return fail(in.errorString());
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(out.errorString());
        QString why;
        while (why.isEmpty() && !in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            if (chunk.isEmpty())
                why = in.errorString();
            else if (out.write(chunk) != chunk.size())
                why = out.errorString();
        }
        if (why.isEmpty() && (!out.flush() || ::fsync(out.handle()) != 0))
            why = QString::fromLocal8Bit(std::strerror(errno));
        out.close();
        if (why.isEmpty() && QFileInfo(temp).size() != in.size())
            why = QStringLiteral("the copy is incomplete");
        if (!why.isEmpty()) {
            QFile::remove(temp);
            return fail(why);
        }
    }
    if (::rename(tempName.constData(), QFile::encodeName(to).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temp);
        return fail(why);
    }
    return true;
}

bool ZuKeeper::isWithinFolder(const QString& path, const QString& folder) {
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString p = resolved(path);
    const QString f = resolved(folder);
    return p == f || p.startsWith(f == "/" ? f : f + '/');
}

// Limits.

double ZuKeeper::totalDataSize() const {
    return ZuMechanic::folderSizeWithPath(keepFolder());
}

double ZuKeeper::totalKeepTime() const {
    double total = 0.0;
    for (const QString& path : keptFilesIn(keepFolder()))
        total += totalSecondOfFile(QFileInfo(path).fileName());
    return total;
}

double ZuKeeper::totalKeepSpace() const {
    return totalDataSize();
}

double ZuKeeper::freeSystemSpace() const {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(keepFolder()).constData(), &info) != 0)
        return 0.0;
    return double(info.f_bavail) * double(info.f_frsize);
}

double ZuKeeper::needFreeKeepSpace() const {
    ZuRecorder* recorder = controler ? controler->recorder() : nullptr;
    if (!recorder)
        return 0.0;
    return double(compressRatio()) * recorder->maxRecordTime() * recorder->needPerSecond();
}

bool ZuKeeper::secureKeepSpace() {
    ZuRecorder* recorder = controler ? controler->recorder() : nullptr;
    const double maxRecord = recorder ? recorder->maxRecordTime() : 0.0;
    // Over the keep period: the oldest go until within it. Nothing at all
    // deletable answers NO at once; running out later still checks the space.
    bool deletedAny = false;
    while (totalKeepTime() - double(period) * 86400.0 > maxRecord) {
        if (!deleteOlderKeepFile()) {
            if (!deletedAny)
                return false;
            break;
        }
        deletedAny = true;
    }
    while (!(freeSystemSpace() > needFreeKeepSpace())) {
        if (!deleteOlderKeepFile())
            return false;
    }
    return true;
}

bool ZuKeeper::deleteOlderKeepFile() {
    for (const QString& path : keptFilesIn(keepFolder())) {
        if (!ZuFileLock::isLocked(path) && QFile::remove(path))
            return true;
    }
    return false;
}

// Names.

int ZuKeeper::headerLength() {
    return int(ZuRecorder::headerString().size());
}

bool ZuKeeper::isRecordingName(const QString& name) {
    const QString header = ZuRecorder::headerString();
    return name.size() >= headerLength() + 26 &&
           name.mid(1, headerLength() - 1) == header.mid(1, headerLength() - 1);
}

bool ZuKeeper::isKeepDataFile(const QString& name) {
    return isRecordingName(name) && QFileInfo(name).suffix() != ZuRecorder::fileExtension();
}

int ZuKeeper::twoDigits(const QString& name, int at) {
    // Anything but two digits (a sign, a space) reads as 0.
    const QString pair = name.mid(at, 2);
    if (pair.size() != 2 || !pair[0].isDigit() || !pair[1].isDigit())
        return 0;
    return pair.toInt();
}

int ZuKeeper::totalSecondOfFile(const QString& name) {
    const int h = headerLength();
    int seconds = twoDigits(name, h + 20) - twoDigits(name, h + 13);
    int minutes = twoDigits(name, h + 18) - twoDigits(name, h + 11);
    int hours = twoDigits(name, h + 16) - twoDigits(name, h + 9);
    if (seconds < 0) {
        seconds += 60;
        --minutes;
    }
    if (minutes < 0) {
        minutes += 60;
        --hours;
    }
    // The stop time carries no date: past midnight it is "earlier".
    if (hours < 0)
        hours += 24;
    return hours * 3600 + minutes * 60 + seconds;
}

QStringList ZuKeeper::argumentsFor(const QString& argumentTemplate, const QString& path) {
    static const QString placeholder = QStringLiteral("%@");
    int replacements = 4;
    QStringList result;
    for (const QString& piece : argumentTemplate.split(' ', Qt::SkipEmptyParts)) {
        QString argument;
        qsizetype from = 0;
        for (qsizetype at = piece.indexOf(placeholder); at >= 0 && replacements > 0;
             at = piece.indexOf(placeholder, from), --replacements) {
            argument += piece.mid(from, at - from) + path;
            from = at + placeholder.size();
        }
        result << argument + piece.mid(from);
    }
    return result;
}

// Settings.

void ZuKeeper::setKeepOperation(bool value) {
    keep = value;
    store().setBool(value, "KeepOperation");
    store().synchronize();
}

QString ZuKeeper::keepFolder() const {
    std::lock_guard guard(lock);
    return folder;
}

QString ZuKeeper::defaultKeepFolder() {
    return ZuPaths::expandTilde(QStringLiteral("~/Documents/NightwardenPreserve"));
}

QString ZuKeeper::recordFolder() const {
    return controler && controler->mechanic() ? controler->mechanic()->recordFolder() : QString();
}

QString ZuKeeper::refusalOfKeepFolder(const QString& path) const {
    const QString records = recordFolder();
    if (!isWithinFolder(path, records))
        return {};
    return QStringLiteral("ZuKeeper: the keep folder %1 is the record folder %2 or lies inside "
                          "it; keeping there would delete the recordings it keeps.")
        .arg(path, records);
}

void ZuKeeper::setKeepFolder(const QString& path) {
    QString chosen = path;
    const QString refusal = refusalOfKeepFolder(chosen);
    if (!refusal.isEmpty()) {
        ZuLogEvent::error(refusal);
        chosen = keepFolder().isEmpty() ? defaultKeepFolder() : keepFolder();
    } else if (!QFileInfo(chosen).isDir() && !QDir().mkpath(chosen)) {
        ZuConsole::line(QStringLiteral("Keep folder is changed to default"));
        chosen = defaultKeepFolder();
    }
    if (!refusalOfKeepFolder(chosen).isEmpty() ||
        (!QFileInfo(chosen).isDir() && !QDir().mkpath(chosen))) {
        ZuLogEvent::error(QStringLiteral("ZuKeeper: no keep folder can be used; while keeping is "
                                         "on, no recording is deleted."));
        chosen.clear();
    }
    {
        std::lock_guard guard(lock);
        folder = chosen;
    }
    if (!chosen.isEmpty()) {
        store().setString(chosen, "KeepFileKeepFolder");
        store().synchronize();
    }
    renewListAndControl();
}

void ZuKeeper::setKeepPeriod(int32_t value) {
    period = value;
    store().setInteger(value, "KeepFileKeepPeriod");
    store().synchronize();
}

QString ZuKeeper::commandPath() const {
    std::lock_guard guard(lock);
    return command;
}

void ZuKeeper::setCommandPath(const QString& value) {
    {
        std::lock_guard guard(lock);
        command = value;
    }
    store().setString(value, "CommandPathString");
    store().synchronize();
}

QString ZuKeeper::argumentStr() const {
    std::lock_guard guard(lock);
    return arguments;
}

void ZuKeeper::setArgumentStr(const QString& value) {
    {
        std::lock_guard guard(lock);
        arguments = value;
    }
    store().setString(value, "CommandArgumentString");
    store().synchronize();
}

bool ZuKeeper::monitorCommand() const {
    std::lock_guard guard(lock);
    return monitor;
}

void ZuKeeper::setMonitorCommand(bool value) {
    {
        std::lock_guard guard(lock);
        monitor = value;
    }
    store().setBool(value, "MonitorCommandLine");
    store().synchronize();
}

void ZuKeeper::setCompressRatio(float value) {
    ratio = value;
    store().setFloat(value, "CompressRatio");
    store().synchronize();
}

// The keep tab.

void ZuKeeper::initDataSource() {
    list->initWithDirPath(keepFolder());
}

void ZuKeeper::renewListAndControl() {
    initDataSource();
    totalFilesText.setText(QString::number(list->totalFiles()));
    totalTimeText.setText(list->totalPeriodString());
    totalSizeText.setText(QString::number(list->totalSize(), 'f', 2));
    if (dataView.selectedIndex() >= list->totalFiles())
        dataView.setSelectedIndex(-1);
    if (dataView.selectedIndex() >= 0)
        changeSelectRow();
}

QString ZuKeeper::selectedFilePath() const {
    // No selection names no file (not the keep folder itself).
    const QString name = list->fileNameAtRow(dataView.selectedIndex());
    return name.isEmpty() ? QString() : list->folderPath() + '/' + name;
}

void ZuKeeper::actPlayback() {
    const QString path = selectedFilePath();
    if (path.isEmpty())
        return;
    bool opened = false;
    if (QFileInfo(path).isFile()) {
        // The desktop's application for the file's type, through xdg-open
        // where no window system is at hand.
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            opened = QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        else
            opened = QProcess::startDetached(QStringLiteral("xdg-open"), {path});
    }
    if (!opened)
        ZuAlerts::run({"FileOpenError", "CheckAndRetry", "Understand"});
}

void ZuKeeper::actCopy() {
    const QString path = selectedFilePath();
    if (path.isEmpty())
        return;
    ZuSavePanelRequest request;
    request.title = ZuLocalized::text("ExportFileTitle");
    request.directory = expand;
    request.fileName = QFileInfo(path).fileName();
    const QString target = ZuPanels::runSave(request);
    if (target.isEmpty())
        return;
    QString reason;
    if (!copyFileSafely(path, target, false, &reason)) {
        ZuConsole::line(QStringLiteral("ZuKeeper: cannot export %1: %2").arg(path, reason));
        ZuAlerts::run({"FileCopyError", "CheckAndRetry", "Understand"});
    }
}

void ZuKeeper::actDelete() {
    const QString path = selectedFilePath();
    if (path.isEmpty())
        return;
    if (ZuAlerts::run({"RemoveCaution", "RemoveInfo", "ExecRemove", "Cancel"}) !=
        ZuAlertButton::Default)
        return;
    if (ZuFileLock::isLocked(path) || !QFile::remove(path)) {
        ZuAlerts::run({"FileRemoveError", "CheckAndRetry", "Understand"});
        return;
    }
    renewListAndControl();
}
