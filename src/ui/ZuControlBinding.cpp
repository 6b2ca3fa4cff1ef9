#include "ui/ZuControlBinding.h"

#include "platform/ZuControl.h"
#include "platform/ZuImages.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

void showCommon(QWidget* widget, const ZuControl* control) {
    widget->setEnabled(control->isEnabled());
    widget->setVisible(!control->isHidden());
    widget->setToolTip(control->toolTip());
}

void showColor(QWidget* widget, const ZuControl* control) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText,
                     control->color().isValid()
                         ? control->color()
                         : widget->style()->standardPalette().color(QPalette::WindowText));
    widget->setPalette(palette);
}

} // namespace

namespace ZuControlBinding {

void bind(QAbstractButton* button, ZuControl* control) {
    auto show = [button, control] {
        const QSignalBlocker block(button);
        showCommon(button, control);
        if (button->isCheckable())
            button->setChecked(control->state() != 0);
        if (!control->title().isEmpty())
            button->setText(control->title());
        if (!control->imageName().isEmpty())
            button->setIcon(QPixmap::fromImage(ZuImages::image(control->imageName())));
    };
    show();
    QObject::connect(control, &ZuControl::changed, button, show);
    QObject::connect(button, &QAbstractButton::clicked, control, [button, control] {
        if (button->isCheckable())
            control->setState(button->isChecked() ? 1 : 0);
        control->perform();
    });
}

void bind(QAbstractSlider* slider, ZuControl* control) {
    // A slider counts in int: a model range past it (byte positions of a
    // long recording) moves in steps of several units.
    const auto step = [control] {
        const double widest =
            std::max(std::abs(control->minValue()), std::abs(control->maxValue()));
        return std::max(1.0, std::ceil(widest / double(std::numeric_limits<int>::max())));
    };
    auto show = [slider, control, step] {
        const QSignalBlocker block(slider);
        showCommon(slider, control);
        slider->setRange(static_cast<int>(control->minValue() / step()),
                         static_cast<int>(control->maxValue() / step()));
        slider->setValue(static_cast<int>(control->value() / step()));
    };
    show();
    QObject::connect(control, &ZuControl::changed, slider, show);
    QObject::connect(slider, &QAbstractSlider::valueChanged, control, [control, step](int value) {
        control->setValue(value * step());
        control->perform();
    });
}

void bind(QComboBox* popup, ZuControl* control) {
    auto show = [popup, control] {
        const QSignalBlocker block(popup);
        showCommon(popup, control);
        QStringList current;
        for (int i = 0; i < popup->count(); ++i)
            current << popup->itemText(i);
        if (current != control->items()) {
            popup->clear();
            popup->addItems(control->items());
        }
        popup->setCurrentIndex(control->selectedIndex());
    };
    show();
    QObject::connect(control, &ZuControl::changed, popup, show);
    QObject::connect(popup, &QComboBox::activated, control, [control](int index) {
        control->setSelectedIndex(index);
        control->perform();
    });
}

void bind(QLabel* label, ZuControl* control) {
    auto show = [label, control] {
        showCommon(label, control);
        label->setText(control->text());
        showColor(label, control);
    };
    show();
    QObject::connect(control, &ZuControl::changed, label, show);
}

void bind(QLineEdit* field, ZuControl* control) {
    auto show = [field, control] {
        const QSignalBlocker block(field);
        showCommon(field, control);
        if (field->text() != control->text())
            field->setText(control->text());
    };
    show();
    QObject::connect(control, &ZuControl::changed, field, show);
    QObject::connect(field, &QLineEdit::editingFinished, control, [field, control] {
        control->setText(field->text());
        control->perform();
    });
}

} // namespace ZuControlBinding
