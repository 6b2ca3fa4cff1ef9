#pragma once

#include <QString>
#include <cstdint>

class ZuControler;

// The record folder and the sound file format.
class ZuMechanic {
public:
    static void initialize();

    ZuMechanic();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();

    QString recordFolder() const { return folder; }
    void setDirPath(const QString& path);
    // Removes the hidden recordings (".Nightwarden_…", not pictures) in a folder tree.
    void deleteDotFileInFolder(const QString& folder);
    static bool isImageFile(const QString& name);

    double maxRecordTime() const { return maxRecord; }
    void setMaxRecordTime(double seconds) { maxRecord = seconds; }
    double maxTotalTime() const { return maxTotal; }
    void setMaxTotalTime(double seconds) { maxTotal = seconds; }

private:
    ZuControler* controler = nullptr;
    QString folder;
    int32_t soundForm = 0;
    double maxRecord = 3600.0;
    double maxTotal = 86400.0;
    bool adviceOperation = false;
    double adviceDataSize = 4700.0;
};
