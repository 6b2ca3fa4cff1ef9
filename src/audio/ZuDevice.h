#pragma once

#include <cstdint>

// The device roles (record, level, play, monitor) and their sources. Holds the
// source numbers chosen by the user and the rates of the devices in use.
class ZuDevice {
public:
    static void initialize();

    ZuDevice();

    void awakeFromNib();
    // The source setters store their own keys; nothing is left to save here.
    void saveUserDefaults() {}

    int32_t recordSource() const { return recordSourceNumber; }
    int32_t playSource() const { return playSourceNumber; }
    int32_t monitorSource() const { return monitorSourceNumber; }
    bool useHighQuality() const { return highQuality; }
    void setUseHighQuality(bool value);

    // Nominal rate of the record device in use; 0 while there is none.
    double recordSampleRate() const { return recordRate; }
    // Set when no record source existed at start-up.
    bool awakeError() const { return startError; }

private:
    int32_t recordSourceNumber = 0;
    int32_t playSourceNumber = 0;
    int32_t monitorSourceNumber = 0;
    bool highQuality = false;
    double recordRate = 0.0;
    bool startError = false;
};
