#pragma once

#include <QTableView>

#include <functional>

// What a file table hands to its owner. A command left empty is not offered:
// its key or double click does nothing.
struct ZuTableCommands {
    std::function<void()> playback;
    std::function<void()> copy;
    std::function<void()> remove;
    // After the arrow keys have moved the selection.
    std::function<void()> changeSelectRow;
    // A double click without option on a cell of this column; when empty the
    // double click plays.
    std::function<void(int column)> doubleAction;
};

// The file tables of the main window: delete and backspace delete the
// selected file, return plays it, option-return and an option double click
// copy it, a double click plays it (or runs the owner's double action), the
// arrow keys move the selection and then tell the owner. Rows drag out as
// files, copied.
class ZuTableView : public QTableView {
    Q_OBJECT
public:
    explicit ZuTableView(QWidget* parent = nullptr);

    void setCommands(ZuTableCommands value) { commands = std::move(value); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    static void run(const std::function<void()>& command);

    ZuTableCommands commands;
};
