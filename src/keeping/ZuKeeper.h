#pragma once

#include <QString>
#include <atomic>

class ZuControler;

// Data keeping: copies of recordings about to be deleted go to the keep folder
// to be compressed there. Its setters store their keys at once.
class ZuKeeper {
public:
    static void initialize();

    ZuKeeper();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void mainTabSelected() {}
    void mainTabUnselected() {}

    // Keeps a copy of a recording the caller is about to delete; nothing while
    // keeping is off.
    void compressDataFile(const QString& path);
    bool isCompressing() const { return compressing.load(); }
    // The compression worker holds this on while it runs.
    void setCompressing(bool value) { compressing.store(value); }
    // Bytes in the keep folder, subfolders included.
    double totalDataSize() const;

    bool keepOperation() const { return keep; }
    void setKeepOperation(bool value);
    QString keepFolder() const { return folder; }
    void setKeepFolder(const QString& path);
    int32_t keepPeriod() const { return period; }
    void setKeepPeriod(int32_t value);
    QString commandPath() const { return command; }
    void setCommandPath(const QString& value);
    QString argumentStr() const { return arguments; }
    void setArgumentStr(const QString& value);
    bool monitorCommand() const { return monitor; }
    void setMonitorCommand(bool value);
    float compressRatio() const { return ratio; }
    void setCompressRatio(float value);
    QString expandFolder() const { return expand; }

private:
    ZuControler* controler = nullptr;
    bool keep = false;
    QString folder;
    int32_t period = 10;
    QString command;
    QString arguments;
    bool monitor = true;
    float ratio = 0.66f;
    QString expand;
    std::atomic<bool> compressing{false};
};
