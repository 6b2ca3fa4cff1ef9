#pragma once

#include "platform/ZuControl.h"

class ZuControler;

// The preferences drawer.
class ZuPrefer {
public:
    static void initialize();

    ZuPrefer();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();

    // The drawer's tab selector; its selected index is the last selected tab.
    ZuControl prefTabView{"prefTabView"};

private:
    ZuControler* controler = nullptr;
};
