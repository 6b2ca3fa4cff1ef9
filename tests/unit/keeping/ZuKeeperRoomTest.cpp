// The keeper inside the recorder: the mechanic's making room hands it the
// oldest recordings, the keep folder's own limits, the keep tab's actions,
// and a quit that waits for compression.
#include "keeping/ZuKeepList.h"
#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuPanels.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuApplicationPort.h"
#include "shell/ZuControler.h"
#include "shell/ZuModelWindow.h"
#include "support/NwFileSizeLimit.h"
#include "support/NwTestSupport.h"
#include "unit/keeping/ZuKeeperTestSupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString hourName(int day, int hour, const QString& extension = "aif") {
    return QString::asprintf("_Nightwarden_200703%02d_%02d0000~%02d0000.", day, hour,
                             (hour + 1) % 24) +
           extension;
}

class QuitApplication : public ZuApplicationPort {
public:
    void hide() override { hidden = true; }
    bool terminate() override { return false; }
    // The keeper's worker answers a pending quit from its own thread.
    void replyToApplicationShouldTerminate(bool yes) override { (yes ? yesReplies : noReplies)++; }
    void openUrl(const QUrl&) override {}
    bool hidden = false;
    std::atomic<int> yesReplies{0};
    std::atomic<int> noReplies{0};
};

// Records the URLs the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class ZuKeeperRoom : public testing::Test {
protected:
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuPanels::setAnswerer(answerer);
        setting("DirectoryPath", records);
        setting("KeepFileKeepFolder", kept);
        ZuSettings::standard().setBool(true, "KeepOperation");
        QDir().mkpath(records);
    }
    void TearDown() override {
        for (const QString& folder : {records, kept})
            for (const QString& name : QDir(folder).entryList(QDir::Files))
                ZuFileLock::unlock(folder + "/" + name);
        controler.reset();
        AuHardware::install(nullptr);
    }
    static void setting(const char* key, const QString& value) {
        ZuSettings::standard().setString(value, key);
    }
    ZuControler& launch() {
        controler = std::make_unique<ZuControler>();
        controler->setWindow(&window);
        controler->setApplication(&app);
        controler->awakeFromNib();
        return *controler;
    }
    QStringList namesIn(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    }
    void recordHours(int count) {
        for (int hour = 0; hour < count; ++hour)
            writeFile(records + "/" + hourName(1, hour), recordingBytes(8192, hour));
    }

    QString records = nwTestDir() + "/records";
    QString kept = nwTestDir() + "/kept";
    std::shared_ptr<ZuScriptedAnswerer> answerer;
    ZuModelWindow window;
    QuitApplication app;
    std::unique_ptr<ZuControler> controler;
};

} // namespace

TEST_F(ZuKeeperRoom, TheOldestRecordingsLeaveOnlyAsCompressedCopies) {
    ZuSettings::standard().setInteger(3600, "MaxRecordTime");
    ZuSettings::standard().setInteger(3 * 3600, "MaxTotalTime");
    recordHours(5);
    ZuControler& c = launch();
    // 5 hours against 3 + 1 allowed: the oldest one goes.
    EXPECT_TRUE(c.mechanic()->secureRecordSpace());
    ASSERT_TRUE(waitUntil([&] { return !c.keeper()->isCompressing(); }));
    EXPECT_EQ(namesIn(records).size(), 4);
    EXPECT_FALSE(QFile::exists(records + "/" + hourName(1, 0)));
    EXPECT_EQ(namesIn(kept), QStringList{hourName(1, 0, "aif.bz2")});
}

TEST_F(ZuKeeperRoom, AKeepFolderInTheRecordFolderIsRefusedAndNothingIsLost) {
    ZuSettings::standard().setInteger(3600, "MaxRecordTime");
    ZuSettings::standard().setInteger(3600 + 1, "MaxTotalTime");
    recordHours(3);
    for (const QString& keepFolder : {records, records + "/keep", records + "/../records"}) {
        SCOPED_TRACE(keepFolder.toStdString());
        setting("DirectoryPath", records);
        setting("KeepFileKeepFolder", keepFolder);
        KeeperEvents events;
        ZuControler& c = launch();
        // Refused at launch: the default folder serves instead.
        EXPECT_EQ(c.keeper()->keepFolder(), ZuKeeper::defaultKeepFolder());
        EXPECT_EQ(events.errors().filter("is the record folder").size(), 1);
        // Refused when chosen: the folder in use stays.
        c.keeper()->setKeepFolder(records);
        EXPECT_EQ(c.keeper()->keepFolder(), ZuKeeper::defaultKeepFolder());

        // The record folder moved onto the keep folder: keeping refuses to
        // copy a file onto itself and the mechanic deletes nothing.
        c.mechanic()->setDirPath(c.keeper()->keepFolder());
        const QString moved = c.keeper()->keepFolder();
        for (const QString& name : namesIn(records))
            QFile::copy(records + "/" + name, moved + "/" + name);
        EXPECT_FALSE(c.mechanic()->secureRecordSpace());
        EXPECT_EQ(namesIn(moved).filter(".aif").size(), 3);
        EXPECT_FALSE(c.keeper()->isCompressing());
        QDir(moved).removeRecursively();
        controler.reset();
        EXPECT_EQ(namesIn(records).size(), 3);
    }
}

