#pragma once

#include <QWidget>

class ZuControler;
class ZuTableView;

// The player tab: the recordings table with its totals, the operation
// buttons, and the wave view of the selected recording. The list is read
// afresh whenever the tab is shown; selection, keys and double clicks go to
// the player.
class ZuPlayerTab : public QWidget {
    Q_OBJECT
public:
    explicit ZuPlayerTab(ZuControler* controler, QWidget* parent = nullptr);

    ZuTableView* table() const { return view; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void selectionToPlayer();
    void editNote();
    void doubleAction(int column);

    ZuControler* controler;
    ZuTableView* view;
};
