#include "platform/ZuImages.h"

#include <QHash>
#include <QLinearGradient>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSet>
#include <QtMath>

#include <cmath>
#include <vector>

namespace {

const QColor kGlyph(0x3a, 0x40, 0x47);
const QColor kGlyphDark(0x23, 0x27, 0x2c);
const QColor kGreenLit(0x3c, 0xe6, 0x50);
const QColor kRedLit(0xff, 0x3b, 0x2e);

// The unlit LED is the lit colour with most of its brightness taken away, so that the
// meter shows where the column can reach.
QColor unlit(const QColor& lit) {
    return QColor::fromHsvF(lit.hsvHueF(), lit.hsvSaturationF() * 0.85, lit.valueF() * 0.3);
}

void drawLed(QPainter& p, const QSize& size, const QColor& lit, bool on) {
    const QRectF body(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    const QColor base = on ? lit : unlit(lit);

    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    fill.setColorAt(0.0, base.lighter(on ? 130 : 125));
    fill.setColorAt(0.55, base);
    fill.setColorAt(1.0, base.darker(on ? 125 : 140));
    p.setPen(QPen(base.darker(on ? 170 : 190), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(body, 1.5, 1.5);

    // A soft reflection across the upper part of the lens.
    const QRectF shine(2.0, 1.0, size.width() - 4.0, size.height() * 0.42);
    QLinearGradient gloss(shine.topLeft(), shine.bottomLeft());
    gloss.setColorAt(0.0, QColor(255, 255, 255, on ? 170 : 40));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(shine, 1.0, 1.0);
}

enum class Source { Internal, Plug, Digital, Other };

// Badge glyphs are drawn in a 12 x 12 box centred on the badge.
void drawMicrophone(QPainter& p, const QColor& ink) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(-1.5, -5.4, 3.0, 6.0), 1.5, 1.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(-3.3, -4.2, 6.6, 6.6), 190 * 16, 160 * 16);
    p.drawLine(QPointF(0.0, 2.5), QPointF(0.0, 4.5));
    p.drawLine(QPointF(-2.0, 4.6), QPointF(2.0, 4.6));
}

void drawPlug(QPainter& p, const QColor& ink) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(-2.2, 0.6, 4.4, 4.2), 0.8, 0.8);
    p.drawRect(QRectF(-1.2, -2.6, 2.4, 3.4));
    p.drawEllipse(QRectF(-1.0, -5.0, 2.0, 2.2));
    p.setPen(QPen(Qt::white, 0.7));
    p.drawLine(QPointF(-1.3, -2.2), QPointF(1.3, -2.2));
}

void drawDigital(QPainter& p, const QColor& ink) {
    QPainterPath wave;
    wave.moveTo(-4.6, 2.2);
    wave.lineTo(-2.6, 2.2);
    wave.lineTo(-2.6, -2.2);
    wave.lineTo(0.0, -2.2);
    wave.lineTo(0.0, 2.2);
    wave.lineTo(2.6, 2.2);
    wave.lineTo(2.6, -2.2);
    wave.lineTo(4.6, -2.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPath(wave);
}

void drawOther(QPainter& p, const QColor& ink) {
    // A generic interface box with two sockets.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 1.1));
    p.drawRoundedRect(QRectF(-4.3, -3.0, 8.6, 6.0), 1.2, 1.2);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(-1.8, 0.0), 1.2, 1.2);
    p.drawEllipse(QPointF(1.8, 0.0), 1.2, 1.2);
}