TEST_F(ZuKeeperRoom, AFileThatVanishedCountsAsDeleted) {
    ZuSettings::standard().setInteger(3600, "MaxRecordTime");
    ZuSettings::standard().setInteger(2 * 3600, "MaxTotalTime");
    recordHours(4);
    ZuControler& c = launch();
    // Someone removes the oldest recording while it is being kept.
    const QString oldest = records + "/" + hourName(1, 0);
    QObject::connect(c.keeper()->dataSource(), &QAbstractItemModel::modelReset,
                     [&] { QFile::remove(oldest); });
    EXPECT_TRUE(c.mechanic()->deleteOlderFile());
    EXPECT_FALSE(QFile::exists(oldest));
    EXPECT_EQ(namesIn(records).size(), 3);
    ASSERT_TRUE(waitUntil([&] { return !c.keeper()->isCompressing(); }));
    EXPECT_EQ(namesIn(kept), QStringList{hourName(1, 0, "aif.bz2")});
}

TEST_F(ZuKeeperRoom, ARecordingWhoseCopyFailsIsNotDeleted) {
    QTemporaryDir other("/dev/shm/nw-keeper-XXXXXX");
    if (!other.isValid())
        GTEST_SKIP() << "no second volume at /dev/shm";
    records = other.path();
    setting("DirectoryPath", records);
    ZuSettings::standard().setInteger(3600, "MaxRecordTime");
    ZuSettings::standard().setInteger(3600, "MaxTotalTime");
    for (int hour = 0; hour < 3; ++hour)
        writeFile(records + "/" + hourName(1, hour), recordingBytes(200000, hour));
    KeeperEvents events;
    ZuControler& c = launch();
    {
        NwFileSizeLimit full(50000);
        EXPECT_FALSE(c.mechanic()->deleteOlderFile());
    }
    EXPECT_EQ(namesIn(records).size(), 3);
    EXPECT_TRUE(namesIn(kept).isEmpty());
    EXPECT_EQ(events.errors().filter("cannot copy").size(), 3);
}

TEST_F(ZuKeeperRoom, KeptFilesGoOldestFirstBeyondTheKeepPeriodSkippingLockedOnes) {
    ZuSettings::standard().setInteger(86400, "MaxRecordTime");
    ZuSettings::standard().setInteger(10, "KeepFileKeepPeriod");
    QDir().mkpath(kept);
    // Twelve kept days of 86399 s each: over 950400 s by one day and a bit.
    for (int day = 12; day >= 1; --day)
        writeFile(kept + QString::asprintf("/_Nightwarden_200703%02d_000000~235959.aif.bz2", day),
                  "k");
    ZuControler& c = launch();
    ZuKeeper& keeper = *c.keeper();
    EXPECT_EQ(keeper.totalKeepTime(), 12 * 86399.0);
    ASSERT_TRUE(ZuFileLock::lock(kept + "/_Nightwarden_20070301_000000~235959.aif.bz2"));
    EXPECT_TRUE(keeper.secureKeepSpace());
    const QStringList left = namesIn(kept);
    EXPECT_EQ(left.size(), 11);
    EXPECT_TRUE(left.contains("_Nightwarden_20070301_000000~235959.aif.bz2"));
    EXPECT_FALSE(left.contains("_Nightwarden_20070302_000000~235959.aif.bz2"));
    // 11 days: 950389 s, within the period.
    EXPECT_TRUE(keeper.secureKeepSpace());
    EXPECT_EQ(namesIn(kept).size(), 11);

    // Nothing deletable at all answers NO.
    keeper.setKeepPeriod(0);
    for (const QString& name : namesIn(kept))
        ZuFileLock::lock(kept + "/" + name);
    EXPECT_FALSE(keeper.secureKeepSpace());
    EXPECT_EQ(namesIn(kept).size(), 11);
}

