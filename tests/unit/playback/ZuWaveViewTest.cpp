// Range selection in the wave view: press, drag and release sequences, the
// columns they brighten and restore, and the notifications they post.
#include "playback/ZuWaveView.h"

#include "platform/ZuNotificationCenter.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

const QColor magenta(255, 0, 255);

struct WaveViewSelection : testing::Test {
    void SetUp() override {
        // A black picture with a cyan band in rows 30 to 40.
        QImage picture(ZuWaveView::defaultSize, QImage::Format_RGB32);
        picture.fill(Qt::black);
        for (int y = 30; y <= 40; ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixelColor(x, y, QColor(0, 255, 255));
        view.setImage(picture);
        for (const QString& name : {ZuWaveView::selectRangeStart, ZuWaveView::selectRangeDrag,
                                    ZuWaveView::selectRangeEnd, ZuWaveView::selectRangeRelease})
            ZuNotificationCenter::defaultCenter().addObserver(
                name, this, [this](const ZuNotification& note) {
                    const QString range =
                        note.userInfo.value(ZuWaveView::selectedRangeKey).toString();
                    posted << note.name.section('_', 0, 0).mid(2) +
                                  (range.isEmpty() ? "" : " " + range);
                });
    }
    void TearDown() override { ZuNotificationCenter::defaultCenter().removeObserver(this); }

    // The columns of [from, to) that are marked (magenta over black, white
    // over cyan) or, with marked false, that show the untouched picture.
    bool columns(int from, int to, bool marked) const {
        for (int x = from; x < to; ++x) {
            const QColor top = view.image().pixelColor(x, 5);
            const QColor band = view.image().pixelColor(x, 35);
            const bool isMarked = top == magenta && band == QColor(255, 255, 255);
            const bool isPlain = top == QColor(0, 0, 0) && band == QColor(0, 255, 255);
            if (marked ? !isMarked : !isPlain)
                return false;
        }
        return true;
    }
    int markedColumns() const {
        int count = 0;
        for (int x = 0; x < view.image().width(); ++x)
            count += view.image().pixelColor(x, 5) == magenta;
        return count;
    }

    ZuWaveView view;
    QStringList posted;
};

} // namespace

TEST_F(WaveViewSelection, PressDragReleaseMarksTheColumnsAndEndsWithTheRange) {
    view.mouseDown(100, false);
    view.mouseDragged(150);
    view.mouseUp();
    EXPECT_EQ(posted, (QStringList{"SelectRangeStart {100, 0}", "SelectRangeDrag {100, 50}",
                                   "SelectRangeEnd {100, 50}"}));
    EXPECT_EQ(view.selectedRange(), (ZuRange{100, 50}));
    EXPECT_TRUE(columns(100, 150, true));
    EXPECT_TRUE(columns(0, 100, false));
    EXPECT_TRUE(columns(150, 480, false));
}

TEST_F(WaveViewSelection, DraggingBackPastTheAnchorRestoresOneSideAndMarksTheOther) {
    view.mouseDown(100, false);
    view.mouseDragged(150);
    view.mouseDragged(80);
    view.mouseUp();
    EXPECT_EQ(view.selectedRange(), (ZuRange{80, 20}));
    EXPECT_TRUE(columns(100, 150, false));
    EXPECT_TRUE(columns(80, 100, true));
    EXPECT_EQ(markedColumns(), 20);
    EXPECT_EQ(posted.last(), "SelectRangeEnd {80, 20}");
    EXPECT_EQ(posted[2], "SelectRangeDrag {80, 20}");

    // Growing, shrinking without crossing, and growing again on the left.
    posted.clear();
    view.mouseDown(300, false);
    EXPECT_TRUE(columns(80, 100, false)) << "a plain press restores the old selection";
    view.mouseDragged(340);
    view.mouseDragged(320);
    view.mouseDragged(320);
    view.mouseDragged(330);
    view.mouseUp();
    EXPECT_EQ(posted, (QStringList{"SelectRangeStart {300, 0}", "SelectRangeDrag {300, 40}",
                                   "SelectRangeDrag {300, 20}", "SelectRangeDrag {300, 30}",
                                   "SelectRangeEnd {300, 30}"}));
    EXPECT_TRUE(columns(300, 330, true));
    EXPECT_EQ(markedColumns(), 30);
}

