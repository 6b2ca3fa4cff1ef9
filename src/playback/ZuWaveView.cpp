#include "playback/ZuWaveView.h"

#include "platform/ZuNotificationCenter.h"

#include <QPainter>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>

namespace {
// Sides of the moving end relative to the anchor, and movements.
constexpr int32_t none = 0;
constexpr int32_t right = 1;
constexpr int32_t left = 2;
} // namespace

ZuWaveView::ZuWaveView() = default;

void ZuWaveView::setImage(const QImage& image) {
    picture = image.convertToFormat(QImage::Format_RGB32);
    copyImage = picture.copy();
    setNeedsDisplay();
}

ZuRange ZuWaveView::rangeFrom(int32_t a, int32_t b) {
    return {uint32_t(std::min(a, b)), uint32_t(std::abs(b - a))};
}

QString ZuWaveView::stringFromRange(ZuRange range) {
    return QStringLiteral("{%1, %2}").arg(range.location).arg(range.length);
}

ZuRange ZuWaveView::rangeFromString(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\{\\s*(\\d+)\\s*,\\s*(\\d+)\\s*\\}$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toUInt(), match.captured(2).toUInt()};
}

void ZuWaveView::postRange(const QString& name, ZuRange range) const {
    ZuNotificationCenter::defaultCenter().post(name, {},
                                               {{selectedRangeKey, stringFromRange(range)}});
}

void ZuWaveView::clearSelectedRange() {
    selected = {};
    ZuNotificationCenter::defaultCenter().post(selectRangeRelease);
}

void ZuWaveView::releaseLastSelect() {
    if (selected.length != 0)
        releaseSelectedRange(selected);
}

void ZuWaveView::markSelectedRange(ZuRange range) {
    if (picture.isNull() || range.length == 0)
        return;
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.fillRect(QRect(int(range.location), 0, int(range.length), frame.height()),
                     QColor(255, 0, 255));
    painter.end();
    setNeedsDisplay();
}

void ZuWaveView::releaseSelectedRange(ZuRange range) {
    if (picture.isNull() || range.length == 0)
        return;
    const QRect columns(int(range.location), 0, int(range.length), frame.height());
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(columns.topLeft(), copyImage, columns);
    painter.end();
    setNeedsDisplay();
}

void ZuWaveView::mouseDown(int32_t x, bool shift) {
    if (!enabled)
        return;
    startPoint = lastPoint = x;
    dragging = false;
    shiftKey = false;
    if (shift) {
        shiftKey = true;
        return;
    }
    releaseLastSelect();
    postRange(selectRangeStart, rangeFrom(x, x));
}

void ZuWaveView::mouseDragged(int32_t x) {
    if (!enabled || x < 0 || x > frame.width())
        return;
    if (shiftKey) {
        const auto location = int32_t(selected.location);
        const auto end = int32_t(selected.location + selected.length);
        if (x == location && selected.length != 0) {
            startPoint = end;
            lastDirection = left;
        } else if (x == end) {
            startPoint = location;
            lastDirection = right;
        } else {
            return;
        }
        lastPoint = x;
        shiftKey = false;
        dragging = true;
        return;
    }
    if (!dragging) {
        const int32_t side = x > startPoint ? right : x < startPoint ? left : none;
        if (side == none)
            return;
        markSelectedRange(rangeFrom(startPoint, x));
        lastDirection = side;
        dragging = true;
    } else {
        const int32_t movement = x > lastPoint ? right : x < lastPoint ? left : none;
        if (movement == none)
            return;
        const bool pastAnchor = movement == right ? x > startPoint : x < startPoint;
        if (movement == lastDirection) {
            markSelectedRange(rangeFrom(lastPoint, x));
        } else if (!pastAnchor) {
            releaseSelectedRange(rangeFrom(lastPoint, x));
            if (x == startPoint)
                dragging = false;
        } else {
            releaseSelectedRange(rangeFrom(lastPoint, startPoint));
            markSelectedRange(rangeFrom(startPoint, x));
            lastDirection = movement;
        }
    }
    lastPoint = x;
    postRange(selectRangeDrag, rangeFrom(startPoint, lastPoint));
}

void ZuWaveView::mouseUp() {
    if (!enabled)
        return;
    // A shift press that no drag took up leaves the selection as it was.
    if (shiftKey) {
        shiftKey = false;
        return;
    }
    selected = rangeFrom(startPoint, lastPoint);
    if (selected.length != 0)
        postRange(selectRangeEnd, selected);
    else
        ZuNotificationCenter::defaultCenter().post(selectRangeRelease);
}
