#pragma once

#include "ui/ZuTableView.h"

#include <QWidget>

class ZuKeeper;

// The keep table: return plays the selected kept file, option-return and a
// double click with option export it, a double click plays it, delete and
// backspace delete it; rows drag out as files.
class ZuKeepTableView : public ZuTableView {
    Q_OBJECT
public:
    explicit ZuKeepTableView(ZuKeeper* keeper, QWidget* parent = nullptr);
};

// The keep tab: the kept files of the keep folder with their totals, the
// compression indicator, and play, export and delete.
class ZuKeepTab : public QWidget {
    Q_OBJECT
public:
    explicit ZuKeepTab(ZuKeeper* keeper, QWidget* parent = nullptr);

    ZuKeepTableView* table() const { return view; }

private:
    void selectionToKeeper();

    ZuKeeper* keeper;
    ZuKeepTableView* view;
};
