#pragma once

#include "platform/ZuControl.h"
#include "platform/hal/AuStreamBasicDescription.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class ZuAudioFile;
class ZuControler;
class ZuKeeper;

// The record folder and the sound file format: chooses the folder, creates,
// opens and repairs the AIFF files, locks recordings, removes hidden leftovers,
// and before each recording makes room by handing the oldest recordings to the
// keeper and deleting them. No path here deletes or moves a locked file.
class ZuMechanic {
public:
    static void initialize();

    ZuMechanic();
    ~ZuMechanic();
    ZuMechanic(const ZuMechanic&) = delete;
    ZuMechanic& operator=(const ZuMechanic&) = delete;

    void setControler(ZuControler* owner) { controler = owner; }
    void awakeFromNib();
    void saveUserDefaults();

    // Folder.
    QString recordFolder() const { return folder; }
    void setDirPath(const QString& path);
    static QString defaultRecordFolder();
    int32_t soundForm() const { return form; }
    double maxRecordTime() const { return maxRecord; }
    void setMaxRecordTime(double seconds) { maxRecord = seconds; }
    double maxTotalTime() const { return maxTotal; }
    void setMaxTotalTime(double seconds) { maxTotal = seconds; }
    bool adviceOperation() const { return advice; }
    void setAdviceOperation(bool on);
    double adviceDataSize() const { return adviceSize; }
    void setAdviceDataSize(double megabytes);

    // Names.
    QString extensionName() const;
    static bool isSoundFile(const QString& name);
    static bool isImageFile(const QString& name);
    static bool isHidedFile(const QString& name);
    // The waveform picture's name of a recording: "." + the name from its
    // second character, with the extension "tif".
    static QString imageFileName(const QString& soundName);
    QString temporaryFilePath() const;
    QString relayFilePath() const;
    void deleteDotFileInFolder(const QString& path);
    // Gives every recording of the record folder the name form of the hiding
    // switch ("." or "_" first), one by one, keeping locks. A name taken
    // under the other form is never replaced. Answers (and reports) the
    // recordings that keep their name; the player then renews its list.
    QStringList changeHiddenSoundFiles(bool hide);

    // Locks; a name is taken in the record folder, an absolute path as is.
    bool isLockedFile(const QString& name) const;
    bool lockFile(const QString& name);
    bool unlockFile(const QString& name);
    // Removes or moves a file unless it is locked (which is reported).
    bool removeFileAtPath(const QString& path);
    bool moveFileAtPath(const QString& from, const QString& to);
    // Removes the waveform picture of a recording in the record folder.
    bool deleteImageFile(const QString& soundName);

    // Sound files.
    std::unique_ptr<ZuAudioFile> createAudioFileWithFormat(const AuStreamBasicDescription& format,
                                                           const QString& path);
    // Opens read-only. Without out-parameters the file's format and sound byte
    // count are kept in audioFormatInput/numDatas; with either, only the
    // out-parameters receive them and the kept values stay. The analyzer's
    // thread calls this too, and takes the values through the out-parameters.
    std::unique_ptr<ZuAudioFile> openAIFFFileWithPath(const QString& path,
                                                      AuStreamBasicDescription* format = nullptr,
                                                      int64_t* byteCount = nullptr);
    AuStreamBasicDescription audioFormatInput() const;
    int64_t numDatas() const;
    AuStreamBasicDescription audioFormatOutput() const { return formatOutput; }
    static int64_t audioDataByteCount(const ZuAudioFile& file);
    // Rewrites the three size fields for the file's size. Refused (and
    // reported) for files the header cannot describe: shorter than the
    // header area, or too large for 32-bit fields.
    bool setAIFFFileHeader(const QString& path, int32_t channels);

    // The temporary and relay files of the recording in progress.
    std::unique_ptr<QFile> openTempFile();
    std::unique_ptr<QFile> createRelayFile();
    std::unique_ptr<QFile> openRelayFile();
    bool deleteRelayFile();

    // Room.
    bool makeSecureRecordSpace();
    bool secureRecordSpace();
    bool deleteOlderFile();
    double recordTotalTime();
    double totalDataSize() const;
    static double folderSizeWithPath(const QString& path);
    double needFreeSpace() const;
    double maxRecordOne() const;
    // The bytes of one file of the longest length, and the free space a start
    // needs, for a recording rate and channel count.
    static double maxRecordOneFor(double rate, int32_t channels, double maxRecordTime);
    static double needFreeSpaceFor(double rate, int32_t channels, double maxRecordTime);
    double freeSystemSpace() const;
    // Where the free space of the record folder's volume comes from; the
    // volume itself (statvfs) when none is set.
    using FreeSpaceProbe = std::function<double(const QString& folder)>;
    void setFreeSpaceProbe(FreeSpaceProbe probe) { freeSpaceProbe = std::move(probe); }
    // Moves the oldest entries of a folder, up to the advice size, into the
    // folder "NightwardenBackup" beside it; answers the bytes moved.
    double moveBackupDataWithPath(const QString& path);
    void adviceAlertWithPath(const QString& path, double total);
    static QString backupFolderFor(const QString& path);

    static inline const QString temporaryFileName = QStringLiteral(".NightwardenTempFile");
    static inline const QString relayFileName = QStringLiteral(".NightwardenRelayFile");
    static inline const QString logBookFileName = QStringLiteral("NightwardenLog.txt");
    static constexpr int64_t headerLength = 4096;

    ZuControl adviceSizeText{"adviceSizeText"};
    ZuControl advicePathText{"advicePathText"};
    ZuControl adviceTotalText{"adviceTotalText"};
    ZuControl adviceIndicator{"adviceIndicator"};

private:
    QString pathOf(const QString& name) const;
    ZuKeeper* keeper() const;
    // Files of the recording in progress, which the backup batch leaves alone.
    bool belongsToRecordingInProgress(const QString& path) const;
    // The recordings deleteOlderFile may take, oldest first.
    QStringList deletablePaths() const;
    double deletableBytes() const;
    void warnVolumeTooSmall(double need, double atMost);

    ZuControler* controler = nullptr;
    QString folder;
    int32_t form = 0;
    double maxRecord = 3600.0;
    double maxTotal = 86400.0;
    bool advice = false;
    double adviceSize = 4700.0;
    AuStreamBasicDescription formatOutput;
    mutable std::mutex inputLock;
    AuStreamBasicDescription formatInput;
    int64_t inputBytes = 0;
    FreeSpaceProbe freeSpaceProbe;
    // The warning that the volume cannot hold one recording is given once,
    // until there is room again.
    bool volumeTooSmallSaid = false;
};
