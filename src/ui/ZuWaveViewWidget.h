#pragma once

#include <QWidget>

class ZuWaveView;

// Shows the wave view's picture at its fixed size and hands the mouse to it:
// press, drag and release select a range of columns, shift extends one.
class ZuWaveViewWidget : public QWidget {
    Q_OBJECT
public:
    explicit ZuWaveViewWidget(ZuWaveView* view, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ZuWaveView* view;
};
