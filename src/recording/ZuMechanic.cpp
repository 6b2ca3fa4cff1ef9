#include "recording/ZuMechanic.h"

#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuConsole.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "playback/ZuPlayList.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

ZuSettings& store() {
    return ZuSettings::standard();
}

const QString defaultFolderSetting = QStringLiteral("~/Documents/NightwardenRecord");
const QString soundHeader = QStringLiteral("Nightwarden_");
const QString hiddenHeader = QStringLiteral(".Nightwarden_");
constexpr double megabyte = 1048576.0;
// Room kept free beyond one file of the longest length.
constexpr double spareBytes = 41984.0;

QString extensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

void putBig32(QFile& file, qint64 offset, uint32_t value, bool* ok) {
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    *ok = *ok && file.seek(offset) && file.write(bytes, 4) == 4;
}

// Opens a file of the record folder without following a link; none for
// anything but a regular file, which is then left untouched.
std::unique_ptr<QFile> openRegular(const QString& path, int flags, QIODevice::OpenMode mode) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

} // namespace

void ZuMechanic::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        store().registerDefaults({
            {"DirectoryPath", defaultFolderSetting},
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

ZuMechanic::~ZuMechanic() = default;

void ZuMechanic::awakeFromNib() {
    form = int32_t(store().integerForKey("SoundFileForm"));
    maxRecord = store().floatForKey("MaxRecordTime");
    maxTotal = store().floatForKey("MaxTotalTime");
    advice = store().boolForKey("BackupAdviceOperation");
    adviceSize = store().floatForKey("BackupAdviceDataSize");
    setDirPath(ZuPaths::expandTilde(store().stringForKey("DirectoryPath")));
    deleteDotFileInFolder(folder);
}

void ZuMechanic::saveUserDefaults() {
    store().setString(folder, "DirectoryPath");
    store().setInteger(form, "SoundFileForm");
    store().setFloat(float(maxRecord), "MaxRecordTime");
    store().setFloat(float(maxTotal), "MaxTotalTime");
    store().synchronize();
}

QString ZuMechanic::defaultRecordFolder() {
    return ZuPaths::expandTilde(defaultFolderSetting);
}

void ZuMechanic::setDirPath(const QString& path) {
    // A relative path (from the command line) is resolved once, so that it
    // keeps its meaning whatever the working folder later is.
    QString used = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // An existing folder is kept even when it cannot be written just now (a
    // read-only mount, a permission change): the writes report that, and the
    // user's choice is not replaced for good by a passing condition.
    const auto isFolder = [](const QString& candidate) {
        return QFileInfo(candidate).isDir();
    };
    if (used.isEmpty() || !(isFolder(used) || (QDir().mkpath(used) && isFolder(used)))) {
        ZuConsole::line(QStringLiteral("Data folder is changed to default"));
        used = defaultRecordFolder();
        if (!QDir().mkpath(used) || !isFolder(used))
            ZuLogEvent::error(
                QStringLiteral("ZuMechanic: cannot use the record folder %1.").arg(used));
    }
    folder = used;
    store().setString(folder, "DirectoryPath");
    store().synchronize();
    if (controler && controler->player())
        controler->player()->renewListAndControl();
}

void ZuMechanic::setAdviceOperation(bool on) {
    advice = on;
    store().setBool(on, "BackupAdviceOperation");
    store().synchronize();
}

void ZuMechanic::setAdviceDataSize(double megabytes) {
    adviceSize = megabytes;
    store().setFloat(float(megabytes), "BackupAdviceDataSize");
    store().synchronize();
}

QString ZuMechanic::extensionName() const {
    return form == 0 ? QStringLiteral("aif") : QString();
}

bool ZuMechanic::isSoundFile(const QString& name) {
    return name.size() == 39 && name.mid(1, 12) == soundHeader &&
           extensionOf(name) == QLatin1String("aif");
}

bool ZuMechanic::isImageFile(const QString& name) {
    return name.size() >= 13 && name.mid(1, 12) == soundHeader &&
           extensionOf(name) == QLatin1String("tif");
}

bool ZuMechanic::isHidedFile(const QString& name) {
    return name.startsWith(QLatin1Char('.'));
}

QString ZuMechanic::imageFileName(const QString& soundName) {
    const qsizetype dot = soundName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? soundName.left(dot) : soundName;
    return QLatin1Char('.') + stem.mid(1) + QStringLiteral(".tif");
}

QString ZuMechanic::pathOf(const QString& name) const {
    return QFileInfo(name).isAbsolute() ? name : folder + QLatin1Char('/') + name;
}

QString ZuMechanic::temporaryFilePath() const {
    return pathOf(temporaryFileName);
}

QString ZuMechanic::relayFilePath() const {
    return pathOf(relayFileName);
}

void ZuMechanic::deleteDotFileInFolder(const QString& path) {
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (!isImageFile(name) && name.size() > hiddenHeader.size() &&
            name.startsWith(hiddenHeader))
            removeFileAtPath(it.filePath());
    }
}

bool ZuMechanic::isLockedFile(const QString& name) const {
    return ZuFileLock::isLocked(pathOf(name));
}

bool ZuMechanic::lockFile(const QString& name) {
    QString reason;
    if (ZuFileLock::lock(pathOf(name), &reason))
        return true;
    ZuLogEvent::error(QStringLiteral("ZuMechanic: cannot lock file: %1").arg(reason));
    return false;
}

bool ZuMechanic::unlockFile(const QString& name) {
    QString reason;
    if (ZuFileLock::unlock(pathOf(name), &reason))
        return true;
    ZuLogEvent::error(QStringLiteral("ZuMechanic: cannot unlock file: %1").arg(reason));
    return false;
}

bool ZuMechanic::removeFileAtPath(const QString& path) {
    if (ZuFileLock::isLocked(path)) {
        ZuConsole::line(QStringLiteral("ZuMechanic: locked file kept: %1").arg(path));
        return false;
    }
    return QFile::remove(path);
}

bool ZuMechanic::moveFileAtPath(const QString& from, const QString& to) {
    if (ZuFileLock::isLocked(from)) {
        ZuConsole::line(QStringLiteral("ZuMechanic: locked file kept: %1").arg(from));
        return false;
    }
    return QFile::rename(from, to);
}

bool ZuMechanic::deleteImageFile(const QString& soundName) {
    const QString image = pathOf(imageFileName(QFileInfo(soundName).fileName()));
    return QFileInfo::exists(image) && removeFileAtPath(image);
}

std::unique_ptr<ZuAudioFile>
ZuMechanic::createAudioFileWithFormat(const AuStreamBasicDescription& format, const QString& path) {
    formatOutput = AuStreamBasicDescription{};
    formatOutput.mSampleRate = format.mSampleRate;
    formatOutput.mFormatID = kAudioFormatLinearPCM;
    formatOutput.mFormatFlags =
        kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    formatOutput.mBitsPerChannel = 16;
    formatOutput.mChannelsPerFrame = format.mChannelsPerFrame;
    formatOutput.mBytesPerFrame = format.mChannelsPerFrame * 2;
    formatOutput.mBytesPerPacket = formatOutput.mBytesPerFrame;
    formatOutput.mFramesPerPacket = 1;

    const QFileInfo target(path);
    if (!target.absoluteDir().exists()) {
        ZuLogEvent::error(QStringLiteral("ZuMechanic: FSPathMakeRef error."));
        return nullptr;
    }
    if ((target.exists() || target.isSymLink()) && !removeFileAtPath(path)) {
        ZuConsole::line(QStringLiteral("ZuMechanic: cannot replace %1").arg(path));
        ZuLogEvent::error(QStringLiteral("ZuMechanic: audio file create error."));
        return nullptr;
    }
    QString reason;
    auto file = ZuAudioFile::create(path, formatOutput, &reason);
    if (!file) {
        ZuConsole::line(reason);
        ZuLogEvent::error(QStringLiteral("ZuMechanic: audio file create error."));
    }
    return file;
}

std::unique_ptr<ZuAudioFile> ZuMechanic::openAIFFFileWithPath(const QString& path,
                                                              AuStreamBasicDescription* format,
                                                              int64_t* byteCount) {
    std::lock_guard guard(inputLock);
    if (!QFileInfo::exists(path)) {
        ZuConsole::line(QStringLiteral("FSPathMakeRef error."));
        return nullptr;
    }
    QString reason;
    auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read, &reason);
    if (!file) {
        ZuConsole::line(reason);
        ZuLogEvent::error(QStringLiteral("ZuMechanic: audio file open error."));
        return nullptr;
    }
    AuStreamBasicDescription description;
    uint32_t size = sizeof description;
    if (file->getProperty(ZuAudioFile::dataFormatProperty, &size, &description) !=
        ZuAudioFile::Status::NoError) {
        ZuLogEvent::error(QStringLiteral("ZuMechanic: audio file get property1 error."));
        return nullptr;
    }
    int64_t count = 0;
    size = sizeof count;
    if (file->getProperty(ZuAudioFile::audioDataByteCountProperty, &size, &count) !=
        ZuAudioFile::Status::NoError) {
        ZuLogEvent::error(QStringLiteral("ZuMechanic: audio file get property2 error."));
        return nullptr;
    }
    // A caller that takes the values itself (the analyzer's thread) leaves the
    // shared ones to the main thread's own last open.
    if (!format && !byteCount) {
        formatInput = description;
        inputBytes = count;
    }
    if (format)
        *format = description;
    if (byteCount)
        *byteCount = count;
    return file;
}

