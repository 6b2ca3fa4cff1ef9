#include "platform/ZuPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ZuPaths::expandTilde(const QString& path) {
    if (path != "~" && !path.startsWith("~/"))
        return path;
    const QString rest = path.mid(1);
    const struct {
        const char* name;
        QStandardPaths::StandardLocation location;
    } userFolders[] = {{"/Documents", QStandardPaths::DocumentsLocation},
                       {"/Desktop", QStandardPaths::DesktopLocation},
                       {"/DeskTop", QStandardPaths::DesktopLocation}};
    for (const auto& folder : userFolders) {
        const QString name = QString::fromLatin1(folder.name);
        if (rest == name || rest.startsWith(name + "/"))
            return QStandardPaths::writableLocation(folder.location) + rest.mid(name.size());
    }
    return QDir::homePath() + rest;
}

namespace {
QString& soundFolderOfThisRun() {
    static QString folder;
    return folder;
}
} // namespace

void ZuPaths::setSystemSoundFolder(const QString& folder) {
    soundFolderOfThisRun() = folder;
}

QString ZuPaths::systemSoundFolder() {
    if (!soundFolderOfThisRun().isEmpty())
        return soundFolderOfThisRun();
    // Installed data first; a build run from the source tree uses the sources.
    const QString installed = QStringLiteral(NW_DATADIR "/sounds");
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(NW_SOURCE_RESOURCES "/sounds");
}

QString ZuPaths::sampleSoundName() {
    return QStringLiteral("Blow.aiff");
}

QString ZuPaths::helperFolder() {
    const QString installed = QStringLiteral(NW_LIBEXECDIR);
    if (QFileInfo(installed + "/nightwarden-authtool").isExecutable())
        return installed;
    const QString beside = QCoreApplication::applicationDirPath();
    if (QFileInfo(beside + "/nightwarden-authtool").isExecutable())
        return beside;
    return QStringLiteral(NW_BUILD_BINDIR "/app");
}
