#include "platform/ZuHeadlessAnswerer.h"

#include "platform/ZuLocalized.h"
#include "platform/ZuLogEvent.h"

#include "platform/ZuConsole.h"

QString ZuHeadlessAnswerer::describe(const ZuAlert& alert) {
    QString text = QStringLiteral("Alert: ") + alert.message();
    const QString informative = alert.informative();
    if (!informative.isEmpty())
        text += QStringLiteral(" ") + informative;
    if (!alert.defaultKey.isEmpty())
        text += QStringLiteral(" [") + ZuLocalized::text(alert.defaultKey) + QStringLiteral("]");
    return text;
}

ZuAlertButton ZuHeadlessAnswerer::runModal(const ZuAlert& alert) {
    show(alert);
    return ZuAlertButton::Default;
}

void ZuHeadlessAnswerer::show(const ZuAlert& alert) {
    const QString text = describe(alert);
    ZuConsole::line(text);
    ZuLogEvent::post(ZuLogEvent::someReportHappen, text);
}

QStringList ZuHeadlessAnswerer::runOpen(const ZuOpenPanelRequest& request) {
    ZuConsole::line(
        QStringLiteral("No window for the open panel \"%1\": cancelled.").arg(request.title));
    return {};
}

QString ZuHeadlessAnswerer::runSave(const ZuSavePanelRequest& request) {
    ZuConsole::line(
        QStringLiteral("No window for the save panel \"%1\": cancelled.").arg(request.title));
    return {};
}
