#pragma once

#include "shell/ZuWindowPort.h"

#include <QWidget>
#include <functional>

class QTabWidget;
class ZuControler;
class ZuLedMeterWidget;

// The main window: four tabs (recorder, player, reservations, keeping) whose
// controls are bound to the components' control models.
class ZuMainWindow : public QWidget, public ZuWindowPort {
    Q_OBJECT
public:
    ZuMainWindow(ZuControler* controler, std::function<void()> quitRequest,
                 QWidget* parent = nullptr);

    QRect frame() const override { return geometry(); }
    void setFrame(const QRect& frame, bool animate) override;
    void setAlphaValue(float alpha) override { setWindowOpacity(alpha); }
    void show() override { QWidget::show(); }
    void close() override { QWidget::hide(); }
    bool isVisible() const override { return QWidget::isVisible(); }
    void selectTab(int index) override;
    int selectedTab() const override;

    QTabWidget* tabs() const { return tabView; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeRecorderTab();

    ZuControler* controler;
    std::function<void()> quit;
    QTabWidget* tabView = nullptr;
    ZuLedMeterWidget* meter = nullptr;
};
