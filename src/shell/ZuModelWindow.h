#pragma once

#include "shell/ZuWindowPort.h"

// A main window without widgets: the state the controller sets, kept in memory.
class ZuModelWindow : public ZuWindowPort {
public:
    QRect frame() const override { return windowFrame; }
    void setFrame(const QRect& frame, bool) override { windowFrame = frame; }
    void setAlphaValue(float value) override { alpha = value; }
    void show() override { visible = true; }
    void close() override { visible = false; }
    bool isVisible() const override { return visible; }
    void selectTab(int index) override { tab = index; }
    int selectedTab() const override { return tab; }

    float alphaValue() const { return alpha; }

private:
    QRect windowFrame{100, 100, 352, 262};
    float alpha = 1.0f;
    bool visible = false;
    int tab = 0;
};
