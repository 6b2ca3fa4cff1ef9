#pragma once

#include "logbook/ZuDutyLogValues.h"

#include <QDateTime>
#include <QString>
#include <cstdint>

// The texts of the log book: time stamps, periods, value words and every block
// it appends, built from dates and values alone so that each block's exact
// bytes can be checked.
class ZuDutyLogText {
public:
    // "2007.3.5 09:04:02": year, month and day without leading zeros, in local time.
    static QString dateString(const QDateTime& date);
    // Calendar difference of the later date since the earlier one:
    // "1days+03:15'07"" with the years, months and days parts only when not zero.
    static QString periodStringFrom(const QDateTime& from, const QDateTime& to);
    // "100:05'09"": hours not limited to two digits.
    static QString periodStringFromSeconds(double seconds);
    static QString channelsString(int32_t channels);
    static QString recordModeString(int32_t mode);
    static QString methodString(int32_t method);
    static int32_t markerPeriodTime(int32_t option);
    static QString switchString(bool on);

    // The settings store's date form "2007-03-05 14:02:11 +0900", both ways.
    static QString dateDescription(const QDateTime& date);
    // Invalid when the text is not in that form.
    static QDateTime dateFromDescription(const QString& text);

    // The two lines that open a duty after an unclean end: the trouble date
    // ("CRASH TROUBLE" after a rescued recording, else "TROUBLE STOP"), then
    // the restart at the duty's start.
    static QString troubleLines(const QDateTime& troubleDate, bool crash,
                                const QDateTime& dutyStart);
    // The first line of a new log book.
    static QString titleLine();
    // The duty officer, the start and the recording settings.
    static QString dutyStartBlock(const QString& officer, const QDateTime& dutyStart,
                                  const ZuDutyLogValues& values);
    static QString recordingStartBlock(int32_t serialNum, const ZuDutyLogValues& values);
    // The record time runs from start to the values' stop date.
    static QString recordingStopBlock(int32_t serialNum, const QDateTime& start,
                                      const ZuDutyLogValues& values);
    static QString dutyFinishBlock(const QDateTime& now, const QDateTime& dutyStart);
    // An error or report message under its header key.
    static QString messageBlock(const QDateTime& now, const QString& headerKey,
                                const QString& message);
    // A setting change or a file operation; empty for any other event name.
    static QString eventBlock(const QString& event, const QDateTime& now,
                              const ZuDutyLogValues& values);

private:
    static QString settingsLines(const ZuDutyLogValues& values);
    static QString reserveSuffix(const ZuDutyLogValues& values);
};
