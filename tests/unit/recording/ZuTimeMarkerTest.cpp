// The time marker: the minutes that get marks, the sound made at each
// device's rate, the switch, and what the capture and monitor callbacks mix
// into the recording and the monitor output.
#include "recording/ZuTimeMarker.h"
#include "audio/AuDevice.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuNotificationCenter.h"
#include "platform/ZuPaths.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuAuthorization.h"
#include "shell/ZuControler.h"
#include "support/NwConsoleCapture.h"
#include "support/NwSound.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Sound = ZuTimeMarker::Sound;

// A marker sound file as the folder holds them: 16-bit big-endian AIFF.
void writeMarker(const QString& name, double rate, uint32_t channels,
                 const std::vector<int16_t>& samples) {
    AuStreamBasicDescription format;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsPacked;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 16;
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = format.mBytesPerPacket = 2 * channels;
    QDir().mkpath(ZuPaths::systemSoundFolder());
    auto file = ZuAudioFile::create(ZuPaths::systemSoundFolder() + "/" + name + ".aiff", format);
    ASSERT_TRUE(file);
    std::vector<int16_t> big(samples.size());
    std::transform(samples.begin(), samples.end(), big.begin(),
                   [](int16_t s) { return qToBigEndian(s); });
    ASSERT_EQ(file->writeBytes(0, uint32_t(big.size() * 2), big.data()),
              ZuAudioFile::Status::NoError);
    file->close();
}

// The 16-bit sample a recording holds for input x with marker sample m.
int16_t recorded(float x, int16_t m) {
    const float sum = std::clamp(x + float(m) / 32767.0f, -1.0f, 1.0f);
    return int16_t(sum * 32767.0f);
}

// Stereo frames whose left and right differ and change every frame.
int16_t stereoLeft(size_t frame) {
    return int16_t(1000 + frame % 5000);
}

class TimeMarkerTest : public testing::Test {
protected:
    static constexpr double deviceRate = 44100.0;
    static constexpr uint32_t cycleFrames = 512;

