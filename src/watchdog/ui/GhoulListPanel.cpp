#include "ui/GhoulListPanel.h"

#include "model/GhoulSettings.h"
#include "model/GhoulTexts.h"
#include "model/Secretary.h"
#include "ui/GhoulView.h"
#include "workspace/DesktopEntry.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

GhoulListPanel::GhoulListPanel(Secretary& secretary, GhoulSettings& settings, QWidget* parent)
    : QWidget(parent), secretary(secretary), settings_(settings), ghoulView_(new GhoulView(this)),
      removeButton_(new QPushButton(GhoulTexts::text(QStringLiteral("Remove")), this)),
      logButton_(new QPushButton(GhoulTexts::text(QStringLiteral("LogBook")), this)),
      quitButton_(new QPushButton(GhoulTexts::text(QStringLiteral("Quit")), this)),
      quitAction_(new QAction(GhoulTexts::text(QStringLiteral("Quit")), this)) {
    setWindowTitle(GhoulTexts::text(QStringLiteral("GhoulListPanel")));
    ghoulView_->setSecretary(&secretary);
    auto* addButton =
        new QPushButton(GhoulTexts::text(QStringLiteral("Add")) + QStringLiteral("…"), this);
    removeButton_->setEnabled(secretary.removeButtonEnabled());

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton_);
    buttons->addStretch();
    buttons->addWidget(logButton_);
    buttons->addWidget(quitButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ghoulView_);
    layout->addLayout(buttons);
    resize(560, 300);

    quitAction_->setShortcut(QKeySequence::Quit);
    addAction(quitAction_);
    connect(quitAction_, &QAction::triggered, this, &GhoulListPanel::quitRequested);
    connect(quitButton_, &QPushButton::clicked, this, &GhoulListPanel::quitRequested);

    secretary.setOpenPanel([this] { return chooseDesktopEntry(); });
    connect(addButton, &QPushButton::clicked, &secretary, &Secretary::actAddGhoulizeApplication);
    connect(removeButton_, &QPushButton::clicked, &secretary,
            &Secretary::actRemoveGhoulizeApplication);
    connect(&secretary, &Secretary::removeButtonEnabledChanged, removeButton_,
            &QPushButton::setEnabled);
    connect(&secretary, &Secretary::showGhoulListPanel, this, &GhoulListPanel::present);
    connect(&secretary, &Secretary::editRefused, this, [this](const QString& message) {
        QMessageBox::warning(this, GhoulTexts::text(QStringLiteral("EditRefused")), message);
    });
}

void GhoulListPanel::present() {
    if (!framed_) {
        restoreGeometry(settings_.frame(QStringLiteral("GhoulListPanel")));
        framed_ = true;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void GhoulListPanel::saveFrame() {
    settings_.setFrame(QStringLiteral("GhoulListPanel"), saveGeometry());
}

void GhoulListPanel::closeEvent(QCloseEvent* event) {
    saveFrame();
    QWidget::closeEvent(event);
}

QString GhoulListPanel::chooseDesktopEntry() {
    QFileDialog panel(this, GhoulTexts::text(QStringLiteral("Add application for ghoulize")));
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setOption(QFileDialog::DontResolveSymlinks);
    panel.setOption(QFileDialog::ReadOnly);
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setLabelText(QFileDialog::Accept, GhoulTexts::text(QStringLiteral("Add")));
    panel.setNameFilter(QStringLiteral("Desktop entries (*.desktop)"));
    QList<QUrl> places;
    QString start;
    for (const QString& folder : DesktopEntry::applicationFolders()) {
        if (!QDir(folder).exists())
            continue;
        places << QUrl::fromLocalFile(folder);
        if (start.isEmpty() &&
            !QDir(folder).entryList({QStringLiteral("*.desktop")}, QDir::Files).isEmpty())
            start = folder;
    }
    panel.setSidebarUrls(places);
    if (!start.isEmpty())
        panel.setDirectory(start);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return QString();
    return panel.selectedFiles().first();
}
