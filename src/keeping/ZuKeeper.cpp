#include "keeping/ZuKeeper.h"

#include "platform/ZuLogEvent.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "recording/ZuMechanic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <mutex>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
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

ZuKeeper::ZuKeeper() {
    initialize();
}

void ZuKeeper::awakeFromNib() {
    compressing = false;
    keep = store().boolForKey("KeepOperation");
    period = static_cast<int32_t>(store().integerForKey("KeepFileKeepPeriod"));
    folder = ZuPaths::expandTilde(store().stringForKey("KeepFileKeepFolder"));
    QDir().mkpath(folder);
    command = store().stringForKey("CommandPathString");
    arguments = store().stringForKey("CommandArgumentString");
    monitor = store().boolForKey("MonitorCommandLine");
    ratio = store().floatForKey("CompressRatio");
    expand = ZuPaths::expandTilde(store().stringForKey("KeepFileExpandFolder"));
    store().setString(store().stringForKey("SampleDataFilePath"), "SampleDataFilePath");
    store().setString(store().stringForKey("SampleDataFileName"), "SampleDataFileName");
    store().synchronize();
}

void ZuKeeper::compressDataFile(const QString& path) {
    if (!keep)
        return;
    const QString copy = folder + "/" + QFileInfo(path).fileName();
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        ZuLogEvent::error(QStringLiteral("ZuKeeper: cannot copy %1 to the keep folder.").arg(path));
}

double ZuKeeper::totalDataSize() const {
    return ZuMechanic::folderSizeWithPath(folder);
}

void ZuKeeper::setKeepOperation(bool value) {
    keep = value;
    store().setBool(value, "KeepOperation");
    store().synchronize();
}

void ZuKeeper::setKeepFolder(const QString& path) {
    folder = path;
    QDir().mkpath(folder);
    store().setString(path, "KeepFileKeepFolder");
    store().synchronize();
}

void ZuKeeper::setKeepPeriod(int32_t value) {
    period = value;
    store().setInteger(value, "KeepFileKeepPeriod");
    store().synchronize();
}

void ZuKeeper::setCommandPath(const QString& value) {
    command = value;
    store().setString(value, "CommandPathString");
    store().synchronize();
}

void ZuKeeper::setArgumentStr(const QString& value) {
    arguments = value;
    store().setString(value, "CommandArgumentString");
    store().synchronize();
}

void ZuKeeper::setMonitorCommand(bool value) {
    monitor = value;
    store().setBool(value, "MonitorCommandLine");
    store().synchronize();
}

void ZuKeeper::setCompressRatio(float value) {
    ratio = value;
    store().setFloat(value, "CompressRatio");
    store().synchronize();
}