    void SetUp() override {
        ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(10, 24, 50)));
        ZuPaths::setSystemSoundFolder(nwTestDir() + "/sounds");
        ZuSettings& store = ZuSettings::standard();
        store.setString(nwTestDir() + "/records", "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        store.setBool(false, "StartOnTheHour");
        store.setInteger(2, "SamplingRateNumber");
        store.setInteger(2, "ChannelsNumber");
        store.setInteger(2, "MarkerSoundOption");
        store.setInteger(1, "MonitorSourceDevice");
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);

        std::vector<int16_t> stereo;
        for (size_t k = 0; k < 44100; ++k) {
            stereo.push_back(stereoLeft(k));
            stereo.push_back(int16_t(-stereoLeft(k)));
        }
        writeMarker("Stereo", 44100, 2, stereo);
        std::vector<int16_t> mono(44100);
        for (size_t k = 0; k < mono.size(); ++k)
            mono[k] = int16_t(3000 - int(k % 6000));
        writeMarker("Mono", 44100, 1, mono);
        writeMarker("Short", 44100, 2, std::vector<int16_t>(8820, 2000));
        writeMarker("Other", 44100, 2, std::vector<int16_t>(4410, 6000));
        writeMarker("Loud", 44100, 1, std::vector<int16_t>(1000, 16384));
    }

    void TearDown() override {
        ZuNotificationCenter::defaultCenter().removeObserver(this);
        controler.reset();
        AuHardware::install(std::move(previous));
        ZuClock::useSystemTime();
        ZuPaths::setSystemSoundFolder({});
        ZuAuthorizationSetup::setAnswer({});
    }

    // A 44.1 kHz microphone with that input and 48 kHz speakers (the second
    // output by name) as the monitor, both stepped.
    ZuRecorder& launch(AuVirtualInput input = {}) {
        AuVirtualDeviceConfig mic =
            AuVirtualDeviceConfig::standard("Virtual Microphone", "vm", 2, 2);
        mic.input = input;
        AuVirtualDeviceConfig phones =
            AuVirtualDeviceConfig::standard("Virtual Speakers", "vs", 0, 2);
        phones.info.sampleRates = {{48000, 48000}};
        phones.info.nominalSampleRate = 48000;
        auto backend = std::make_unique<AuVirtualHardware>(
            std::vector<AuVirtualDeviceConfig>{mic, phones}, AuVirtualHardware::Pacing::Stepped);
        hardware = backend.get();
        previous = AuHardware::install(std::move(backend));
        controler = std::make_unique<ZuControler>();
        controler->awakeFromNib();
        controler->applicationDidFinishLaunching();
        recorder().setInputLevelSource([this] { return level; });
        return recorder();
    }
    ZuRecorder& recorder() { return *controler->recorder(); }
    ZuTimeMarker& marker() { return recorder().timeMarker(); }
    void press(ZuControl& button, int state) {
        button.setState(state);
        button.perform();
    }

    AuObjectID recordDevice() { return controler->devicer()->recordDevice()->deviceID(); }
    AuObjectID monitorDevice() { return controler->devicer()->monitorDevice()->deviceID(); }
    // Record cycles, the clock (whole milliseconds) keeping up with the sound.
    void cycles(uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            hardware->step(recordDevice(), 1);
            framesRun += cycleFrames;
            const auto due = int64_t(double(framesRun) * 1000.0 / deviceRate);
            ZuClock::advance(double(due - clockMs) / 1000.0);
            clockMs = due;
        }
    }

    // The single recording, stopped now.
    NwSound stopAndRead() {
        press(recorder().recordButton, 0);
        const QStringList names = QDir(nwTestDir() + "/records")
                                      .entryList({"_Nightwarden_*.aif"}, QDir::Files, QDir::Name);
        EXPECT_EQ(names.size(), 1);
        return names.isEmpty() ? NwSound{}
                               : NwSound::read(nwTestDir() + "/records/" + names.first());
    }

    // Stretches of sound that are not silence: (first sample, samples).
    static std::vector<std::pair<size_t, size_t>> marks(const std::vector<int16_t>& samples) {
        std::vector<std::pair<size_t, size_t>> found;
        for (size_t i = 0; i < samples.size(); ++i) {
            if (samples[i] == 0)
                continue;
            if (found.empty() || found.back().first + found.back().second < i)
                found.emplace_back(i, 0);
            found.back().second = i + 1 - found.back().first;
        }
        return found;
    }

    // The log events posted from now on go to posted.
    void watchLogEvents() {
        ZuNotificationCenter::defaultCenter().addObserver(
            ZuLogEvent::notificationName, this,
            [this](const ZuNotification& n) { posted << n.object.toString(); });
    }

    std::shared_ptr<ZuScriptedAnswerer> answerer;
    AuVirtualHardware* hardware = nullptr;
    std::unique_ptr<AuHardware> previous;
    std::unique_ptr<ZuControler> controler;
    int32_t level = 0;
    QStringList posted;
    uint64_t framesRun = 0;
    int64_t clockMs = 0;
};

} // namespace

TEST(TimeMarkerSchedule, MarksFallOnTheChosenMinutesThreeOnTheHourTwoOnTheHalf) {
    // Option 2 is every five minutes.
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(2, 25), 1);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(2, 27), 0);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(2, 30), 2);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(2, 0), 3);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(0, 7), 1);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(3, 45), 1);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(4, 15), 0);
    // An unknown choice makes no ordinary marks, only the hour's and half hour's.
    EXPECT_EQ(ZuTimeMarker::markerIntervalWithNumber(9), 30);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(9, 10), 0);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(9, 30), 1);
    EXPECT_EQ(ZuTimeMarker::marksAtMinute(9, 0), 2);
}

TEST(TimeMarkerSound, ResamplingKeepsTheChannelsOfEachFrameApart) {
    std::vector<int16_t> stereo;
    for (size_t k = 0; k < 44100; ++k) {
        stereo.push_back(stereoLeft(k));
        stereo.push_back(int16_t(-stereoLeft(k)));
    }
    const Sound same =
        ZuTimeMarker::transformSoundData(stereo.data(), stereo.size(), 44100, 44100, 2);
    EXPECT_EQ(same, stereo);
    const Sound up =
        ZuTimeMarker::transformSoundData(stereo.data(), stereo.size(), 44100, 48000, 2);
    ASSERT_EQ(up.size(), 96000u);
    for (size_t k = 0; k < 48000; ++k) {
        const size_t from = k * 44100 / 48000;
        ASSERT_EQ(up[2 * k], stereoLeft(from)) << k;
        ASSERT_EQ(up[2 * k + 1], -stereoLeft(from)) << k;
    }
    // Down to 22 050 Hz every other frame, still left then right.
    const Sound down =
        ZuTimeMarker::transformSoundData(stereo.data(), stereo.size(), 44100, 22050, 2);
    ASSERT_EQ(down.size(), 44100u);
    EXPECT_EQ(down[2 * 7], stereoLeft(14));
    EXPECT_EQ(down[2 * 7 + 1], -stereoLeft(14));
}

