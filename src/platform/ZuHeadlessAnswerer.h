#pragma once

#include "platform/ZuAlerts.h"
#include "platform/ZuPanels.h"

// Without a window: an alert is written to the console and the log book and
// its default button taken; a panel is cancelled.
class ZuHeadlessAnswerer : public ZuAlertAnswerer, public ZuPanelAnswerer {
public:
    ZuAlertButton runModal(const ZuAlert& alert) override;
    void show(const ZuAlert& alert) override;
    QStringList runOpen(const ZuOpenPanelRequest& request) override;
    QString runSave(const ZuSavePanelRequest& request) override;

    // The console and log text of an alert.
    static QString describe(const ZuAlert& alert);
};
