#pragma once

#include <QRect>

// What the controller needs of the main window: its frame (top-left origin),
// alpha, visibility and tab selection. The Qt window implements it; headless
// runs and tests use ZuModelWindow.
class ZuWindowPort {
public:
    virtual ~ZuWindowPort() = default;
    virtual QRect frame() const = 0;
    virtual void setFrame(const QRect& frame, bool animate) = 0;
    virtual void setAlphaValue(float alpha) = 0;
    virtual void show() = 0;
    virtual void close() = 0;
    virtual bool isVisible() const = 0;
    // Shows the tab as selected without reporting it back to the controller.
    virtual void selectTab(int index) = 0;
    virtual int selectedTab() const = 0;
};
