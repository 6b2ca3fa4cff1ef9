// Exporting recordings from the player over a real controller and real files:
// whole and range copies, the names with times and note, the recording in
// progress, notes that would make unsafe names, and copies that fail.
#include "playback/ZuPlayerCopy.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuPanels.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuAudioFile.h"
#include "shell/ZuControler.h"
#include "shell/ZuModelWindow.h"
#include "support/NwAiff.h"
#include "support/NwConsoleCapture.h"
#include "support/NwFileSizeLimit.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Crosses midnight: 23:30:00 to 00:10:30, 40'30".
const QString night = "_Nightwarden_20070315_233000~001030.aif";
const QString morning = "_Nightwarden_20070316_080000~081000.aif";
const QString progress = "_Nightwarden_20070316_120000~120500.aif";

QByteArray contents(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The sound data of a file, read through its own header.
QByteArray soundOf(const QString& path, AuStreamBasicDescription* format = nullptr) {
    auto file = ZuAudioFile::open(path, ZuAudioFile::Mode::Read);
    if (!file)
        return "(no sound file)";
    if (format)
        *format = file->dataFormat();
    QByteArray bytes(file->audioDataByteCount(), '\0');
    auto size = uint32_t(bytes.size());
    file->readBytes(0, &size, bytes.data());
    bytes.truncate(size);
    return bytes;
}

class ZuPlayerCopy : public testing::Test {
protected:
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuPanels::setAnswerer(answerer);
        ZuSettings::standard().setString(records, "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        QDir().mkpath(records);
        QDir().mkpath(exports);
        nwWriteAiff(
            records + "/" + night, 2 * 22050, [](int64_t i) -> int16_t { return int16_t(i * 7); },
            2, 22050.0);
        nwWriteAiff(
            records + "/" + morning, 22050, [](int64_t i) -> int16_t { return int16_t(-i); }, 1,
            11025.0);
        nwWriteAiff(
            records + "/" + progress, 4410, [](int64_t i) -> int16_t { return int16_t(i * 3); }, 1,
            44100.0);
        ASSERT_TRUE(ZuPlayer::writeNoteWithPath(records + "/" + night, "night watch"));
        controler = std::make_unique<ZuControler>();
        controler->setWindow(&window);
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        // Named once launched, since the launch removes a progress file left
        // over from a crash.
        ZuSettings::standard().setString(records + "/" + progress, "ProgressSoundFileName");
        player = controler->player();
        player->renewListAndControl();
    }
    void TearDown() override {
        controler->applicationWillTerminate();
        controler.reset();
        AuHardware::install(nullptr);
    }

    void select(const QString& name) {
        player->dataView.setSelectedIndex(int(player->dataSource()->fileNames().indexOf(name)));
        player->changeSelectRow();
    }
    // Copies the selected recording to the chosen path with the options.
    void copyTo(const QString& chosen, bool addDate = false, bool addNote = false) {
        answerer->saveAnswers = {chosen};
        answerer->saveAccessoryStates = {{addDate ? 1 : 0, addNote ? 1 : 0}};
        player->copyButton.perform();
    }
    QStringList exported() const {
        return QDir(exports).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QString logBook() const { return QString::fromUtf8(contents(ZuDutyLog::logBookPath(records))); }

    QString records = nwTestDir() + "/records";
    QString exports = nwTestDir() + "/exports";
    std::shared_ptr<ZuScriptedAnswerer> answerer;
    ZuModelWindow window;
    std::unique_ptr<ZuControler> controler;
    ZuPlayer* player = nullptr;
};

} // namespace

TEST(ZuPlayerCopyRange, TheSelectionStandsForWholeFramesOfTheSoundData) {
    // No selection, or no picture to select in: all of it.
    EXPECT_EQ(ZuSoundRange::of(88200, 2, {}, 480).head, 0);
    EXPECT_EQ(ZuSoundRange::of(88200, 2, {}, 480).tail, 88200);
    EXPECT_EQ(ZuSoundRange::of(88200, 2, {10, 20}, 0).length(), 88200);
    // 1000 bytes over 3 columns: column 1 starts at 333, rounded down to a
    // whole mono frame; stereo frames are 4 bytes.
    EXPECT_EQ(ZuSoundRange::of(1000, 1, {1, 1}, 3).head, 332);
    EXPECT_EQ(ZuSoundRange::of(1000, 1, {1, 1}, 3).tail, 666);
    EXPECT_EQ(ZuSoundRange::of(1000, 2, {1, 1}, 3).head, 332);
    EXPECT_EQ(ZuSoundRange::of(1000, 2, {1, 1}, 3).tail, 664);
    EXPECT_EQ(ZuSoundRange::of(1000, 2, {0, 3}, 3).length(), 1000);
    // A 3 GiB recording: the products do not fit 32 bits.
    const int64_t large = int64_t(3) << 30;
    const ZuSoundRange half = ZuSoundRange::of(large, 2, {240, 240}, 480);
    EXPECT_EQ(half.head, large / 2);
    EXPECT_EQ(half.tail, large);
    EXPECT_EQ(ZuSoundRange::of(large, 2, {479, 1}, 480).head, 3214514584);
}

TEST(ZuPlayerCopyNames, TimesAndNoteJoinTheChosenName) {
    EXPECT_EQ(ZuExport::datePart(night, false, 0, 0), "20070315_233000~001030");
    // The clock times of a selection are not reduced past midnight.
    EXPECT_EQ(ZuExport::datePart(night, true, 85815, 87030), "20070315_235015~241030");
    EXPECT_EQ(ZuExport::destinationPath("/out/take.aif", "20070315_233000~001030", "n"),
              "/out/take_20070315_233000~001030_n.aif");
    // The required extension is added when the chosen name lacks it.
    EXPECT_EQ(ZuExport::destinationPath("/out/take", {}, {}), "/out/take.aif");
    EXPECT_EQ(ZuExport::destinationPath("/out/take.wav", {}, "x"), "/out/take.wav_x.aif");
}

TEST(ZuPlayerCopyNames, ANoteNeverLeavesTheFolderNorMakesAnInvalidName) {
    EXPECT_EQ(ZuExport::destinationPath("/out/take.aif", {}, "../../etc/passwd"),
              "/out/take_.._.._etc_passwd.aif");
    EXPECT_EQ(ZuExport::destinationPath("/out/take.aif", {}, "a/b"), "/out/take_a_b.aif");
    EXPECT_EQ(ZuExport::notePartOfName(QStringLiteral("a") + QChar(0) + "b\nc\x7f"), "a_b_c_");
    // The name stays within the longest the file system takes, cutting the
    // note by whole characters.
    const QString chosen = "/out/" + QString(200, 'n') + ".aif";
    QString clefs;
    for (int i = 0; i < 40; ++i)
        clefs += QString::fromUcs4(U"\U0001D11E");
    const QString path = ZuExport::destinationPath(chosen, "20070315_233000~001030", clefs);
    const QString name = QFileInfo(path).fileName();
    EXPECT_LE(QFile::encodeName(name).size(), 255);
    EXPECT_TRUE(name.endsWith(QString::fromUcs4(U"\U0001D11E") + ".aif"));
    EXPECT_EQ(QFileInfo(path).path(), "/out");
}

TEST_F(ZuPlayerCopy, AWholeCopyIsTheSameFileAndTheLogBookNamesBoth) {
    select(night);
    ASSERT_TRUE(player->copyButton.isEnabled());
    copyTo(exports + "/take.aif");
    ASSERT_EQ(answerer->saveRequests.size(), 1);
    const ZuSavePanelRequest& request = answerer->saveRequests[0];
    EXPECT_EQ(request.title, "Export Recording");
    EXPECT_EQ(request.prompt, "Export");
    EXPECT_EQ(request.requiredFileType, "aif");
    EXPECT_TRUE(request.canCreateDirectories);
    EXPECT_EQ(request.accessory, (QList<ZuControl*>{&player->addDateCheck, &player->addNoteCheck}));

    EXPECT_EQ(exported(), QStringList{"take.aif"});
    EXPECT_EQ(contents(exports + "/take.aif"), contents(records + "/" + night));
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    EXPECT_EQ(player->originalFile(), night);
    EXPECT_EQ(player->destinationFile(), "take.aif");
    const QString log = logBook();
    EXPECT_TRUE(log.contains("original\t= " + night)) << log.toStdString();
    EXPECT_TRUE(log.contains("copy\t= take.aif")) << log.toStdString();

    // Cancelled: nothing is copied and the options stay as they were.
    ZuSettings::standard().setBool(true, "AddDateName");
    answerer->saveAccessoryStates = {{0, 1}};
    player->actCopy();
    EXPECT_EQ(exported().size(), 1);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("AddDateName"));
    EXPECT_FALSE(ZuSettings::standard().boolForKey("AddNoteName"));
}