void drawRecordButton(QPainter& p, bool on, Source source) {
    const QPointF centre(14.5, 14.5);
    const qreal radius = on ? 11.0 : 10.0;
    const QRectF disc(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);

    if (on) {
        QRadialGradient fill(centre, radius, centre + QPointF(-3.5, -4.5));
        fill.setColorAt(0.0, QColor(0xff, 0x90, 0x84));
        fill.setColorAt(0.5, QColor(0xe8, 0x2a, 0x1e));
        fill.setColorAt(1.0, QColor(0xa8, 0x10, 0x08));
        p.setPen(QPen(QColor(0x80, 0x0c, 0x06), 1.0));
        p.setBrush(fill);
        p.drawEllipse(disc);

        const QRectF shine(centre.x() - radius * 0.62, centre.y() - radius * 0.88, radius * 1.24,
                           radius * 0.8);
        QLinearGradient gloss(shine.topLeft(), shine.bottomLeft());
        gloss.setColorAt(0.0, QColor(255, 255, 255, 170));
        gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(gloss);
        p.drawEllipse(shine);
    } else {
        QRadialGradient fill(centre, radius, centre + QPointF(-3.0, -4.0));
        fill.setColorAt(0.0, QColor(0xf4, 0xf5, 0xf6));
        fill.setColorAt(1.0, QColor(0xd6, 0xd9, 0xdd));
        p.setPen(QPen(QColor(0x86, 0x8c, 0x93), 2.5));
        p.setBrush(fill);
        p.drawEllipse(disc);
    }

    // The source badge sits on the lower right edge, cut out of the disc by a clear ring.
    const QPointF badge(24.5, 24.5);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(badge, 7.5, 7.5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    const QColor ink = on ? kGlyphDark : QColor(0x7c, 0x82, 0x89);
    p.setPen(QPen(on ? QColor(0x5a, 0x60, 0x68) : QColor(0xa4, 0xa9, 0xaf), 1.0));
    p.setBrush(on ? QColor(0xfb, 0xfb, 0xfc) : QColor(0xe9, 0xeb, 0xed));
    p.drawEllipse(badge, 6.4, 6.4);

    p.save();
    p.translate(badge);
    switch (source) {
    case Source::Internal:
        drawMicrophone(p, ink);
        break;
    case Source::Plug:
        drawPlug(p, ink);
        break;
    case Source::Digital:
        drawDigital(p, ink);
        break;
    case Source::Other:
        drawOther(p, ink);
        break;
    }
    p.restore();
}

QLinearGradient glyphFill(const QRectF& box) {
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0.0, kGlyph.lighter(125));
    fill.setColorAt(1.0, kGlyphDark);
    return fill;
}

