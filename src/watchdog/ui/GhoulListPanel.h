#pragma once

#include <QWidget>

class GhoulSettings;
class GhoulView;
class QAction;
class QPushButton;
class Secretary;

// The list panel: the watched-list table with its add and remove buttons, the
// log book button and the Quit control (button and Ctrl+Q). Closing the panel
// only hides it; the watch goes on until Quit.
class GhoulListPanel : public QWidget {
    Q_OBJECT
public:
    GhoulListPanel(Secretary& secretary, GhoulSettings& settings, QWidget* parent = nullptr);

    GhoulView* ghoulView() const { return ghoulView_; }
    QPushButton* removeButton() const { return removeButton_; }
    QPushButton* logButton() const { return logButton_; }
    QPushButton* quitButton() const { return quitButton_; }
    // Carries the Ctrl+Q shortcut; other windows may add it too.
    QAction* quitAction() const { return quitAction_; }
    // Restores the frame saved under "GhoulListPanel" and shows the panel.
    void present();
    void saveFrame();
    // The open panel for adding: a desktop entry from the applications folders.
    QString chooseDesktopEntry();

signals:
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Secretary& secretary;
    GhoulSettings& settings_;
    GhoulView* ghoulView_;
    QPushButton* removeButton_;
    QPushButton* logButton_;
    QPushButton* quitButton_;
    QAction* quitAction_;
    bool framed_ = false;
};
