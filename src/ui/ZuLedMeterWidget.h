#pragma once

#include <QWidget>

class ZuLevelMeter;

// The LED column of the level meter: each LED shows the image its control
// model names, index 0 at the bottom.
class ZuLedMeterWidget : public QWidget {
    Q_OBJECT
public:
    explicit ZuLedMeterWidget(ZuLevelMeter* meter, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ZuLevelMeter* meter;
};
