#include "platform/ZuScriptedAnswerer.h"

#include "platform/ZuControl.h"

ZuAlertButton ZuScriptedAnswerer::runModal(const ZuAlert& alert) {
    modalAlerts.append(alert);
    if (alertAnswers.empty())
        return ZuAlertButton::Default;
    const ZuAlertButton answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

void ZuScriptedAnswerer::show(const ZuAlert& alert) {
    shownAlerts.append(alert);
}

QStringList ZuScriptedAnswerer::runOpen(const ZuOpenPanelRequest& request) {
    openRequests.append(request);
    if (openAnswers.empty())
        return {};
    QStringList answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString ZuScriptedAnswerer::runSave(const ZuSavePanelRequest& request) {
    saveRequests.append(request);
    if (!saveAccessoryStates.empty()) {
        const QList<int> states = saveAccessoryStates.front();
        saveAccessoryStates.pop_front();
        for (qsizetype i = 0; i < states.size() && i < request.accessory.size(); ++i)
            request.accessory[i]->setState(states[i]);
    }
    if (saveAnswers.empty())
        return {};
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}
