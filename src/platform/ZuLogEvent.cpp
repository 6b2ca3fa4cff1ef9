#include "platform/ZuLogEvent.h"

#include "platform/ZuConsole.h"
#include "platform/ZuNotificationCenter.h"

void ZuLogEvent::post(const QString& event) {
    ZuNotificationCenter::defaultCenter().post(notificationName, event);
}

void ZuLogEvent::post(const QString& event, const QString& message) {
    ZuNotificationCenter::defaultCenter().post(notificationName, event, {{messageKey, message}});
}

void ZuLogEvent::error(const QString& message) {
    ZuConsole::line(message);
    post(someErrorHappen, message);
}

void ZuLogEvent::report(const QString& message) {
    ZuConsole::line(message);
    post(someReportHappen, message);
}
