#pragma once

#include <QWidget>

class QTabWidget;
class ZuPrefer;

// The preferences drawer: a tool window that opens along the main window's
// right edge while the preferences button is on. Its tabs group the settings;
// the first tab plans the disk space.
class ZuPreferDrawer : public QWidget {
    Q_OBJECT
public:
    ZuPreferDrawer(ZuPrefer* prefer, QWidget* mainWindow);

    QTabWidget* tabs() const { return tabView; }

private:
    QWidget* makeDiskTab();
    QWidget* makeRecordTab();
    QWidget* makeMarkerTab();
    QWidget* makeOutputTab();
    QWidget* makeReserveTab();
    QWidget* makeKeepTab();
    void showDrawer();

    ZuPrefer* prefer;
    QWidget* owner;
    QTabWidget* tabView = nullptr;
};
