#include "recording/ZuTimeMarker.h"

#include "audio/AuBufferList.h"
#include "audio/ZuDevice.h"
#include "platform/ZuLogEvent.h"
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "platform/ZuTimer.h"
#include "preferences/ZuPrefer.h"
#include "recording/ZuAudioFile.h"
#include "recording/ZuMechanic.h"
#include "recording/ZuRecorder.h"
#include "shell/ZuControler.h"

#include <QDir>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <new>

namespace {

ZuSettings& store() {
    return ZuSettings::standard();
}

// A mixed sample never leaves full scale: the file's 16 bits cannot hold more.
float mixed(float sample, int16_t marker) {
    return std::clamp(sample + float(marker) / 32767.0f, -1.0f, 1.0f);
}

} // namespace

// Track: the main thread publishes and arms, one callback thread mixes.

ZuTimeMarker::Track::~Track() = default;

void ZuTimeMarker::Track::replace(std::unique_ptr<Sound> sound) {
    published.store(sound.get());
    if (owned)
        retired.push_back(std::move(owned));
    owned = std::move(sound);
    collect();
}

void ZuTimeMarker::Track::arm() {
    remainingSamples.store(size(), std::memory_order_relaxed);
    armed.fetch_add(1, std::memory_order_release);
}

bool ZuTimeMarker::Track::idle() const {
    return ended.load(std::memory_order_acquire) == armed.load(std::memory_order_relaxed);
}

int32_t ZuTimeMarker::Track::size() const {
    return owned ? int32_t(owned->size()) : 0;
}

size_t ZuTimeMarker::Track::collect() {
    // A callback that took a sound before it was replaced announced it in
    // held before checking that it was still the published one, so a sound
    // absent from held here is one no callback can reach.
    const Sound* inUse = held.load();
    std::erase_if(retired,
                  [inUse](const std::unique_ptr<Sound>& sound) { return sound.get() != inUse; });
    return retired.size();
}

const ZuTimeMarker::Sound* ZuTimeMarker::Track::startMark() {
    const Sound* sound = published.load();
    for (;;) {
        held.store(sound);
        const Sound* now = published.load();
        if (now == sound)
            return sound;
        sound = now;
    }
}

void ZuTimeMarker::Track::endMark() {
    playing = nullptr;
    held.store(nullptr);
    remainingSamples.store(0, std::memory_order_relaxed);
    ended.store(started, std::memory_order_release);
}

const ZuTimeMarker::Sound* ZuTimeMarker::Track::current() {
    const uint32_t latest = armed.load(std::memory_order_acquire);
    if (latest != started) {
        // A mark armed again while one plays starts over.
        started = latest;
        position = 0;
        playing = startMark();
        if (!playing)
            endMark();
    }
    return playing;
}

void ZuTimeMarker::Track::advance(size_t samples) {
    position += samples;
    remainingSamples.store(int32_t(playing->size() - position), std::memory_order_relaxed);
    if (position >= playing->size())
        endMark();
}

void ZuTimeMarker::Track::mix(float* samples, uint32_t count) {
    const Sound* sound = current();
    if (!sound || !samples)
        return;
    const size_t n = std::min<size_t>(count, sound->size() - position);
    const int16_t* marker = sound->data() + position;
    for (size_t i = 0; i < n; ++i)
        samples[i] = mixed(samples[i], marker[i]);
    advance(n);
}