AuStreamBasicDescription ZuMechanic::audioFormatInput() const {
    std::lock_guard guard(inputLock);
    return formatInput;
}

int64_t ZuMechanic::numDatas() const {
    std::lock_guard guard(inputLock);
    return inputBytes;
}

int64_t ZuMechanic::audioDataByteCount(const ZuAudioFile& file) {
    return file.audioDataByteCount();
}

bool ZuMechanic::setAIFFFileHeader(const QString& path, int32_t channels) {
    QFile file(path);
    const qint64 size = file.size();
    if (channels <= 0 || size < headerLength) {
        ZuLogEvent::error(
            QStringLiteral("ZuMechanic: no sound file header to repair in %1.").arg(path));
        return false;
    }
    if (size > ZuAudioFile::maxFileSize) {
        ZuLogEvent::error(
            QStringLiteral("ZuMechanic: %1 is too large for its AIFF header (%2 bytes).")
                .arg(path)
                .arg(size));
        return false;
    }
    const auto opened = openRegular(path, O_RDWR, QIODevice::ReadWrite);
    if (!opened) {
        ZuLogEvent::error(
            QStringLiteral("ZuMechanic: cannot open %1 to repair its header.").arg(path));
        return false;
    }
    bool ok = true;
    putBig32(*opened, 4, uint32_t(size - 8), &ok);
    putBig32(*opened, 22, uint32_t((size - headerLength) / 2 / channels), &ok);
    putBig32(*opened, 4084, uint32_t(size - 4088), &ok);
    if (!ok)
        ZuLogEvent::error(QStringLiteral("ZuMechanic: cannot write the header of %1.").arg(path));
    return ok;
}

