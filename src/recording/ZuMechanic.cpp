#include "recording/ZuMechanic.h"

#include "platform/ZuConsole.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <mutex>

namespace {
ZuSettings& store() {
    return ZuSettings::standard();
}
const QString defaultFolder = QStringLiteral("~/Documents/NightwardenRecord");
} // namespace

void ZuMechanic::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({
            {"DirectoryPath", defaultFolder},
            {"SoundFileForm", 0},
            {"MaxRecordTime", 3600},
            {"MaxTotalTime", 86400},
            {"BackupAdviceOperation", false},
            {"BackupAdviceDataSize", 4700.0},
        });
    });
}

ZuMechanic::ZuMechanic() {
    initialize();
}

void ZuMechanic::awakeFromNib() {
    soundForm = static_cast<int32_t>(store().integerForKey("SoundFileForm"));
    maxRecord = store().floatForKey("MaxRecordTime");
    maxTotal = store().floatForKey("MaxTotalTime");
    adviceOperation = store().boolForKey("BackupAdviceOperation");
    adviceDataSize = store().floatForKey("BackupAdviceDataSize");
    setDirPath(ZuPaths::expandTilde(store().stringForKey("DirectoryPath")));
    deleteDotFileInFolder(folder);
}

void ZuMechanic::saveUserDefaults() {
    store().setString(folder, "DirectoryPath");
    store().setInteger(soundForm, "SoundFileForm");
    store().setFloat(static_cast<float>(maxRecord), "MaxRecordTime");
    store().setFloat(static_cast<float>(maxTotal), "MaxTotalTime");
    store().synchronize();
}

void ZuMechanic::setDirPath(const QString& path) {
    QString used = path;
    const QFileInfo info(path);
    if (!info.isDir() && !QDir().mkpath(path)) {
        ZuConsole::line(QStringLiteral("Data folder is changed to default"));
        used = ZuPaths::expandTilde(defaultFolder);
        QDir().mkpath(used);
    }
    folder = used;
    store().setString(folder, "DirectoryPath");
    store().synchronize();
}

bool ZuMechanic::isImageFile(const QString& name) {
    return name.endsWith(QStringLiteral(".tif"));
}

void ZuMechanic::deleteDotFileInFolder(const QString& path) {
    static const QString hiddenHeader = QStringLiteral(".Nightwarden_");
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (!isImageFile(name) && name.size() > hiddenHeader.size() &&
            name.startsWith(hiddenHeader))
            QFile::remove(it.filePath());
    }
}