void ZuTimeMarker::Track::mix(AuBufferList* output) {
    const Sound* sound = current();
    if (!sound || !output)
        return;
    const size_t frames =
        std::min<size_t>(AuBufferListFrameCount(output), (sound->size() - position) / 2);
    const int16_t* marker = sound->data() + position;
    // Output channels take the left and the right in turn; a mono output the left.
    uint32_t first = 0;
    for (uint32_t b = 0; b < output->mNumberBuffers; ++b) {
        const AuChannelBuffer& buffer = output->mBuffers[b];
        auto* data = static_cast<float*>(buffer.mData);
        const uint32_t channels = buffer.mNumberChannels;
        if (data && channels > 0) {
            const size_t n = std::min<size_t>(frames, buffer.mDataByteSize / (4 * channels));
            for (size_t f = 0; f < n; ++f)
                for (uint32_t c = 0; c < channels; ++c)
                    data[f * channels + c] =
                        mixed(data[f * channels + c], marker[2 * f + ((first + c) & 1)]);
        }
        first += channels;
    }
    advance(frames * 2);
}

// The marker.

ZuTimeMarker::ZuTimeMarker(ZuRecorder& owner) : recorder(owner) {
    recorder.markerButton.setAction([this](ZuControl& sender) { actMarkerButton(sender); });
}

ZuTimeMarker::~ZuTimeMarker() = default;

int32_t ZuTimeMarker::markerIntervalWithNumber(int32_t option) {
    static constexpr int32_t minutes[] = {1, 3, 5, 15, 30};
    return option >= 0 && option <= 4 ? minutes[option] : 30;
}

int32_t ZuTimeMarker::marksAtMinute(int32_t option, int32_t minute) {
    const bool ordinary =
        option >= 0 && option <= 4 && minute % markerIntervalWithNumber(option) == 0;
    const int32_t extra = minute == 0 ? 2 : minute == 30 ? 1 : 0;
    return (ordinary ? 1 : 0) + extra;
}

ZuTimeMarker::Sound ZuTimeMarker::transformSoundData(const int16_t* source, size_t samples,
                                                     double sourceRate, double deviceRate,
                                                     int32_t channels) {
    if ((channels != 1 && channels != 2) || !(sourceRate > 0) || !(deviceRate > 0))
        return {};
    const size_t frames = samples / size_t(channels);
    // Products of whole rates and frame counts are exact in a double, so a
    // rate change that comes out even (a second at 44 100 Hz is 48 000 frames
    // at 48 000 Hz) is never a frame short.
    const auto outFrames = size_t(std::floor(double(frames) * deviceRate / sourceRate));
    Sound out(outFrames * 2);
    for (size_t k = 0; k < outFrames; ++k) {
        const auto from =
            std::min(frames - 1, size_t(std::floor(double(k) * sourceRate / deviceRate)));
        const int16_t* frame = source + from * size_t(channels);
        out[2 * k] = frame[0];
        out[2 * k + 1] = frame[channels - 1];
    }
    return out;
}

void ZuTimeMarker::awakeFromNib() {
    markerSoundName = store().stringForKey("MarkerSoundName");
    if (markerSoundName.isEmpty()) {
        const QStringList sounds =
            QDir(ZuPaths::systemSoundFolder()).entryList({"*.aiff"}, QDir::Files, QDir::Name);
        if (!sounds.isEmpty())
            markerSoundName = QFileInfo(sounds.first()).completeBaseName();
    }
    markerSwitchValue = store().boolForKey("MarkerSoundSwitch");
    markerOptionValue = static_cast<int32_t>(store().integerForKey("MarkerSoundOption"));
    markerMonitorValue = store().boolForKey("MarkerSoundMonitor");
    recorder.markerButton.setState(markerSwitchValue ? 1 : 0);
    setMarkerOption(markerOptionValue);
    setMarkerMonitor(markerMonitorValue);
}

void ZuTimeMarker::setMarkerOption(int32_t value) {
    markerOptionValue = value;
    resetRecordButtonMarker();
    resetMonitorButtonMarker();
}

void ZuTimeMarker::setMarkerMonitor(bool value) {
    markerMonitorValue = value;
    resetMonitorButtonMarker();
}

// The buttons show the interval in minutes beside their image while they mark.
void ZuTimeMarker::resetRecordButtonMarker() {
    recorder.recordButton.setTitle(
        markerSwitchValue ? QString::number(markerIntervalWithNumber(markerOptionValue))
                          : QString());
}