std::unique_ptr<QFile> ZuMechanic::openTempFile() {
    return openRegular(temporaryFilePath(), O_RDWR, QIODevice::ReadWrite);
}

std::unique_ptr<QFile> ZuMechanic::createRelayFile() {
    const QString path = relayFilePath();
    const QFileInfo old(path);
    if ((old.exists() || old.isSymLink()) && !removeFileAtPath(path))
        return nullptr;
    return openRegular(path, O_WRONLY | O_CREAT | O_EXCL, QIODevice::WriteOnly);
}

std::unique_ptr<QFile> ZuMechanic::openRelayFile() {
    return openRegular(relayFilePath(), O_RDONLY, QIODevice::ReadOnly);
}

bool ZuMechanic::deleteRelayFile() {
    return removeFileAtPath(relayFilePath());
}

ZuKeeper* ZuMechanic::keeper() const {
    return controler ? controler->keeper() : nullptr;
}

bool ZuMechanic::makeSecureRecordSpace() {
    adviceIndicator.setState(0);
    if (advice) {
        ZuKeeper* keep = keeper();
        const bool keeping = keep && keep->keepOperation();
        const QString path = keeping ? keep->keepFolder() : folder;
        const double total = keeping ? keep->totalDataSize() : totalDataSize();
        if (total > adviceSize * megabyte) {
            moveBackupDataWithPath(path);
            adviceAlertWithPath(backupFolderFor(path), total / megabyte);
            adviceIndicator.setState(1);
        }
    }
    return secureRecordSpace();
}

