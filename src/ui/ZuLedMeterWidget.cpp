#include "ui/ZuLedMeterWidget.h"

#include "platform/ZuImages.h"
#include "recording/ZuLevelMeter.h"

#include <QPainter>

namespace {
constexpr int ledWidth = 14;
constexpr int ledHeight = 6;
constexpr int ledGap = 2;
} // namespace

ZuLedMeterWidget::ZuLedMeterWidget(ZuLevelMeter* levelMeter, QWidget* parent)
    : QWidget(parent), meter(levelMeter) {
    setFixedSize(sizeHint());
    for (ZuControl& led : meter->leds)
        connect(&led, &ZuControl::changed, this, qOverload<>(&QWidget::update));
}

QSize ZuLedMeterWidget::sizeHint() const {
    return {ledWidth, ZuLevelMeter::ledCount * (ledHeight + ledGap) - ledGap};
}

void ZuLedMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < ZuLevelMeter::ledCount; ++i) {
        const int y = height() - (i + 1) * (ledHeight + ledGap) + ledGap;
        const QString name = meter->leds[static_cast<size_t>(i)].imageName();
        painter.drawImage(QRect(0, y, ledWidth, ledHeight), ZuImages::image(name));
    }
}