TEST(TimeMarkerSound, AMonoSoundGoesToBothChannels) {
    std::vector<int16_t> mono(44100);
    for (size_t k = 0; k < mono.size(); ++k)
        mono[k] = int16_t(k % 30000);
    const Sound same = ZuTimeMarker::transformSoundData(mono.data(), mono.size(), 44100, 44100, 1);
    ASSERT_EQ(same.size(), 88200u);
    for (size_t k = 0; k < mono.size(); ++k) {
        ASSERT_EQ(same[2 * k], mono[k]);
        ASSERT_EQ(same[2 * k + 1], mono[k]);
    }
    // The shipped sounds' 22 050 Hz on a 44 100 Hz device: each sample twice.
    const Sound up = ZuTimeMarker::transformSoundData(mono.data(), 100, 22050, 44100, 1);
    ASSERT_EQ(up.size(), 400u);
    EXPECT_EQ(up[2 * 6], mono[3]);
    EXPECT_EQ(up[2 * 7 + 1], mono[3]);
}

TEST_F(TimeMarkerTest, AOneSecondMarkerSpans87CyclesAndIsRecordedOverTheInput) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Stereo", "MarkerSoundName");
    ZuRecorder& r = launch();
    EXPECT_EQ(marker().markerSize(), 88200);
    EXPECT_EQ(marker().monitorMarkerSize(), 96000);
    press(r.recordButton, 1);
    cycles(20);
    marker().markTheMinute(25);
    EXPECT_EQ(marker().writeMarker(), 88200);
    cycles(86);
    EXPECT_EQ(marker().writeMarker(), 88200 - 86 * 1024);
    cycles(1);
    EXPECT_EQ(marker().writeMarker(), 0);
    cycles(20);
    const NwSound sound = stopAndRead();
    ASSERT_EQ(sound.channels, 2);
    const auto found = marks(sound.samples);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].first, 20u * cycleFrames * 2);
    ASSERT_EQ(found[0].second, 88200u);
    for (size_t k = 0; k < 44100; ++k) {
        ASSERT_EQ(sound.samples[found[0].first + 2 * k], recorded(0.0f, stereoLeft(k))) << k;
        ASSERT_EQ(sound.samples[found[0].first + 2 * k + 1], recorded(0.0f, -stereoLeft(k)));
    }
}

TEST_F(TimeMarkerTest, AMonoMarkerIsRecordedInBothChannels) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Mono", "MarkerSoundName");
    ZuRecorder& r = launch();
    EXPECT_EQ(marker().markerSize(), 88200);
    press(r.recordButton, 1);
    marker().markTheMinute(5);
    cycles(100);
    const NwSound sound = stopAndRead();
    const auto found = marks(sound.samples);
    ASSERT_FALSE(found.empty());
    const size_t first = found[0].first;
    for (size_t k = 0; k < 44100; ++k) {
        const int16_t expected = recorded(0.0f, int16_t(3000 - int(k % 6000)));
        ASSERT_EQ(sound.samples[first + 2 * k], expected) << k;
        ASSERT_EQ(sound.samples[first + 2 * k + 1], expected) << k;
    }
}

TEST_F(TimeMarkerTest, TheMixedSumStaysWithinFullScale) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Loud", "MarkerSoundName");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    marker().markTheMinute(5);
    std::vector<float> samples = {0.9f, -0.9f, 0.7f, -1.0f};
    marker().mixRecord(samples.data(), uint32_t(samples.size()));
    EXPECT_EQ(samples[0], 1.0f);
    EXPECT_FLOAT_EQ(samples[1], -0.9f + 16384.0f / 32767.0f);
    EXPECT_EQ(samples[2], 1.0f);
    EXPECT_FLOAT_EQ(samples[3], -1.0f + 16384.0f / 32767.0f);
}