TEST_F(WaveViewSelection, BackToTheAnchorOrNoMoveAtAllReleasesWithNothingMarked) {
    view.mouseDown(100, false);
    view.mouseDragged(120);
    view.mouseDragged(100);
    view.mouseUp();
    EXPECT_EQ(markedColumns(), 0);
    EXPECT_EQ(posted.last(), "SelectRangeRelease");
    EXPECT_EQ(view.selectedRange().length, 0u);

    // At the anchor the next step starts a new drag, to either side.
    posted.clear();
    view.mouseDown(200, false);
    view.mouseDragged(210);
    view.mouseDragged(200);
    view.mouseDragged(190);
    view.mouseUp();
    EXPECT_EQ(view.selectedRange(), (ZuRange{190, 10}));
    EXPECT_EQ(markedColumns(), 10);

    posted.clear();
    view.mouseDown(100, false);
    view.mouseUp();
    EXPECT_EQ(posted, (QStringList{"SelectRangeStart {100, 0}", "SelectRangeRelease"}));
    EXPECT_EQ(markedColumns(), 0);
}

TEST_F(WaveViewSelection, AShiftDragFromAnEdgeExtendsTheSelectionFromTheOtherEdge) {
    view.mouseDown(80, false);
    view.mouseDragged(100);
    view.mouseUp();
    posted.clear();
    // From the right edge: the left edge stays.
    view.mouseDown(100, true);
    view.mouseDragged(100);
    view.mouseDragged(130);
    view.mouseUp();
    EXPECT_EQ(posted, (QStringList{"SelectRangeDrag {80, 50}", "SelectRangeEnd {80, 50}"}));
    EXPECT_EQ(view.selectedRange(), (ZuRange{80, 50}));
    EXPECT_TRUE(columns(80, 130, true));
    EXPECT_EQ(markedColumns(), 50);

    // From the left edge: the right edge stays.
    view.mouseDown(80, true);
    view.mouseDragged(80);
    view.mouseDragged(50);
    view.mouseUp();
    EXPECT_EQ(view.selectedRange(), (ZuRange{50, 80}));
    EXPECT_EQ(markedColumns(), 80);
}

TEST_F(WaveViewSelection, AShiftPressOffTheEdgesLeavesTheSelectionAsItWas) {
    view.mouseDown(80, false);
    view.mouseDragged(100);
    view.mouseUp();
    posted.clear();
    view.mouseDown(90, true);
    view.mouseDragged(95);
    view.mouseDragged(120);
    view.mouseUp();
    EXPECT_TRUE(posted.isEmpty()) << posted.join(", ").toStdString();
    EXPECT_EQ(view.selectedRange(), (ZuRange{80, 20}));
    EXPECT_EQ(markedColumns(), 20);
}

TEST_F(WaveViewSelection, NothingHappensWhileSelectionIsDisabledOrOutsideTheBounds) {
    view.setSelectEnabled(false);
    view.mouseDown(100, false);
    view.mouseDragged(150);
    view.mouseUp();
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(markedColumns(), 0);
    EXPECT_EQ(view.selectedRange(), (ZuRange{0, 0}));

    view.setSelectEnabled(true);
    view.mouseDown(470, false);
    view.mouseDragged(481);
    view.mouseDragged(-1);
    view.mouseDragged(480);
    view.mouseUp();
    EXPECT_EQ(view.selectedRange(), (ZuRange{470, 10}));
    EXPECT_EQ(markedColumns(), 10);
}

TEST_F(WaveViewSelection, ANewPictureStartsUnmarkedAndClearingPostsTheRelease) {
    view.mouseDown(10, false);
    view.mouseDragged(40);
    view.mouseUp();
    QImage fresh(ZuWaveView::defaultSize, QImage::Format_RGB32);
    fresh.fill(Qt::black);
    view.setImage(fresh);
    posted.clear();
    view.clearSelectedRange();
    EXPECT_EQ(posted, QStringList{"SelectRangeRelease"});
    EXPECT_EQ(view.selectedRange(), (ZuRange{0, 0}));
    // Restoring columns takes them from the new picture's copy.
    view.markSelectedRange({0, 5});
    view.releaseSelectedRange({0, 5});
    EXPECT_EQ(markedColumns(), 0);
}

TEST(WaveViewRanges, RangesAreOrderedAndTravelAsBracedText) {
    EXPECT_EQ(ZuWaveView::rangeFrom(150, 100), (ZuRange{100, 50}));
    EXPECT_EQ(ZuWaveView::rangeFrom(7, 7), (ZuRange{7, 0}));
    EXPECT_EQ(ZuWaveView::stringFromRange({80, 20}), "{80, 20}");
    EXPECT_EQ(ZuWaveView::rangeFromString("{80, 20}"), (ZuRange{80, 20}));
    EXPECT_EQ(ZuWaveView::rangeFromString("80, 20"), (ZuRange{0, 0}));
}
