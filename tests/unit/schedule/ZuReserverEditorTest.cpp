// The editor and the list behind it: rows, new entries, the button limits,
// the delete confirmation, sorting, which record source is written back, and
// stored lists that are out of range.
#include "ZuScheduleTestSupport.h"
#include "support/NwConsoleCapture.h"

namespace {
class ReserverEditorTest : public ScheduleFixture {
protected:
    void select(int row) {
        reserver().dataView.setSelectedIndex(row);
        reserver().dataView.perform();
    }
    QVariantList saved(int i) const {
        return ZuSettings::standard().arrayForKey("TimerList").at(i).toList();
    }
    QStringList names() {
        QStringList result;
        for (auto& e : list().timers())
            result << e->name();
        return result;
    }
};
} // namespace

TEST_F(ReserverEditorTest, AFirstRunShowsOneDisabledEntryAndTheRowsShowTheValues) {
    launch();
    reserver().mainTabSelected();
    ASSERT_EQ(list().numberOfRows(), 1);
    EXPECT_EQ(list().objectValue("EnabledReserve", 0), "");
    EXPECT_EQ(list().objectValue("ReserveName", 0), ZuLocalized::text("NoNamedTimer"));
    EXPECT_EQ(list().objectValue("StartTime", 0), "00:00");
    EXPECT_EQ(list().objectValue("ReserveWeek", 0), ZuLocalized::text("EveryDay"));
    EXPECT_EQ(list().objectValue("SampleRate", 0), "22.050kHz");
    EXPECT_EQ(list().objectValue("RecordMode", 0), ZuLocalized::text("AlwaysMode"));
    // With no enabled entry the reservation switch cannot be used.
    EXPECT_FALSE(recorder().reserveButton.isEnabled());

    store({{"Out", 1, at(6, 5), at(7, 30), 1, 2, 2, 1, 13, 0, 2}});
    list().awakeFromNib();
    reserver().renewListAndControl();
    EXPECT_EQ(list().objectValue("EnabledReserve", 0), ZuLocalized::text("CheckMark"));
    EXPECT_EQ(list().objectValue("ReserveMonth", 0), "13");
    EXPECT_EQ(list().objectValue("ReserveWeek", 0), ZuLocalized::text("Monday"));
    EXPECT_EQ(list().objectValue("StopTime", 0), "07:30");
    EXPECT_EQ(list().objectValue("SampleRate", 0), "48.000kHz");
    EXPECT_EQ(list().objectValue("ChannelsNumber", 0), ZuLocalized::text("StereoSound"));
    EXPECT_EQ(list().objectValue("RecordMode", 0), ZuLocalized::text("AutoMode"));
    EXPECT_TRUE(recorder().reserveButton.isEnabled());
}

TEST_F(ReserverEditorTest, NewEntriesStartAtTheNextFiveMinuteMark) {
    launch();
    reserver().mainTabSelected();
    select(0);
    setNow(QDate(2007, 3, 15), 14, 7);
    reserver().timerAddButton.perform();
    ASSERT_EQ(reserver().count(), 2);
    const ZuReserverElement* added = reserver().elementAtIndex(0);
    EXPECT_EQ(added->start(), at(14, 10));
    EXPECT_EQ(added->stop(), at(14, 10));
    EXPECT_TRUE(added->enabled());
    EXPECT_EQ(reserver().timerStartHourPopup.selectedIndex(), 14);
    EXPECT_EQ(reserver().timerStartMinutePopup.selectedIndex(), 2);
    setNow(QDate(2007, 3, 15), 23, 57);
    reserver().timerAddButton.perform();
    EXPECT_EQ(reserver().elementAtIndex(0)->start(), 0);
    EXPECT_EQ(reserver().elementAtIndex(0)->stop(), 0);
    // A copy is inserted at the selection with the same values.
    reserver().timerCopyButton.perform();
    EXPECT_EQ(reserver().count(), 4);
    EXPECT_EQ(reserver().elementAtIndex(0)->valueArray(),
              reserver().elementAtIndex(1)->valueArray());
}

TEST_F(ReserverEditorTest, TheButtonsKeepBetweenOneAndTenEntries) {
    launch();
    reserver().mainTabSelected();
    select(0);
    EXPECT_FALSE(reserver().timerDeleteButton.isEnabled());
    EXPECT_TRUE(reserver().timerAddButton.isEnabled());
    for (int i = 0; i < 9; ++i)
        reserver().timerAddButton.perform();
    EXPECT_EQ(reserver().count(), 10);
    EXPECT_FALSE(reserver().timerAddButton.isEnabled());
    EXPECT_TRUE(reserver().timerDeleteButton.isEnabled());
    EXPECT_TRUE(reserver().timerCopyButton.isEnabled());
    // Deleting asks first; Cancel keeps the entry.
    answerer->alertAnswers.push_back(ZuAlertButton::Alternate);
    reserver().timerDeleteButton.perform();
    EXPECT_EQ(reserver().count(), 10);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "RemoveTimerCaution");
    EXPECT_EQ(answerer->modalAlerts[0].informativeKey, "RemoveTimerInfo");
    EXPECT_EQ(answerer->modalAlerts[0].defaultKey, "ExecRemove");
    reserver().timerDeleteButton.perform();
    EXPECT_EQ(reserver().count(), 9);
    EXPECT_TRUE(reserver().timerAddButton.isEnabled());
    reserver().setVerifyDeleteReserve(false);
    while (reserver().timerDeleteButton.isEnabled())
        reserver().timerDeleteButton.perform();
    EXPECT_EQ(reserver().count(), 1);
    EXPECT_EQ(answerer->modalAlerts.size(), 2);
    // Without a selection every control is locked.
    select(-1);
    EXPECT_FALSE(reserver().timerNameText.isEnabled());
    EXPECT_FALSE(reserver().timerAddButton.isEnabled());
}

