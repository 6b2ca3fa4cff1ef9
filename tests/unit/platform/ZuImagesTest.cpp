#include "platform/ZuImages.h"

#include <QSet>
#include <QStringList>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// Every image name the recorder's components ask for.
const QStringList kUsedNames = {
    "LevelGreenOn.tif",
    "LevelGreenOff.tif",
    "LevelRedOn.tif",
    "LevelRedOff.tif",
    "RecordOnButton.tif",
    "RecordOffButton.tif",
    "RecordOnPlugButton.tif",
    "RecordOffPlugButton.tif",
    "RecordOnDigitalButton.tif",
    "RecordOffDigitalButton.tif",
    "RecordOnOtherButton.tif",
    "RecordOffOtherButton.tif",
    "MonitorSwitch.tif",
    "ExternalSpeaker.png",
    "PlayButton.png",
    "StopButton.png",
    "ProgressImage.tif",
};

QSize expectedSize(const QString& name) {
    if (name.startsWith("Level"))
        return {14, 6};
    if (name == "ProgressImage.tif")
        return {480, 72};
    return {32, 32};
}

// Mean brightness of the visible pixels, weighted by their coverage.
double brightness(const QImage& image) {
    double sum = 0.0;
    double weight = 0.0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            sum += c.alphaF() * c.valueF();
            weight += c.alphaF();
        }
    }
    return weight > 0.0 ? sum / weight : 0.0;
}

int opaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 200 ? 1 : 0;
    return count;
}

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg)
        warnings << message;
}

} // namespace

// Runs first, while no image has been drawn yet: threads asking at the same time
// all get the one drawn image.
TEST(ZuImages, ConcurrentFirstUseYieldsOneImagePerName) {
    constexpr int kThreads = 4;
    std::vector<std::vector<qint64>> keys(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&keys, t] {
            for (const QString& name : ZuImages::names())
                keys[t].push_back(ZuImages::image(name).cacheKey());
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QStringList names = ZuImages::names();
    for (int i = 0; i < names.size(); ++i) {
        const qint64 drawn = ZuImages::image(names[i]).cacheKey();
        for (int t = 0; t < kThreads; ++t)
            EXPECT_EQ(keys[t][i], drawn) << names[i].toStdString() << " thread " << t;
    }
}

TEST(ZuImages, EveryUsedNameRendersAtItsSize) {
    const QStringList names = ZuImages::names();
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size()) << "duplicate names";
    for (const QString& name : kUsedNames)
        EXPECT_TRUE(names.contains(name)) << name.toStdString();

    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QImage image = ZuImages::image(name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), expectedSize(name));
        EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
        // A drawing, not an empty canvas: a fair share of the pixels is solid.
        EXPECT_GT(opaquePixels(image), image.width() * image.height() / 10);
        // Drawn once, then handed out from the cache.
        EXPECT_EQ(ZuImages::image(name).cacheKey(), image.cacheKey());
    }
}

TEST(ZuImages, OnAndOffStatesLookDifferent) {
    const std::vector<std::pair<QString, QString>> pairs = {
        {"LevelGreenOn.tif", "LevelGreenOff.tif"},
        {"LevelRedOn.tif", "LevelRedOff.tif"},
        {"RecordOnButton.tif", "RecordOffButton.tif"},
        {"RecordOnPlugButton.tif", "RecordOffPlugButton.tif"},
        {"RecordOnDigitalButton.tif", "RecordOffDigitalButton.tif"},
        {"RecordOnOtherButton.tif", "RecordOffOtherButton.tif"},
        {"PlayButton.png", "StopButton.png"},
        {"MonitorSwitch.tif", "ExternalSpeaker.png"},
    };
    for (const auto& [on, off] : pairs) {
        SCOPED_TRACE((on + " / " + off).toStdString());
        EXPECT_NE(ZuImages::image(on), ZuImages::image(off));
    }

    // A lit LED is the bright version of its unlit colour.
    EXPECT_GT(brightness(ZuImages::image("LevelGreenOn.tif")),
              2.0 * brightness(ZuImages::image("LevelGreenOff.tif")));
    EXPECT_GT(brightness(ZuImages::image("LevelRedOn.tif")),
              2.0 * brightness(ZuImages::image("LevelRedOff.tif")));
    const QColor green = ZuImages::image("LevelGreenOn.tif").pixelColor(7, 4);
    const QColor red = ZuImages::image("LevelRedOn.tif").pixelColor(7, 4);
    EXPECT_GT(green.green(), green.red());
    EXPECT_GT(red.red(), red.green());

    // The record button tells the source kind apart in both states.
    for (const QString& state : {QString("On"), QString("Off")}) {
        QList<QImage> seen;
        for (const char* kind : {"", "Plug", "Digital", "Other"}) {
            const QImage image = ZuImages::image("Record" + state + kind + "Button.tif");
            for (const QImage& other : seen)
                EXPECT_NE(image, other) << state.toStdString() << kind;
            seen << image;
        }
    }
}

TEST(ZuImages, UnknownNameGivesNullImageAndWarnsOnce) {
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    const QImage missing = ZuImages::image("NoSuchImage.tif");
    const QImage again = ZuImages::image("NoSuchImage.tif");
    const QImage withoutExtension = ZuImages::image("LevelGreenOn");
    qInstallMessageHandler(previous);

    EXPECT_TRUE(missing.isNull());
    EXPECT_TRUE(again.isNull());
    EXPECT_TRUE(withoutExtension.isNull());
    EXPECT_EQ(warnings, QStringList({"ZuImages: no image named NoSuchImage.tif",
                                     "ZuImages: no image named LevelGreenOn"}));
    EXPECT_FALSE(ZuImages::image("LevelGreenOn.tif").isNull());
}
