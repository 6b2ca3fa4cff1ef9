#include "ui/ZuWaveViewWidget.h"

#include "playback/ZuWaveView.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
// The column under the mouse, truncated toward zero.
int32_t columnOf(const QMouseEvent* event) {
    return static_cast<int32_t>(event->position().x());
}
} // namespace

ZuWaveViewWidget::ZuWaveViewWidget(ZuWaveView* model, QWidget* parent)
    : QWidget(parent), view(model) {
    setObjectName(QStringLiteral("waveView"));
    // As tall as the picture; narrower only while its tab is hidden in a
    // window sized for another tab.
    setFixedHeight(view->bounds().height());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setMinimumWidth(0);
    connect(view, &ZuWaveView::needsDisplay, this, qOverload<>(&QWidget::update));
}

QSize ZuWaveViewWidget::sizeHint() const {
    return view->bounds();
}

QSize ZuWaveViewWidget::minimumSizeHint() const {
    return {0, view->bounds().height()};
}

void ZuWaveViewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, view->image());
}

void ZuWaveViewWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        view->mouseDown(columnOf(event), event->modifiers().testFlag(Qt::ShiftModifier));
}

void ZuWaveViewWidget::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons().testFlag(Qt::LeftButton))
        view->mouseDragged(columnOf(event));
}

void ZuWaveViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        view->mouseUp();
}