void ZuTimeMarker::resetMonitorButtonMarker() {
    recorder.monitorButton.setTitle(
        markerSwitchValue && markerMonitorValue
            ? QString::number(markerIntervalWithNumber(markerOptionValue))
            : QString());
}

void ZuTimeMarker::actMarkerButton(ZuControl& sender) {
    if (recorder.administratorRefuses()) {
        sender.setState(markerSwitchValue ? 1 : 0);
        return;
    }
    applyMarkerSwitch();
}

void ZuTimeMarker::cancelSoundMarker() {
    recorder.markerButton.setState(0);
    applyMarkerSwitch();
}

void ZuTimeMarker::applyMarkerSwitch() {
    const bool wasOn = markerSwitchValue;
    markerSwitchValue = recorder.markerButton.state() != 0;
    setMarkerOption(markerOptionValue);
    if (ZuPrefer* prefer = recorder.controler ? recorder.controler->prefer() : nullptr)
        prefer->setMarkerControlEnabled(!markerSwitchValue);
    store().setBool(markerSwitchValue, "MarkerSoundSwitch");
    store().synchronize();
    ZuLogEvent::post(QStringLiteral("MarkerSwitchChange"));
    if (!markerSwitchValue && extraTimer)
        extraTimer->invalidate();
    if (markerSwitchValue && !wasOn)
        initMarkerBuffer();
}

void ZuTimeMarker::fail(const QString& message) {
    ZuLogEvent::error(message);
    cancelSoundMarker();
}

// A marker that is off loads nothing, so that a missing sound is reported
// only to someone who asked for marks.
void ZuTimeMarker::initMarkerBuffer() {
    if (!markerSwitchValue || !loadSource())
        return;
    ZuDevice* devicer = recorder.controler ? recorder.controler->devicer() : nullptr;
    const double rate = devicer ? devicer->recordSampleRate() : 0.0;
    try {
        recordTrack.replace(rate > 0.0 ? std::make_unique<Sound>(transformSoundData(
                                             source.samples.data(), source.samples.size(),
                                             source.rate, rate, source.channels))
                                       : nullptr);
        makeMonitorSound();
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("ZuRecorder: no enough memory for marker sound buffer."));
    }
    collectRetired();
}

bool ZuTimeMarker::loadSource() {
    QString error;
    std::optional<Source> loaded = loadSound(recorder.mechanic, markerSoundName, error);
    if (!loaded) {
        fail(error);
        return false;
    }
    source = std::move(*loaded);
    return true;
}

std::optional<ZuTimeMarker::Source> ZuTimeMarker::loadSound(ZuMechanic* mechanic,
                                                            const QString& name, QString& error) {
    const QString path = ZuPaths::systemSoundFolder() + "/" + name + ".aiff";
    AuStreamBasicDescription format;
    int64_t bytes = 0;
    std::unique_ptr<ZuAudioFile> file =
        mechanic ? mechanic->openAIFFFileWithPath(path, &format, &bytes) : nullptr;
    if (!file) {
        error = QStringLiteral("ZuRecorder: marker sound file open error.");
        return std::nullopt;
    }
    const auto channels = int32_t(format.mChannelsPerFrame);
    const QString readError = QStringLiteral("ZuRecorder: marker sound file read error.");
    // A marker is a short 16-bit sound of one or two channels.
    if (format.mBitsPerChannel != 16 || channels < 1 || channels > 2 || bytes <= 0 ||
        bytes > int64_t(UINT32_MAX)) {
        error = readError;
        return std::nullopt;
    }
    std::vector<int16_t> samples;
    try {
        samples.resize(size_t(bytes) / 2);
    } catch (const std::bad_alloc&) {
        error = QStringLiteral("ZuRecorder: no enough memory for marker sound buffer.");
        return std::nullopt;
    }
    auto size = uint32_t(samples.size() * 2);
    if (file->readBytes(0, &size, samples.data()) != ZuAudioFile::Status::NoError ||
        size != samples.size() * 2) {
        error = readError;
        return std::nullopt;
    }
    file->close();
    for (int16_t& sample : samples)
        sample = qFromBigEndian(sample);
    return Source{std::move(samples), format.mSampleRate, channels};
}

