#pragma once

#include <QString>
#include <QVariantList>
#include <cstdint>
#include <memory>

// One daily reservation: a time window with its own record mode, rate number,
// channels and source, optionally limited to a month, a day and a weekday.
// Its stored form is an 11-item value array.
class ZuReserverElement {
public:
    ZuReserverElement();
    explicit ZuReserverElement(const QVariantList& valueArray);

    QVariantList valueArray() const;
    std::unique_ptr<ZuReserverElement> clone() const;

    QString name() const { return elementName; }
    void setName(const QString& value) { elementName = value; }
    bool enabled() const { return isEnabled; }
    void setEnabled(bool value) { isEnabled = value; }
    int32_t start() const { return startTime; }
    void setStart(int32_t value) { startTime = value; }
    int32_t stop() const { return stopTime; }
    void setStop(int32_t value) { stopTime = value; }
    int32_t mode() const { return recordMode; }
    void setMode(int32_t value) { recordMode = value; }
    int32_t sample() const { return rateNumber; }
    void setSample(int32_t value) { rateNumber = value; }
    int32_t channels() const { return channelCount; }
    void setChannels(int32_t value) { channelCount = value; }
    int32_t device() const { return recordSource; }
    void setDevice(int32_t value) { recordSource = value; }
    int32_t month() const { return monthOfYear; }
    void setMonth(int32_t value) { monthOfYear = value; }
    int32_t day() const { return dayOfMonth; }
    void setDay(int32_t value) { dayOfMonth = value; }
    int32_t week() const { return dayOfWeek; }
    void setWeek(int32_t value) { dayOfWeek = value; }

    int32_t startHour() const { return startTime / 3600; }
    int32_t startMinute() const { return (startTime - startHour() * 3600) / 60; }
    int32_t stopHour() const { return stopTime / 3600; }
    int32_t stopMinute() const { return (stopTime - stopHour() * 3600) / 60; }
    int32_t stopSecond() const { return stopTime - stopHour() * 3600 - stopMinute() * 60; }

    static constexpr int valueCount = 11;
    static constexpr int deviceIndex = 7;

private:
    QString elementName;
    bool isEnabled = false;
    int32_t startTime = 0;
    int32_t stopTime = 0;
    int32_t recordMode = 0;
    int32_t rateNumber = 1;
    int32_t channelCount = 1;
    int32_t recordSource = 0;
    int32_t monthOfYear = 0;
    int32_t dayOfMonth = 0;
    int32_t dayOfWeek = 0;
};
