#include "platform/ZuControl.h"

ZuControl::ZuControl(const QString& name, QObject* parent) : QObject(parent), controlName(name) {}

void ZuControl::touch() {
    emit changed();
}

void ZuControl::setState(int value) {
    if (stateValue == value)
        return;
    stateValue = value;
    touch();
}

void ZuControl::setValue(double value) {
    if (doubleValue == value)
        return;
    doubleValue = value;
    touch();
}

void ZuControl::setEnabled(bool value) {
    if (enabled == value)
        return;
    enabled = value;
    touch();
}

void ZuControl::setHidden(bool value) {
    if (hidden == value)
        return;
    hidden = value;
    touch();
}

void ZuControl::setTitle(const QString& value) {
    if (titleText == value)
        return;
    titleText = value;
    touch();
}

void ZuControl::setText(const QString& value) {
    if (stringValue == value)
        return;
    stringValue = value;
    touch();
}

void ZuControl::setColor(const QColor& value) {
    if (textColor == value)
        return;
    textColor = value;
    touch();
}

void ZuControl::setImageName(const QString& value) {
    if (image == value)
        return;
    image = value;
    touch();
}

void ZuControl::setToolTip(const QString& value) {
    if (tip == value)
        return;
    tip = value;
    touch();
}

void ZuControl::setItems(const QStringList& value) {
    if (itemTitles == value)
        return;
    itemTitles = value;
    if (selected >= itemTitles.size())
        selected = itemTitles.isEmpty() ? -1 : 0;
    touch();
}

void ZuControl::setSelectedIndex(int value) {
    if (selected == value)
        return;
    selected = value;
    touch();
}

QString ZuControl::selectedItem() const {
    return selected >= 0 && selected < itemTitles.size() ? itemTitles.at(selected) : QString();
}

void ZuControl::setRange(double min, double max) {
    if (minimum == min && maximum == max)
        return;
    minimum = min;
    maximum = max;
    touch();
}

void ZuControl::setAction(Action newAction) {
    action = std::move(newAction);
}

void ZuControl::perform() {
    if (action)
        action(*this);
}
