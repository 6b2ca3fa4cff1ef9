#include "ui/ZuLedMeterWidget.h"

#include "platform/ZuImages.h"

#include <QPainter>

namespace {
constexpr int ledWidth = 14;
constexpr int ledHeight = 6;
constexpr int ledGap = 2;
} // namespace

ZuLedMeterWidget::ZuLedMeterWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
}

QSize ZuLedMeterWidget::sizeHint() const {
    return {ledWidth, ledCount * (ledHeight + ledGap) - ledGap};
}

void ZuLedMeterWidget::setLevel(int level, int peak) {
    if (lit == level && peakLed == peak)
        return;
    lit = level;
    peakLed = peak;
    update();
}

void ZuLedMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < ledCount; ++i) {
        const bool on = i < lit || i == peakLed;
        const bool red = i >= redFrom;
        const char* name = red ? (on ? "LevelRedOn.tif" : "LevelRedOff.tif")
                               : (on ? "LevelGreenOn.tif" : "LevelGreenOff.tif");
        const int y = height() - (i + 1) * (ledHeight + ledGap) + ledGap;
        painter.drawImage(QRect(0, y, ledWidth, ledHeight), ZuImages::image(name));
    }
}