TEST_F(ZuPlayerCopy, TheOptionsComeFromTheSettingsAndGoBackIntoThem) {
    select(morning);
    ZuSettings::standard().setBool(true, "AddNoteName");
    answerer->saveAnswers = {exports + "/a.aif"};
    player->actCopy();
    EXPECT_EQ(player->addDateCheck.state(), 0);
    EXPECT_EQ(player->addNoteCheck.state(), 1);
    // The morning's note is empty: the name stays as chosen.
    EXPECT_EQ(exported(), QStringList{"a.aif"});

    copyTo(exports + "/b.aif", true, false);
    EXPECT_TRUE(ZuSettings::standard().boolForKey("AddDateName"));
    EXPECT_FALSE(ZuSettings::standard().boolForKey("AddNoteName"));
    EXPECT_TRUE(exported().contains("b_20070316_080000~081000.aif"))
        << exported().join(" ").toStdString();
}

TEST_F(ZuPlayerCopy, ARangeCopyHoldsExactlyTheSelectedSoundAndNoNote) {
    select(night);
    // Columns 240 to 480 of 480: the second half, clock times past midnight.
    player->waveView()->setSelectedRange({240, 240});
    copyTo(exports + "/half.aif", true, true);
    const QString name = "half_20070315_235015~241030_night watch.aif";
    ASSERT_EQ(exported(), QStringList{name});

    AuStreamBasicDescription source;
    AuStreamBasicDescription copy;
    const QByteArray whole = soundOf(records + "/" + night, &source);
    const QByteArray part = soundOf(exports + "/" + name, &copy);
    const ZuSoundRange range = ZuSoundRange::of(whole.size(), 2, {240, 240}, 480);
    EXPECT_EQ(range.length(), whole.size() / 2);
    EXPECT_EQ(part, whole.mid(range.head, range.length()));
    EXPECT_EQ(copy.mSampleRate, source.mSampleRate);
    EXPECT_EQ(copy.mChannelsPerFrame, 2u);
    EXPECT_EQ(ZuPlayList::noteOfFile(exports + "/" + name), "");
    EXPECT_EQ(player->destinationFile(), name);
    // The selection stays for playing or copying again.
    EXPECT_EQ(player->waveView()->selectedRange(), (ZuRange{240, 240}));
}