TEST_F(ZuKeeperRoom, TheKeepTabActsOnTheSelectedRowOnly) {
    QDir().mkpath(kept);
    const QString older = "_Nightwarden_20070301_000000~010000.aif.bz2";
    const QString newer = "_Nightwarden_20070302_000000~010000.aif.bz2";
    writeFile(kept + "/" + older, "older");
    writeFile(kept + "/" + newer, "newer");
    ZuControler& c = launch();
    ZuKeeper& keeper = *c.keeper();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    keeper.mainTabSelected();
    EXPECT_EQ(keeper.totalFilesText.text(), "2");
    EXPECT_EQ(keeper.totalTimeText.text(), "2:00'00\"");

    // No selection: nothing is played, exported or deleted.
    keeper.dataView.setSelectedIndex(-1);
    answerer->alertAnswers = {ZuAlertButton::Default};
    keeper.actPlayback();
    keeper.actCopy();
    keeper.actDelete();
    EXPECT_TRUE(catcher.urls.isEmpty());
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    EXPECT_TRUE(answerer->saveRequests.isEmpty());
    EXPECT_EQ(namesIn(kept).size(), 2);

    keeper.dataView.setSelectedIndex(1);
    keeper.actPlayback();
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(kept + "/" + newer)});

    const QString target = nwTestDir() + "/export/" + newer;
    QDir().mkpath(nwTestDir() + "/export");
    answerer->saveAnswers = {target, nwTestDir() + "/missing/folder/x"};
    keeper.actCopy();
    ASSERT_EQ(answerer->saveRequests.size(), 1);
    EXPECT_EQ(answerer->saveRequests[0].fileName, newer);
    EXPECT_EQ(readFile(target), "newer");
    keeper.actCopy();
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileCopyError");

    answerer->alertAnswers = {ZuAlertButton::Alternate};
    keeper.actDelete();
    EXPECT_EQ(namesIn(kept).size(), 2);
    answerer->alertAnswers = {ZuAlertButton::Default};
    keeper.actDelete();
    EXPECT_EQ(namesIn(kept), QStringList{older});
    EXPECT_EQ(keeper.totalFilesText.text(), "1");
    EXPECT_EQ(keeper.dataView.selectedIndex(), -1);

    // A locked kept file stays, and the user is told.
    keeper.dataView.setSelectedIndex(0);
    ASSERT_TRUE(ZuFileLock::lock(kept + "/" + older));
    answerer->alertAnswers = {ZuAlertButton::Default};
    keeper.actDelete();
    EXPECT_EQ(answerer->modalAlerts.last().messageKey, "FileRemoveError");
    EXPECT_EQ(namesIn(kept), QStringList{older});

    // A file gone from under the list cannot be opened.
    ZuFileLock::unlock(kept + "/" + older);
    QFile::remove(kept + "/" + older);
    keeper.actPlayback();
    EXPECT_EQ(answerer->modalAlerts.last().messageKey, "FileOpenError");
    QDesktopServices::unsetUrlHandler("file");
}

TEST_F(ZuKeeperRoom, AQuitWhileCompressingEndsWhenTheQueueDrains) {
    ZuSettings::standard().setString(slowCommand(nwTestDir()), "CommandPathString");
    ZuSettings::standard().setString("%@", "CommandArgumentString");
    recordHours(1);
    ZuControler& c = launch();
    ASSERT_TRUE(c.keeper()->compressDataFile(records + "/" + hourName(1, 0)));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(nwTestDir() + "/started"); }));
    answerer->alertAnswers = {ZuAlertButton::Default};
    EXPECT_EQ(c.applicationShouldTerminate(), ZuTerminateReply::Later);
    EXPECT_TRUE(app.hidden);
    EXPECT_EQ(app.yesReplies, 0);
    writeFile(nwTestDir() + "/release", {});
    ASSERT_TRUE(waitUntil([&] { return app.yesReplies > 0; }));
    EXPECT_EQ(app.noReplies, 0);
    EXPECT_EQ(namesIn(kept), QStringList{hourName(1, 0, "aif.bz2")});
}

namespace {
// Answers like the user who takes a while: the keeper drains meanwhile.
class SlowAnswerer : public ZuScriptedAnswerer {
public:
    ZuKeeper* keeper = nullptr;
    ZuAlertButton runModal(const ZuAlert& alert) override {
        keeper->setCompressing(false);
        return ZuScriptedAnswerer::runModal(alert);
    }
};
} // namespace

TEST_F(ZuKeeperRoom, AQueueThatDrainsWhileTheUserAnswersDoesNotLeaveTheQuitWaiting) {
    ZuControler& c = launch();
    auto slow = std::make_shared<SlowAnswerer>();
    slow->keeper = c.keeper();
    ZuAlerts::setAnswerer(slow);
    c.keeper()->setCompressing(true);
    EXPECT_EQ(c.applicationShouldTerminate(), ZuTerminateReply::Now);
    ASSERT_EQ(slow->modalAlerts.size(), 1);
    EXPECT_EQ(slow->modalAlerts.first().messageKey, "CompressingCaution");
    EXPECT_FALSE(app.hidden);
}

#include "ZuKeeperRoomTest.moc"