TEST_F(ReserverEditorTest, EditsAreStoredAtOnceAndTheSwitchLocksTheEditor) {
    launch();
    reserver().mainTabSelected();
    select(0);
    reserver().timerNameText.setText("Morning");
    reserver().timerNameText.perform();
    reserver().doubleAction(0);
    reserver().timerStartHourPopup.setSelectedIndex(6);
    reserver().timerStartMinutePopup.setSelectedIndex(3);
    reserver().timerStartMinutePopup.perform();
    EXPECT_EQ(saved(0).mid(0, 3), (QVariantList{"Morning", 1, at(6, 15)}));
    EXPECT_EQ(list().objectValue("ReserveName", 0), "Morning");
    reserver().editNameEnd("Dawn");
    EXPECT_EQ(saved(0).at(0), "Dawn");
    // Another source offers other rates and is stored.
    reserver().timerDevicePopup.setSelectedIndex(1);
    reserver().timerDevicePopup.perform();
    EXPECT_EQ(reserver().timerSamplePopup.items(),
              (QStringList{"12000 Hz", "24000 Hz", "48000 Hz"}));
    EXPECT_EQ(saved(0).at(ZuReserverElement::deviceIndex), 1);

    recorder().reserveButton.setState(1);
    recorder().reserveButton.perform();
    reserver().initControlState();
    EXPECT_FALSE(reserver().timerNameText.isEnabled());
    EXPECT_FALSE(reserver().timerWeekPopup.isEnabled());
    EXPECT_FALSE(reserver().timerCopyButton.isEnabled());
}

TEST_F(ReserverEditorTest, SortingKeepsEveryEntrysOwnDataAndStoredSource) {
    // A stored source 3 that this machine does not have; another entry on
    // the 48 kHz source at half rate.
    store({{"B", 1, at(5, 0), at(6, 0), 1, 1, 2, 3, 0, 0, 0},
           {"C", 0, at(1, 0), at(2, 0), 0, 1, 1, 1, 0, 0, 0},
           {"A", 1, at(9, 0), at(9, 30), 0, 0, 1, 0, 0, 0, 5}});
    launch();
    reserver().mainTabSelected();
    // The row shows source 0 for the missing one.
    EXPECT_EQ(reserver().elementAtIndex(0)->device(), 0);
    std::vector<QVariantList> before;
    for (int i = 0; i < 3; ++i)
        before.push_back(reserver().elementAtIndex(i)->valueArray());
    for (const QString& column : ZuReserveList::columnKeys()) {
        for (bool ascending : {true, false}) {
            list().sortByColumn(column, ascending);
            for (int i = 0; i < 3; ++i) {
                const QVariantList now = reserver().elementAtIndex(i)->valueArray();
                const auto same = std::find(before.begin(), before.end(), now);
                EXPECT_NE(same, before.end()) << column.toStdString() << " " << i;
            }
        }
    }
    list().sortByColumn("ReserveName", true);
    EXPECT_EQ(names(), (QStringList{"A", "B", "C"}));
    list().sortByColumn("StartTime", false);
    EXPECT_EQ(names(), (QStringList{"A", "B", "C"}));
    list().sortByColumn("StartTime", true);
    EXPECT_EQ(names(), (QStringList{"C", "B", "A"}));
    list().saveUserDefaults();
    EXPECT_EQ(saved(0).at(ZuReserverElement::deviceIndex), 1);
    EXPECT_EQ(saved(1).at(ZuReserverElement::deviceIndex), 3);
    EXPECT_EQ(saved(2).at(ZuReserverElement::deviceIndex), 0);
    EXPECT_EQ(saved(0).at(5), 1);
}

TEST_F(ReserverEditorTest, StoredEntriesOutOfRangeLoadAsStoredAndAreReportedOnce) {
    ZuSettings::standard().setArray(
        {QVariantList{"Month13", 1, at(1, 0), at(2, 0), 0, 1, 1, 0, 13, 0, 0},
         QVariantList{"Feb31", 1, at(1, 0), at(2, 0), 0, 1, 1, 0, 2, 31, 0},
         QVariantList{"Gone", 1, at(1, 0), at(2, 0), 0, 1, 1, 9, 0, 0, 0},
         QVariantList{42, 1, at(1, 0), at(2, 0), 0, 1, 1, 0, 0, 0, 0},
         QVariantList{"Short", 1, at(1, 0)}, QVariant(7),
         QVariantList{"Wild", 1, -5, 999999, 9, 7, 5, 0, 0, 0, 0}},
        "TimerList");
    NwConsoleCapture console;
    launch();
    reserver().mainTabSelected();
    ASSERT_EQ(reserver().count(), 7);
    EXPECT_EQ(list().objectValue("ReserveMonth", 0), "13");
    EXPECT_EQ(list().objectValue("ReserveName", 3), "42");
    EXPECT_EQ(list().objectValue("ReserveName", 5), "");
    const QStringList lines = console.lines().filter("ZuReserveList");
    EXPECT_EQ(lines.size(), 7) << lines.join("\n").toStdString();
    // The schedule still runs with them.
    setNow(QDate(2007, 3, 15), 1, 30);
    EXPECT_EQ(nameOf(reserver().withinElement()), "Gone");
    EXPECT_GE(reserver().nextStartTime(), 0);
    list().awakeFromNib();
    EXPECT_EQ(console.lines().filter("ZuReserveList").size(), 14);

    // A TimerList that is no array reads as the one fresh entry.
    ZuSettings::standard().setString("garbage", "TimerList");
    list().awakeFromNib();
    EXPECT_EQ(reserver().count(), 1);
}