TEST_F(ZuPlayerCopy, TheRecordingInProgressIsCopiedAsItsHeaderCountsIt) {
    select(progress);
    EXPECT_TRUE(player->copyButton.isEnabled());
    EXPECT_FALSE(player->deleteButton.isEnabled());
    const QByteArray counted = soundOf(records + "/" + progress);
    // The writer has gone on past what the header counts.
    {
        QFile file(records + "/" + progress);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(QByteArray(1001, char(0x7f)));
    }
    copyTo(exports + "/now.aif");
    ASSERT_EQ(exported(), QStringList{"now.aif"});
    EXPECT_EQ(soundOf(exports + "/now.aif"), counted);
    EXPECT_EQ(QFile(exports + "/now.aif").size(), 4096 + counted.size());
    // The whole picture was selected for the copy only.
    EXPECT_EQ(player->waveView()->selectedRange(), ZuRange{});
}

TEST_F(ZuPlayerCopy, AnUnsafeNoteNamesAFileInTheChosenFolder) {
    ASSERT_TRUE(ZuPlayer::writeNoteWithPath(records + "/" + night, "/../../escape"));
    player->renewListAndControl();
    // The folders that would let the note's path lead out of the chosen one.
    QDir().mkpath(exports + "/take_");
    select(night);
    copyTo(exports + "/take.aif", false, true);
    EXPECT_EQ(exported(), QStringList{"take__.._.._escape.aif"});
    EXPECT_FALSE(QFile::exists(nwTestDir() + "/escape.aif"));
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
}

TEST_F(ZuPlayerCopy, AFailedCopyLeavesNothingThatLooksComplete) {
    const QString existing = exports + "/earlier.aif";
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("the user's own file");
    file.close();
    select(night);
    NwConsoleCapture console;
    {
        // The disk fills after the header and a little sound.
        NwFileSizeLimit full(4096 + 10000);
        copyTo(exports + "/whole.aif");
        player->waveView()->setSelectedRange({0, 400});
        copyTo(exports + "/range.aif");
        copyTo(existing);
    }
    EXPECT_EQ(exported(), QStringList{"earlier.aif"});
    EXPECT_EQ(contents(existing), "the user's own file");
    ASSERT_EQ(answerer->modalAlerts.size(), 3);
    for (const ZuAlert& alert : answerer->modalAlerts)
        EXPECT_EQ(alert.messageKey, "FileCopyError");
    EXPECT_TRUE(player->destinationFile().isEmpty());
    const QStringList lines = console.lines();
    EXPECT_EQ(lines.filter("ZuPlayer: file copy error.").size(), 3)
        << lines.join("\n").toStdString();
    EXPECT_EQ(lines.filter("no copy is left there").size(), 3);
    EXPECT_TRUE(logBook().contains("ZuPlayer: file copy error."));
}

TEST_F(ZuPlayerCopy, ACopyNeverReplacesTheRecordingItself) {
    select(night);
    const QByteArray before = contents(records + "/" + night);
    player->waveView()->setSelectedRange({0, 10});
    copyTo(records + "/" + night);
    EXPECT_EQ(contents(records + "/" + night), before);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileCopyError");
}
