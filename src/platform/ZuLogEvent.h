#pragma once

#include <QString>

// Posting log-book events: notification "ZuLogEventNotification" with the event
// name as its object and, for errors and reports, the message under
// "ErrorMessageString". Errors and reports also write their console line.
class ZuLogEvent {
public:
    static inline const QString notificationName = QStringLiteral("ZuLogEventNotification");
    static inline const QString messageKey = QStringLiteral("ErrorMessageString");
    static inline const QString someErrorHappen = QStringLiteral("SomeErrorHappen");
    static inline const QString someReportHappen = QStringLiteral("SomeReportHappen");

    static void post(const QString& event);
    static void post(const QString& event, const QString& message);
    static void error(const QString& message);
    static void report(const QString& message);
};