// A light edge one pixel below a dark glyph keeps it readable on dark button faces too.
void emboss(QPainter& p, const QPainterPath& shape) {
    p.save();
    p.translate(0.0, 1.0);
    p.setPen(QPen(QColor(255, 255, 255, 110), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawPath(shape);
    p.restore();
}

void drawPlay(QPainter& p) {
    QPainterPath triangle;
    triangle.moveTo(10.5, 7.0);
    triangle.lineTo(25.0, 16.0);
    triangle.lineTo(10.5, 25.0);
    triangle.closeSubpath();
    emboss(p, triangle);
    p.setPen(QPen(kGlyphDark, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(glyphFill(triangle.boundingRect()));
    p.drawPath(triangle);
}

void drawStop(QPainter& p) {
    QPainterPath square;
    square.addRoundedRect(QRectF(9.0, 9.0, 14.0, 14.0), 2.5, 2.5);
    emboss(p, square);
    p.setPen(QPen(kGlyphDark, 1.0));
    p.setBrush(glyphFill(square.boundingRect()));
    p.drawPath(square);
}

// The built-in speaker: a cone with sound waves.
void drawMonitorSpeaker(QPainter& p) {
    QPainterPath cone;
    cone.moveTo(4.5, 12.0);
    cone.lineTo(10.0, 12.0);
    cone.lineTo(16.5, 6.0);
    cone.lineTo(16.5, 26.0);
    cone.lineTo(10.0, 20.0);
    cone.lineTo(4.5, 20.0);
    cone.closeSubpath();
    emboss(p, cone);
    p.setPen(QPen(kGlyphDark, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(glyphFill(cone.boundingRect()));
    p.drawPath(cone);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGlyph, 2.0, Qt::SolidLine, Qt::RoundCap));
    const QPointF centre(16.5, 16.0);
    p.drawArc(QRectF(centre.x() - 5.0, centre.y() - 5.0, 10.0, 10.0), -50 * 16, 100 * 16);
    p.drawArc(QRectF(centre.x() - 10.0, centre.y() - 10.0, 20.0, 20.0), -50 * 16, 100 * 16);
}

// An external speaker cabinet with tweeter and woofer.
void drawSpeakerCabinet(QPainter& p) {
    QPainterPath cabinet;
    cabinet.addRoundedRect(QRectF(7.5, 2.5, 17.0, 26.0), 3.0, 3.0);
    emboss(p, cabinet);
    p.setPen(QPen(kGlyphDark, 1.0));
    p.setBrush(glyphFill(cabinet.boundingRect()));
    p.drawPath(cabinet);

    const QColor cone(0xd3, 0xd7, 0xdc);
    p.setPen(Qt::NoPen);
    p.setBrush(cone);
    p.drawEllipse(QPointF(16.0, 9.0), 2.8, 2.8);
    p.drawEllipse(QPointF(16.0, 20.0), 6.3, 6.3);
    p.setBrush(kGlyph);
    p.drawEllipse(QPointF(16.0, 20.0), 4.3, 4.3);
    p.setBrush(cone.darker(115));
    p.drawEllipse(QPointF(16.0, 20.0), 1.8, 1.8);
    p.setBrush(kGlyphDark);
    p.drawEllipse(QPointF(16.0, 9.0), 1.1, 1.1);
}

// Shown in place of a waveform picture while that picture is being built: the picture's
// black ground and centre line with a faint, even waveform and three dots.
void drawProgress(QPainter& p, const QSize& size) {
    const int width = size.width();
    const int height = size.height();
    const qreal middle = height / 2;
    p.fillRect(QRect(QPoint(0, 0), size), Qt::black);

    p.setPen(QPen(QColor(0, 0xc8, 0xdc, 55), 1.0));
    for (int x = 1; x < width; x += 3) {
        const qreal t = qreal(x) / width;
        const qreal envelope = 0.35 + 0.25 * std::sin(t * 2.0 * M_PI * 3.0 + 0.7);
        const qreal detail = 0.55 + 0.45 * std::fabs(std::sin(x * 0.37) * std::cos(x * 0.113));
        const qreal amplitude = (middle - 4.0) * envelope * detail;
        p.drawLine(QPointF(x + 0.5, middle - amplitude), QPointF(x + 0.5, middle + amplitude));
    }
    p.fillRect(QRectF(0, middle, width, 1), QColor(0x80, 0x80, 0x80));

    const QRectF pill(width / 2.0 - 22.0, middle - 7.0, 44.0, 14.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 200));
    p.drawRoundedRect(pill, 7.0, 7.0);
    const int alphas[] = {255, 170, 90};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(0, 0xe0, 0xf0, alphas[i]));
        p.drawEllipse(QPointF(pill.center().x() - 11.0 + 11.0 * i, middle + 0.5), 3.0, 3.0);
    }
}

using Painter = void (*)(QPainter&, const QSize&);

struct Recipe {
    QString name;
    QSize size;
    Painter paint;
};

const QSize kLed(14, 6);
const QSize kButton(32, 32);

const std::vector<Recipe>& recipes() {
    static const std::vector<Recipe> list = {
        {"LevelGreenOn.tif", kLed,
         [](QPainter& p, const QSize& s) {
             drawLed(p, s, kGreenLit, true);
         }},
        {"LevelGreenOff.tif", kLed,
         [](QPainter& p, const QSize& s) {
             drawLed(p, s, kGreenLit, false);
         }},
        {"LevelRedOn.tif", kLed,
         [](QPainter& p, const QSize& s) {
             drawLed(p, s, kRedLit, true);
         }},
        {"LevelRedOff.tif", kLed,
         [](QPainter& p, const QSize& s) {
             drawLed(p, s, kRedLit, false);
         }},
        {"RecordOnButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, true, Source::Internal);
         }},
        {"RecordOffButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, false, Source::Internal);
         }},
        {"RecordOnPlugButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, true, Source::Plug);
         }},
        {"RecordOffPlugButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, false, Source::Plug);
         }},
        {"RecordOnDigitalButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, true, Source::Digital);
         }},
        {"RecordOffDigitalButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, false, Source::Digital);
         }},
        {"RecordOnOtherButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, true, Source::Other);
         }},
        {"RecordOffOtherButton.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawRecordButton(p, false, Source::Other);
         }},
        {"MonitorSwitch.tif", kButton,
         [](QPainter& p, const QSize&) {
             drawMonitorSpeaker(p);
         }},
        {"ExternalSpeaker.png", kButton,
         [](QPainter& p, const QSize&) {
             drawSpeakerCabinet(p);
         }},
        {"PlayButton.png", kButton,
         [](QPainter& p, const QSize&) {
             drawPlay(p);
         }},
        {"StopButton.png", kButton,
         [](QPainter& p, const QSize&) {
             drawStop(p);
         }},
        {"ProgressImage.tif", QSize(480, 72), drawProgress},
    };
    return list;
}

QImage render(const Recipe& recipe) {
    QImage image(recipe.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    recipe.paint(painter, recipe.size);
    painter.end();
    return image;
}

struct Cache {
    QMutex mutex;
    QHash<QString, QImage> images;
    QSet<QString> warned;
};

Cache& cache() {
    static Cache instance;
    return instance;
}

} // namespace

QImage ZuImages::image(const QString& name) {
    Cache& c = cache();
    QMutexLocker lock(&c.mutex);
    const auto found = c.images.constFind(name);
    if (found != c.images.constEnd())
        return found.value();
    for (const Recipe& recipe : recipes()) {
        if (recipe.name == name) {
            const QImage image = render(recipe);
            c.images.insert(name, image);
            return image;
        }
    }
    if (!c.warned.contains(name)) {
        c.warned.insert(name);
        qWarning("ZuImages: no image named %s", qUtf8Printable(name));
    }
    return {};
}

QStringList ZuImages::names() {
    QStringList list;
    for (const Recipe& recipe : recipes())
        list << recipe.name;
    return list;
}