std::vector<float> ZuTimeMarker::playableSound(ZuMechanic* mechanic, const QString& name,
                                               double rate, QString& error) {
    const std::optional<Source> loaded = loadSound(mechanic, name, error);
    if (!loaded)
        return {};
    try {
        const Sound sound = transformSoundData(loaded->samples.data(), loaded->samples.size(),
                                               loaded->rate, rate, loaded->channels);
        std::vector<float> out(sound.size());
        std::transform(sound.begin(), sound.end(), out.begin(),
                       [](int16_t sample) { return float(sample) / 32768.0f; });
        return out;
    } catch (const std::bad_alloc&) {
        error = QStringLiteral("ZuRecorder: no enough memory for marker sound buffer.");
        return {};
    }
}

void ZuTimeMarker::makeMonitorSound() {
    ZuDevice* devicer = recorder.controler ? recorder.controler->devicer() : nullptr;
    const double rate = devicer && devicer->monitorDevice() ? devicer->monitorSampleRate() : 0.0;
    monitorTrack.replace(
        rate > 0.0 && !source.samples.empty()
            ? std::make_unique<Sound>(transformSoundData(
                  source.samples.data(), source.samples.size(), source.rate, rate, source.channels))
            : nullptr);
}

void ZuTimeMarker::monitorSourceChanged() {
    if (!markerSwitchValue || source.samples.empty())
        return;
    try {
        makeMonitorSound();
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("ZuRecorder: no enough memory for marker sound buffer."));
    }
    collectRetired();
}

size_t ZuTimeMarker::retiredSounds() const {
    return recordTrack.retiredCount() + monitorTrack.retiredCount();
}

// Sounds a callback still held when they were replaced are freed here once
// their marks have ended.
void ZuTimeMarker::collectRetired() {
    if (retiredSounds() == 0)
        return;
    if (!retireTimer)
        retireTimer = std::make_unique<ZuTimer>();
    if (!retireTimer->isValid())
        retireTimer->start(0.1, true, [this] {
            if (recordTrack.collect() + monitorTrack.collect() == 0)
                retireTimer->invalidate();
        });
}

bool ZuTimeMarker::marking() const {
    // In the level-triggered mode the marks go into the queue while the
    // recorder listens, so that the prior time of the next recording holds them.
    return recorder.conditionValue.load() == 1 ||
           (recorder.recordStateValue && !recorder.modeTimer && recorder.recordModeValue == 1);
}

void ZuTimeMarker::markTheMinute(int32_t minute) {
    if (!markerSwitchValue || !marking())
        return;
    const int32_t marks = marksAtMinute(markerOptionValue, minute);
    if (marks == 0)
        return;
    mark();
    extraMarks = marks - 1;
    if (extraMarks == 0)
        return;
    // The further marks follow one another, each once the one before has
    // ended, checked every tenth of a second.
    if (!extraTimer)
        extraTimer = std::make_unique<ZuTimer>();
    extraTimer->start(0.1, true, [this] { nextExtraMark(); });
}

void ZuTimeMarker::nextExtraMark() {
    if (!recordTrack.idle())
        return;
    if (markerSwitchValue && marking())
        mark();
    if (--extraMarks <= 0 || !markerSwitchValue || !marking())
        extraTimer->invalidate();
}

void ZuTimeMarker::mark() {
    recordTrack.arm();
    if (markerMonitorValue && recorder.monitorButton.state() != 0)
        monitorTrack.arm();
}
