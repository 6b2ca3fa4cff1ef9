#pragma once

#include "platform/ZuAlerts.h"
#include "platform/ZuPanels.h"

#include <QPointer>
#include <QWidget>

// Alerts as message boxes and panels as file dialogs over the main window.
class ZuQtAnswerer : public ZuAlertAnswerer, public ZuPanelAnswerer {
public:
    void setParent(QWidget* window) { parent = window; }

    ZuAlertButton runModal(const ZuAlert& alert) override;
    void show(const ZuAlert& alert) override;
    QStringList runOpen(const ZuOpenPanelRequest& request) override;
    QString runSave(const ZuSavePanelRequest& request) override;

private:
    QPointer<QWidget> parent;
};
