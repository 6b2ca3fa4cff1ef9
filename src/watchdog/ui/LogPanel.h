#pragma once

#include <QWidget>

class GhoulSettings;
class Logger;
class QPlainTextEdit;

// The log book panel: the log book's text, reloaded on request.
class LogPanel : public QWidget {
    Q_OBJECT
public:
    LogPanel(Logger& logger, GhoulSettings& settings, QWidget* parent = nullptr);

    QPlainTextEdit* logView() const { return logView_; }
    // Restores the frame saved under "GhoulLogPanel" and shows the panel.
    void present();
    void saveFrame();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    GhoulSettings& settings_;
    QPlainTextEdit* logView_;
    bool framed_ = false;
};
