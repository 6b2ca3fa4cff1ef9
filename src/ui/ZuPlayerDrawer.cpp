#include "ui/ZuPlayerDrawer.h"

#include "platform/ZuImages.h"
#include "platform/ZuLocalized.h"
#include "playback/ZuPlayer.h"
#include "shell/ZuControler.h"
#include "ui/ZuControlBinding.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

ZuPlayerDrawer::ZuPlayerDrawer(ZuControler* owner, QWidget* anchorWidget)
    : QWidget(anchorWidget->window(), Qt::Tool | Qt::FramelessWindowHint), controler(owner),
      anchor(anchorWidget), workRow(new QWidget(this)) {
    ZuPlayer* player = controler->player();
    setObjectName("controlDrawer");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 6, 10, 8);
    layout->setSpacing(4);

    auto* transport = new QHBoxLayout;
    layout->addLayout(transport);
    transport->addWidget(button("PlayerHead", &player->headButton));
    transport->addWidget(button("PlayerBack", &player->backButton));
    transport->addWidget(button("PlayerPlay", &player->playButton, true));
    transport->addWidget(button("PlayerFast", &player->fastButton));
    transport->addWidget(button("PlayerTail", &player->tailButton));
    transport->addStretch();
    auto* current = new QLabel(this);
    current->setObjectName(player->currentTimeText.name());
    QFont bold = current->font();
    bold.setBold(true);
    current->setFont(bold);
    ZuControlBinding::bind(current, &player->currentTimeText);
    transport->addWidget(current);

    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(player->pointSlider.name());
    ZuControlBinding::bind(slider, &player->pointSlider);
    layout->addWidget(slider);

    auto* times = new QHBoxLayout;
    layout->addLayout(times);
    for (ZuControl* text : {&player->headTimeText, &player->tailTimeText}) {
        auto* label = new QLabel(this);
        label->setObjectName(text->name());
        ZuControlBinding::bind(label, text);
        times->addWidget(label);
        if (text == &player->headTimeText)
            times->addStretch();
    }

    auto* options = new QHBoxLayout;
    layout->addLayout(options);
    options->addWidget(new QLabel(ZuLocalized::text("PlayerStepFast"), this));
    auto* step = new QLineEdit(this);
    step->setObjectName(player->stepFastText.name());
    step->setMaximumWidth(48);
    ZuControlBinding::bind(step, &player->stepFastText);
    options->addWidget(step);
    auto* stepper = new QSpinBox(this);
    stepper->setObjectName(player->stepFastStepper.name());
    stepper->setRange(int(player->stepFastStepper.minValue()),
                      int(player->stepFastStepper.maxValue()));
    stepper->setValue(int(player->stepFastStepper.value()));
    stepper->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    stepper->setMaximumWidth(20);
    connect(&player->stepFastStepper, &ZuControl::changed, stepper, [stepper, player] {
        const QSignalBlocker block(stepper);
        stepper->setValue(int(player->stepFastStepper.value()));
    });
    connect(stepper, &QSpinBox::valueChanged, this, [player](int value) {
        player->stepFastStepper.setValue(value);
        player->stepFastStepper.perform();
    });
    options->addWidget(stepper);
    options->addSpacing(12);
    auto* endless = new QCheckBox(ZuLocalized::text("PlayerEndless"), this);
    endless->setObjectName(player->endlessPlayCheck.name());
    ZuControlBinding::bind(endless, &player->endlessPlayCheck);
    options->addWidget(endless);
    options->addStretch();
    auto* device = new QLabel(this);
    device->setObjectName(player->playDeviceView.name());
    const auto showDevice = [device, player] {
        const QString name = player->playDeviceView.imageName();
        const QImage image = name.isEmpty() ? QImage() : ZuImages::image(name);
        device->setPixmap(image.isNull() ? QPixmap()
                                         : QPixmap::fromImage(image).scaledToHeight(
                                               24, Qt::SmoothTransformation));
    };
    showDevice();
    connect(&player->playDeviceView, &ZuControl::changed, device, showDevice);
    options->addWidget(device);

    auto* range = new QHBoxLayout;
    layout->addLayout(range);
    range->addWidget(new QLabel(ZuLocalized::text("PlayerSelection"), this));
    for (ZuControl* text :
         {&player->selectHeadText, &player->selectTailText, &player->selectTimeText}) {
        auto* label = new QLabel(this);
        label->setObjectName(text->name());
        ZuControlBinding::bind(label, text);
        range->addWidget(label);
    }
    range->addStretch();

    auto* work = new QHBoxLayout(workRow);
    work->setContentsMargins(0, 4, 0, 0);
    work->addWidget(button("SetLock", &player->lockButton));
    work->addWidget(button("PlayerNote", &player->noteButton));
    work->addWidget(button("PlayerDelete", &player->deleteButton));
    work->addWidget(button("PlayerCopy", &player->copyButton));
    layout->addWidget(workRow);
    layout->addStretch();

    anchor->window()->installEventFilter(this);
    connect(&player->controlDrawer, &ZuControl::changed, this, [this] { follow(); });
    follow();
}

QWidget* ZuPlayerDrawer::button(const char* key, ZuControl* control, bool checkable) {
    auto* button = new QPushButton(ZuLocalized::text(key), this);
    button->setObjectName(QStringLiteral("drawer-") + control->name());
    button->setAutoDefault(false);
    button->setCheckable(checkable);
    ZuControlBinding::bind(button, control);
    return button;
}

bool ZuPlayerDrawer::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        follow();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ZuPlayerDrawer::follow() {
    const ZuControl& drawer = controler->player()->controlDrawer;
    QWidget* window = anchor->window();
    const bool open = drawer.state() != 0 && window->isVisible();
    if (!open) {
        hide();
        return;
    }
    workRow->setVisible(int(drawer.value()) > 201);
    // Hangs from the window's frame, a little narrower, like a drawer.
    const QRect frame = window->frameGeometry();
    setGeometry(frame.left() + 8, frame.bottom() + 1, frame.width() - 16, int(drawer.value()));
    show();
}
