#pragma once

#include <QWidget>

class GhoulSettings;
class GhoulView;
class QPushButton;
class Secretary;

// The list panel: the watched-list table with its add and remove buttons.
class GhoulListPanel : public QWidget {
    Q_OBJECT
public:
    GhoulListPanel(Secretary& secretary, GhoulSettings& settings, QWidget* parent = nullptr);

    GhoulView* ghoulView() const { return ghoulView_; }
    QPushButton* removeButton() const { return removeButton_; }
    QPushButton* logButton() const { return logButton_; }
    // Restores the frame saved under "GhoulListPanel" and shows the panel.
    void present();
    void saveFrame();
    // The open panel for adding: a desktop entry from the applications folders.
    QString chooseDesktopEntry();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Secretary& secretary;
    GhoulSettings& settings_;
    GhoulView* ghoulView_;
    QPushButton* removeButton_;
    QPushButton* logButton_;
    bool framed_ = false;
};
