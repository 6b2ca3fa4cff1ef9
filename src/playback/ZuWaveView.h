#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <cstdint>

// A range of pixel columns: from location, length columns.
struct ZuRange {
    uint32_t location = 0;
    uint32_t length = 0;
    bool operator==(const ZuRange&) const = default;
};

// The waveform picture under the player's table and its range selection: the
// user drags over columns, which are brightened with magenta in the picture
// itself and restored from an untouched copy when deselected. Every step is
// announced with a notification carrying the range as "{location, length}".
// The widget that shows it forwards its mouse events here.
class ZuWaveView : public QObject {
    Q_OBJECT
public:
    // The size of the view (and of the pictures built for it) when no window
    // shows one.
    static inline const QSize defaultSize{480, 72};

    static inline const QString selectRangeStart =
        QStringLiteral("ZuSelectRangeStart_Notification");
    static inline const QString selectRangeDrag = QStringLiteral("ZuSelectRangeDrag_Notification");
    static inline const QString selectRangeEnd = QStringLiteral("ZuSelectRangeEnd_Notification");
    static inline const QString selectRangeRelease =
        QStringLiteral("ZuSelectRangeRelease_Notification");
    static inline const QString selectedRangeKey = QStringLiteral("SelectedRange");

    ZuWaveView();

    QSize bounds() const { return frame; }
    void setBounds(QSize size) { frame = size; }

    // The picture shown; setImage keeps an untouched copy for restoring.
    const QImage& image() const { return picture; }
    void setImage(const QImage& image);
    // The shown picture for drawing into; call setNeedsDisplay afterwards.
    QImage& editableImage() { return picture; }
    void setNeedsDisplay() { emit needsDisplay(); }

    ZuRange selectedRange() const { return selected; }
    void setSelectedRange(ZuRange range) { selected = range; }
    bool selectEnabled() const { return enabled; }
    void setSelectEnabled(bool on) { enabled = on; }

    void clearSelectedRange();
    void releaseLastSelect();
    void markSelectedRange(ZuRange range);
    void releaseSelectedRange(ZuRange range);

    // Mouse handling, x in the view's columns.
    void mouseDown(int32_t x, bool shift);
    void mouseDragged(int32_t x);
    void mouseUp();

    static ZuRange rangeFrom(int32_t a, int32_t b);
    static QString stringFromRange(ZuRange range);
    static ZuRange rangeFromString(const QString& text);

signals:
    void needsDisplay();

private:
    void postRange(const QString& name, ZuRange range) const;

    ZuRange selected;
    QImage picture;
    QImage copyImage;
    int32_t startPoint = 0;
    int32_t lastPoint = 0;
    int32_t lastDirection = 0;
    bool dragging = false;
    bool enabled = true;
    bool shiftKey = false;
    QSize frame = defaultSize;
};
