#pragma once

#include <QWidget>

// The LED column of the level meter: twenty LEDs, green below and red at the
// top, each lit or dark.
class ZuLedMeterWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int ledCount = 20;
    static constexpr int redFrom = 16;

    explicit ZuLedMeterWidget(QWidget* parent = nullptr);
    // Lights the LEDs below level (0 to 20) and the one at peak (-1: none).
    void setLevel(int level, int peak);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int lit = 0;
    int peakLed = -1;
};
