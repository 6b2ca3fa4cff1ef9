#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class ZuControl;

struct ZuOpenPanelRequest {
    QString title;
    QString directory;
    QStringList nameFilters;
    bool chooseFiles = true;
    bool chooseDirectories = false;
    bool multipleSelection = false;
};

struct ZuSavePanelRequest {
    QString title;
    QString directory;
    QString fileName;
    // The confirm button's text; the platform's own when empty.
    QString prompt;
    // The extension the chosen name is given when it lacks it.
    QString requiredFileType;
    bool canCreateDirectories = true;
    // Check boxes shown under the panel; their states are read afterwards.
    QList<ZuControl*> accessory;
};

class ZuPanelAnswerer {
public:
    virtual ~ZuPanelAnswerer() = default;
    // The chosen paths; empty when cancelled.
    virtual QStringList runOpen(const ZuOpenPanelRequest& request) = 0;
    // The chosen path; empty when cancelled.
    virtual QString runSave(const ZuSavePanelRequest& request) = 0;
};

// Open and save panels: file dialogs in the window, cancelled when headless,
// scripted in tests. Main thread only.
class ZuPanels {
public:
    static QStringList runOpen(const ZuOpenPanelRequest& request);
    static QString runSave(const ZuSavePanelRequest& request);
    static void setAnswerer(std::shared_ptr<ZuPanelAnswerer> answerer);
};
