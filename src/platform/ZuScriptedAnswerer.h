#pragma once

#include "platform/ZuAlerts.h"
#include "platform/ZuPanels.h"

#include <QList>
#include <deque>

// For tests: answers alerts and panels from a script and records what was
// shown. With the script empty, alerts take the default button and panels
// are cancelled.
class ZuScriptedAnswerer : public ZuAlertAnswerer, public ZuPanelAnswerer {
public:
    ZuAlertButton runModal(const ZuAlert& alert) override;
    void show(const ZuAlert& alert) override;
    QStringList runOpen(const ZuOpenPanelRequest& request) override;
    QString runSave(const ZuSavePanelRequest& request) override;

    std::deque<ZuAlertButton> alertAnswers;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    // States the user gives the save panel's check boxes, one list a panel.
    std::deque<QList<int>> saveAccessoryStates;

    QList<ZuAlert> modalAlerts;
    QList<ZuAlert> shownAlerts;
    QList<ZuOpenPanelRequest> openRequests;
    QList<ZuSavePanelRequest> saveRequests;
};