bool ZuMechanic::secureRecordSpace() {
    // Over the total time: delete the oldest until within it. Nothing at all
    // deletable answers NO at once; running out later still checks the space.
    bool deletedAny = false;
    while (recordTotalTime() - maxTotal > maxRecord) {
        if (!deleteOlderFile()) {
            if (!deletedAny)
                return false;
            break;
        }
        deletedAny = true;
    }
    // For free space, a recording goes only while deleting can make the room:
    // on a volume that cannot hold one recording of the longest length even
    // without the recordings, they are kept and the recording takes what fits.
    while (!(freeSystemSpace() > needFreeSpace())) {
        const double atMost = freeSystemSpace() + deletableBytes();
        if (!(atMost > needFreeSpace())) {
            warnVolumeTooSmall(needFreeSpace(), atMost);
            return false;
        }
        if (!deleteOlderFile())
            return false;
    }
    volumeTooSmallSaid = false;
    return true;
}

void ZuMechanic::warnVolumeTooSmall(double need, double atMost) {
    if (volumeTooSmallSaid)
        return;
    volumeTooSmallSaid = true;
    const QString figures =
        QStringLiteral(
            "the volume of the record folder %1 cannot hold one recording of the longest "
            "length (%2 MB), not even without the recordings in it (%3 MB at most); "
            "the recordings are kept and recording goes on as far as it fits.")
            .arg(folder, QString::number(need / megabyte, 'f', 1),
                 QString::number(atMost / megabyte, 'f', 1));
    ZuLogEvent::error(QStringLiteral("ZuMechanic: ") + figures);
    ZuAlert alert(QStringLiteral("VolumeTooSmall"), {}, QStringLiteral("Understand"));
    alert.informativeText = figures;
    ZuAlerts::show(alert);
}

QStringList ZuMechanic::deletablePaths() const {
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    std::sort(names.begin(), names.end());
    const QString progress = QFileInfo(store().stringForKey("ProgressSoundFileName")).fileName();
    QStringList paths;
    for (const QString& name : names) {
        const QString path = pathOf(name);
        // The progress file is only another name of the recording in progress.
        if (isSoundFile(name) && name != progress && !ZuFileLock::isLocked(path))
            paths.append(path);
    }
    return paths;
}

double ZuMechanic::deletableBytes() const {
    double total = 0.0;
    for (const QString& path : deletablePaths())
        total += double(QFileInfo(path).size());
    return total;
}

bool ZuMechanic::deleteOlderFile() {
    for (const QString& path : deletablePaths()) {
        // A file the keeper could not copy stays; one already gone is deleted.
        if (ZuKeeper* keep = keeper(); keep && !keep->compressDataFile(path))
            continue;
        if (removeFileAtPath(path) || !QFileInfo::exists(path)) {
            deleteImageFile(QFileInfo(path).fileName());
            return true;
        }
    }
    return false;
}

double ZuMechanic::recordTotalTime() {
    if (controler && controler->player()) {
        controler->player()->initDataSource();
        return controler->player()->dataSource()->totalTimeExceptLocked();
    }
    ZuPlayList list;
    return list.initWithDirPath(folder).totalTimeExceptLocked();
}

