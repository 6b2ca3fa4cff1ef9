#include "ui/LogPanel.h"

#include "model/GhoulSettings.h"
#include "model/GhoulTexts.h"
#include "model/Logger.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

LogPanel::LogPanel(Logger& logger, GhoulSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings), logView_(new QPlainTextEdit(this)) {
    setWindowTitle(GhoulTexts::text(QStringLiteral("GhoulLogPanel")));
    logView_->setReadOnly(true);
    logView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(logView_);
    resize(520, 360);
    connect(&logger, &Logger::logReloaded, logView_, &QPlainTextEdit::setPlainText);
    connect(&logger, &Logger::showLogPanel, this, &LogPanel::present);
}

void LogPanel::present() {
    if (!framed_) {
        restoreGeometry(settings_.frame(QStringLiteral("GhoulLogPanel")));
        framed_ = true;
    }
    show();
    raise();
    activateWindow();
}

void LogPanel::saveFrame() {
    settings_.setFrame(QStringLiteral("GhoulLogPanel"), saveGeometry());
}

void LogPanel::closeEvent(QCloseEvent* event) {
    saveFrame();
    QWidget::closeEvent(event);
}
