#pragma once

#include "platform/ZuControl.h"
#include "platform/ZuHandOff.h"
#include "platform/ZuTimer.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>

class QProcess;
class QThread;
class ZuControler;
class ZuKeepList;
struct ZuNotification;

// Data keeping: a recording the mechanic is about to delete is first copied
// into the keep folder and compressed there by an external command, one file
// after another on a worker thread. The keeper limits the keep folder, learns
// the compression ratio and serves the keep tab. Its setters store their keys
// at once.
class ZuKeeper {
public:
    static void initialize();

    ZuKeeper();
    // Ends a running command and drops the queue; the copies not yet
    // compressed stay in the keep folder.
    ~ZuKeeper();
    ZuKeeper(const ZuKeeper&) = delete;
    ZuKeeper& operator=(const ZuKeeper&) = delete;

    void setControler(ZuControler* owner) { controler = owner; }
    void awakeFromNib();

    // Keeps a copy of a recording the caller is about to delete. True when the
    // caller may delete it: keeping is off, or a complete copy is in the keep
    // folder and queued for compression.
    bool compressDataFile(const QString& path);
    bool isCompressing() const { return compressing.load(); }
    // The worker holds this on while it runs; tests set it to stand for one.
    void setCompressing(bool value) { compressing.store(value); }
    // Ends the running command and drops the queue; answers the copies left
    // uncompressed in the keep folder.
    int stopCompressing();

    // Sizes and limits of the keep folder.
    double totalDataSize() const;
    double totalKeepTime() const;
    double totalKeepSpace() const;
    double freeSystemSpace() const;
    double needFreeKeepSpace() const;
    bool secureKeepSpace();
    bool deleteOlderKeepFile();

    // Kept file names.
    static int headerLength();
    static bool isKeepDataFile(const QString& name);
    // The recording-name form with any extension.
    static bool isRecordingName(const QString& name);
    static int totalSecondOfFile(const QString& name);
    // The number of the two digits at a position of a name.
    static int twoDigits(const QString& name, int at);
    // The command's arguments: the template split at single spaces, "%@"
    // replaced by the path (four times at most); the path stays one argument.
    static QStringList argumentsFor(const QString& argumentTemplate, const QString& path);
    // Copies under a temporary name in the target's folder (a hard link when
    // allowed and possible, else a flushed byte copy), then renames it to the
    // target: the target is either complete or absent.
    static bool copyFileSafely(const QString& from, const QString& to, bool allowLink,
                               QString* error);
    // Whether path is folder, lies inside it, or reaches it through a link.
    static bool isWithinFolder(const QString& path, const QString& folder);

    // Settings.
    bool keepOperation() const { return keep; }
    void setKeepOperation(bool value);
    QString keepFolder() const;
    void setKeepFolder(const QString& path);
    int32_t keepPeriod() const { return period; }
    void setKeepPeriod(int32_t value);
    QString commandPath() const;
    void setCommandPath(const QString& value);
    QString argumentStr() const;
    void setArgumentStr(const QString& value);
    bool monitorCommand() const;
    void setMonitorCommand(bool value);
    float compressRatio() const { return ratio.load(); }
    void setCompressRatio(float value);
    QString expandFolder() const { return expand; }
    static QString defaultKeepFolder();

    // The keep tab.
    ZuKeepList* dataSource() const { return list.get(); }
    void mainTabSelected() { renewListAndControl(); }
    void mainTabUnselected() {}
    void renewListAndControl();
    void initDataSource();
    void changeSelectRow() {}
    void actPlayback();
    void actCopy();
    void actDelete();

    // Animated while a command runs.
    ZuControl compressIndicator{"compressIndicator"};
    // The keep table; its selected index is the selected row (-1: none).
    ZuControl dataView{"dataView"};
    ZuControl totalTimeText{"totalTimeText"};
    ZuControl totalSizeText{"totalSizeText"};
    ZuControl totalFilesText{"totalFilesText"};

private:
    struct Job {
        QString copy;
        QString command;
        QString arguments;
        bool monitor = true;
    };
    bool takeJob(Job& job);
    void compressFileThread();
    int execTaskWithPath(const Job& job);
    void compressThreaCompleteHandle(const ZuNotification& note);
    void completeCheckKeepActionHandle(const ZuNotification& note);
    void learnRatio(const QString& copy, double uncompressedSize);
    void commandStarted(const QString& copy);
    void commandEnded();
    // Runs work on the main thread, dropped if the keeper is gone by then.
    void onMainThread(std::function<void()> work);
    QString selectedFilePath() const;
    // Why a folder cannot be the keep folder; empty when it can.
    QString refusalOfKeepFolder(const QString& path) const;
    QString recordFolder() const;

    ZuControler* controler = nullptr;
    bool keep = false;
    int32_t period = 10;
    std::atomic<float> ratio{0.66f};
    QString expand;
    std::unique_ptr<ZuKeepList> list;
    ZuTimer overTimeTimer;

    // Guarded by lock: read by the worker when it takes each file.
    mutable std::mutex lock;
    QString folder;
    QString command;
    QString arguments;
    bool monitor = true;
    QStringList commandQue;
    QProcess* runningTask = nullptr;
    ZuHandOff* runningTaskHandOff = nullptr;
    bool stopping = false;
    bool drainPending = false;

    // The worker's own.
    QString currentCopy;
    double currentSize = 0.0;

    std::atomic<bool> compressing{false};
    std::unique_ptr<QThread> worker;
    // Last, so that work the worker handed over dies first with the keeper.
    ZuHandOff mainHandOff;
};