double ZuMechanic::totalDataSize() const {
    return folderSizeWithPath(folder);
}

double ZuMechanic::folderSizeWithPath(const QString& path) {
    // Every entry counts, the subfolders' own entries too.
    double total = 0.0;
    QDirIterator it(path,
                    QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += double(it.fileInfo().size());
    }
    return total;
}

double ZuMechanic::maxRecordOneFor(double rate, int32_t channels, double maxRecordTime) {
    return rate * channels * 2.0 * maxRecordTime;
}

double ZuMechanic::needFreeSpaceFor(double rate, int32_t channels, double maxRecordTime) {
    return maxRecordOneFor(rate, channels, maxRecordTime) + spareBytes;
}

double ZuMechanic::maxRecordOne() const {
    ZuRecorder* recorder = controler ? controler->recorder() : nullptr;
    if (!recorder)
        return 0.0;
    return maxRecordOneFor(recorder->recordingRate(), recorder->recordingChannels(), maxRecord);
}

double ZuMechanic::needFreeSpace() const {
    return maxRecordOne() + spareBytes;
}

double ZuMechanic::freeSystemSpace() const {
    if (freeSpaceProbe)
        return freeSpaceProbe(folder);
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return 0.0;
    return double(info.f_bavail) * double(info.f_frsize);
}

QString ZuMechanic::backupFolderFor(const QString& path) {
    return QFileInfo(QDir::cleanPath(path)).absolutePath() + QStringLiteral("/NightwardenBackup");
}

bool ZuMechanic::belongsToRecordingInProgress(const QString& path) const {
    const QString name = QFileInfo(path).fileName();
    if (name == temporaryFileName || name == relayFileName || name == logBookFileName)
        return true;
    const QString progress = store().stringForKey("ProgressSoundFileName");
    return !progress.isEmpty() && QFileInfo(progress) == QFileInfo(path);
}

double ZuMechanic::moveBackupDataWithPath(const QString& path) {
    const QString backup = backupFolderFor(path);
    QDir dir(backup);
    // An earlier batch still waiting to be backed up is kept under its date.
    if (dir.exists() &&
        !dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString earlier =
            backup + QDateTime::currentDateTime().toString(QStringLiteral("_yyyyMMdd_HHmmss"));
        if (!QDir().rename(backup, earlier)) {
            ZuLogEvent::error(
                QStringLiteral("ZuMechanic: cannot set aside the earlier backup batch."));
            return 0.0;
        }
        ZuConsole::line(QStringLiteral("Earlier backup batch moved to %1").arg(earlier));
    }
    if (!QDir().mkpath(backup)) {
        ZuLogEvent::error(QStringLiteral("ZuMechanic: cannot create the backup folder."));
        return 0.0;
    }
    QStringList entries;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(it.next());
    std::sort(entries.begin(), entries.end());
    const double limit = adviceSize * megabyte;
    double sum = 0.0;
    for (const QString& entry : entries) {
        if (belongsToRecordingInProgress(entry) || ZuFileLock::isLocked(entry))
            continue;
        const double size = double(QFileInfo(entry).size());
        if (sum + size > limit)
            return sum;
        if (moveFileAtPath(entry, backup + QLatin1Char('/') + QFileInfo(entry).fileName()))
            sum += size;
    }
    return sum;
}

void ZuMechanic::adviceAlertWithPath(const QString& path, double total) {
    adviceSizeText.setText(QString::number(adviceSize, 'f', 0));
    advicePathText.setText(path);
    adviceTotalText.setText(QString::number(total, 'f', 1));
    ZuAlert alert;
    alert.messageKey = QStringLiteral("BackupAdvice");
    alert.defaultKey = QStringLiteral("Understand");
    alert.informativeText = QStringLiteral("%1 MB (advice size %2 MB) — %3")
                                .arg(adviceTotalText.text(), adviceSizeText.text(), path);
    ZuAlerts::show(alert);
}
