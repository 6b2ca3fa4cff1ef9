#pragma once

#include <QWidget>

class QBoxLayout;
class ZuControl;
class ZuControler;

// The player's drawer: a panel that hangs from the bottom edge of the main
// window and moves with it, holding the transport (head, back, play, forward,
// tail, the position slider, the step and endless play), the selected range
// and the play device, and, opened taller, the file operation buttons. It
// follows the player's controlDrawer: open or closed, and its height.
class ZuPlayerDrawer : public QWidget {
    Q_OBJECT
public:
    ZuPlayerDrawer(ZuControler* controler, QWidget* anchor);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    QWidget* button(const char* key, ZuControl* control, bool checkable = false);

    ZuControler* controler;
    QWidget* anchor;
    QWidget* workRow;
};