TEST_F(TimeMarkerTest, TheHourGetsThreeMarksOneAfterAnotherWithoutWaitingOnTheMainThread) {
    ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(10, 59, 58)));
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Short", "MarkerSoundName");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    // The minute tick at 11:00:00 arms the first mark and returns at once;
    // the others follow as the sound is played out.
    cycles(uint32_t(5 * deviceRate / cycleFrames));
    const NwSound sound = stopAndRead();
    const auto found = marks(sound.samples);
    ASSERT_EQ(found.size(), 3u);
    const double hour = 2.0 * deviceRate * 2;
    EXPECT_NEAR(double(found[0].first), hour, 2.0 * cycleFrames * 2);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(found[i].second, 8820u) << i;
        if (i > 0) {
            // The next one at the first tenth-of-a-second check after the end.
            const size_t gap = found[i].first - (found[i - 1].first + found[i - 1].second);
            EXPECT_LE(gap, size_t((0.1 * deviceRate + 2 * cycleFrames) * 2)) << i;
        }
    }
}

TEST_F(TimeMarkerTest, ListeningInTheLevelModeTheMarksReachThePriorTime) {
    ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(10, 29, 58)));
    ZuSettings& store = ZuSettings::standard();
    store.setBool(true, "MarkerSoundSwitch");
    store.setString("Other", "MarkerSoundName");
    store.setInteger(1, "RecordMode");
    store.setInteger(10, "AutoStartLevel");
    store.setInteger(3, "PreBufferingSeconds");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    cycles(uint32_t(3 * deviceRate / cycleFrames));
    EXPECT_NE(r.condition(), 1);
    level = 20;
    cycles(uint32_t(1 * deviceRate / cycleFrames));
    EXPECT_EQ(r.condition(), 1);
    const NwSound sound = stopAndRead();
    // Two marks at 10:30:00, a second before the level rose.
    const auto found = marks(sound.samples);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].second, 4410u);
    EXPECT_LT(found[1].first, size_t(3 * deviceRate * 2));
}

TEST_F(TimeMarkerTest, TheMonitorPlaysTheMarkAtItsOwnRateOnlyWhenAskedAndOn) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Stereo", "MarkerSoundName");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    press(r.monitorButton, 1);
    const auto monitorCycles = uint32_t(1.2 * 48000 / cycleFrames);

    // Without the option the monitor stays silent while the mark is recorded.
    marker().markTheMinute(10);
    hardware->step(monitorDevice(), monitorCycles);
    cycles(100);
    std::vector<float> out = hardware->capturedOutput(monitorDevice());
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; }));

    r.setMarkerMonitor(true);
    EXPECT_EQ(r.monitorButton.title(), "5");
    marker().markTheMinute(15);
    hardware->step(monitorDevice(), monitorCycles);
    out = hardware->capturedOutput(monitorDevice());
    const auto first = size_t(
        std::find_if(out.begin(), out.end(), [](float x) { return x != 0.0f; }) - out.begin());
    ASSERT_LT(first + 96000, out.size());
    for (size_t k = 0; k < 48000; ++k) {
        const size_t from = k * 44100 / 48000;
        ASSERT_EQ(out[first + 2 * k], float(stereoLeft(from)) / 32767.0f) << k;
        ASSERT_EQ(out[first + 2 * k + 1], -float(stereoLeft(from)) / 32767.0f) << k;
    }
    EXPECT_EQ(out[first + 96000], 0.0f);
    cycles(100);
    EXPECT_EQ(marks(stopAndRead().samples).size(), 2u);
}

TEST_F(TimeMarkerTest, TheSwitchIsSavedLoggedTitledAndGuardedByTheAdministratorCheck) {
    ZuSettings::standard().setString("Short", "MarkerSoundName");
    ZuRecorder& r = launch();
    watchLogEvents();
    EXPECT_EQ(r.recordButton.title(), "");
    EXPECT_EQ(marker().markerSize(), 0);
    press(r.markerButton, 1);
    EXPECT_TRUE(r.markerSwitch());
    EXPECT_TRUE(ZuSettings::standard().boolForKey("MarkerSoundSwitch"));
    EXPECT_EQ(posted, QStringList{"MarkerSwitchChange"});
    EXPECT_EQ(marker().markerSize(), 8820);
    EXPECT_EQ(r.recordButton.title(), "5");
    EXPECT_EQ(r.monitorButton.title(), "");
    r.setMarkerOption(0);
    EXPECT_EQ(r.recordButton.title(), "1");

    ZuAuthorizationSetup::setAnswer([] { return 0; });
    press(controler->authorizationButton, 1);
    ASSERT_TRUE(controler->authorization());
    ZuAuthorizationSetup::setAnswer([] { return -1; });
    posted.clear();
    press(r.markerButton, 0);
    EXPECT_EQ(r.markerButton.state(), 1);
    EXPECT_TRUE(r.markerSwitch());
    EXPECT_TRUE(posted.isEmpty());

    ZuAuthorizationSetup::setAnswer([] { return 0; });
    press(r.markerButton, 0);
    EXPECT_FALSE(r.markerSwitch());
    EXPECT_EQ(r.recordButton.title(), "");
    EXPECT_FALSE(ZuSettings::standard().boolForKey("MarkerSoundSwitch"));
}

