#include "ui/ZuQtAnswerer.h"

#include "platform/ZuControl.h"
#include "platform/ZuLocalized.h"
#include "ui/ZuControlBinding.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>

namespace {

// A message box with the alert's texts; its buttons in the platform's order.
QMessageBox* makeBox(const ZuAlert& alert, QWidget* parent, QPushButton** buttons) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setText(alert.message());
    box->setInformativeText(alert.informative());
    const QString keys[] = {alert.defaultKey, alert.alternateKey, alert.otherKey};
    const QMessageBox::ButtonRole roles[] = {QMessageBox::AcceptRole, QMessageBox::RejectRole,
                                             QMessageBox::DestructiveRole};
    for (int i = 0; i < 3; ++i) {
        buttons[i] = nullptr;
        if (!keys[i].isEmpty())
            buttons[i] = box->addButton(ZuLocalized::text(keys[i]), roles[i]);
    }
    if (buttons[0])
        box->setDefaultButton(buttons[0]);
    return box;
}

} // namespace

ZuAlertButton ZuQtAnswerer::runModal(const ZuAlert& alert) {
    QPushButton* buttons[3];
    std::unique_ptr<QMessageBox> box(makeBox(alert, parent, buttons));
    box->exec();
    const QAbstractButton* clicked = box->clickedButton();
    if (clicked && clicked == buttons[1])
        return ZuAlertButton::Alternate;
    if (clicked && clicked == buttons[2])
        return ZuAlertButton::Other;
    return ZuAlertButton::Default;
}

void ZuQtAnswerer::show(const ZuAlert& alert) {
    QPushButton* buttons[3];
    QMessageBox* box = makeBox(alert, parent, buttons);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QStringList ZuQtAnswerer::runOpen(const ZuOpenPanelRequest& request) {
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setNameFilters(request.nameFilters);
    if (request.chooseDirectories && !request.chooseFiles)
        dialog.setFileMode(QFileDialog::Directory);
    else
        dialog.setFileMode(request.multipleSelection ? QFileDialog::ExistingFiles
                                                     : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString ZuQtAnswerer::runSave(const ZuSavePanelRequest& request) {
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (!request.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
    if (!request.requiredFileType.isEmpty()) {
        dialog.setDefaultSuffix(request.requiredFileType);
        dialog.setNameFilter(QStringLiteral("*.") + request.requiredFileType);
    }
    if (!request.accessory.isEmpty()) {
        // The check boxes go into the dialog's own layout, which only Qt's
        // dialog (not the desktop's) lets us reach.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* row = new QHBoxLayout;
        for (ZuControl* control : request.accessory) {
            auto* box = new QCheckBox(control->title(), &dialog);
            box->setObjectName(control->name());
            ZuControlBinding::bind(box, control);
            row->addWidget(box);
        }
        row->addStretch();
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addLayout(row, grid->rowCount(), 0, 1, grid->columnCount());
    }
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}