TEST_F(TimeMarkerTest, AMissingSoundSwitchesTheMarkerOffAndSaysWhy) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Nothing", "MarkerSoundName");
    NwConsoleCapture console;
    watchLogEvents();
    ZuRecorder& r = launch();
    EXPECT_FALSE(r.markerSwitch());
    EXPECT_EQ(r.markerButton.state(), 0);
    EXPECT_FALSE(ZuSettings::standard().boolForKey("MarkerSoundSwitch"));
    EXPECT_TRUE(posted.contains("MarkerSwitchChange")) << posted.join(", ").toStdString();
    EXPECT_TRUE(console.lines().contains("ZuRecorder: marker sound file open error."));
    EXPECT_EQ(r.recordButton.title(), "");
}

TEST_F(TimeMarkerTest, AnEmptySoundNameTakesTheFolderFirstSound) {
    ZuRecorder& r = launch();
    EXPECT_EQ(r.markerSound(), "Loud");
}

TEST_F(TimeMarkerTest, ASoundReplacedDuringAMarkPlaysOutAndIsFreedAfterwards) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Stereo", "MarkerSoundName");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    marker().markTheMinute(5);
    cycles(10);
    r.setMarkerSound("Other");
    r.initMarkerBuffer();
    EXPECT_EQ(marker().markerSize(), 4410);
    EXPECT_EQ(marker().retiredSounds(), 1u);
    // The clock's checks find the old sound still playing.
    ZuClock::advance(0.3);
    EXPECT_EQ(marker().retiredSounds(), 1u);
    cycles(77);
    EXPECT_EQ(marker().writeMarker(), 0);
    ZuClock::advance(0.1);
    EXPECT_EQ(marker().retiredSounds(), 0u);
    marker().markTheMinute(10);
    cycles(20);
    const auto found = marks(stopAndRead().samples);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].second, 88200u);
    EXPECT_EQ(found[1].second, 4410u);
}

// The callback mixes on its own thread while the main thread replaces the
// sound and arms marks: every mixed sample comes from a whole sound, and
// every replaced sound is freed once no mark holds it.
TEST_F(TimeMarkerTest, MixingOnAnotherThreadWhileTheSoundIsReplaced) {
    ZuSettings::standard().setBool(true, "MarkerSoundSwitch");
    ZuSettings::standard().setString("Short", "MarkerSoundName");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> mixes{0};
    std::atomic<uint64_t> strange{0};
    std::thread callback([&] {
        std::vector<float> samples(1024);
        while (!stop.load()) {
            std::fill(samples.begin(), samples.end(), 0.0f);
            marker().mixRecord(samples.data(), uint32_t(samples.size()));
            for (float x : samples)
                if (x != 0.0f && x != 2000.0f / 32767.0f && x != 6000.0f / 32767.0f)
                    strange.fetch_add(1);
            mixes.fetch_add(1);
        }
    });
    for (int i = 0; i < 200; ++i) {
        r.setMarkerSound(i % 2 ? "Other" : "Short");
        r.initMarkerBuffer();
        marker().markTheMinute(i % 60);
        const uint64_t seen = mixes.load();
        while (mixes.load() < seen + 3)
            std::this_thread::yield();
        ZuClock::advance(0.1);
    }
    // The last mark ends, so that no sound is held any more.
    while (marker().writeMarker() != 0)
        std::this_thread::yield();
    stop.store(true);
    callback.join();
    EXPECT_EQ(strange.load(), 0u);
    for (int i = 0; i < 3 && marker().retiredSounds() > 0; ++i)
        ZuClock::advance(0.1);
    EXPECT_EQ(marker().retiredSounds(), 0u);
}
