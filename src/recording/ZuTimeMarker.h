#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct AuBufferList;
class ZuControl;
class ZuMechanic;
class ZuRecorder;
class ZuTimer;

// The time marker: at chosen minutes a short sound is mixed into the recorded
// input, once at ordinary marks, three times on the hour and twice on the half
// hour, so that a listener finds the hours in a night of sound. The sound is
// loaded once and resampled to the record device's rate; with the monitor
// option a second copy at the monitor device's rate plays on the monitor.
//
// The marks are armed on the main thread; the capture and monitor callbacks
// mix them. A sound replaced while a mark plays stays with the callback until
// that mark ends and is freed on the main thread afterwards.
class ZuTimeMarker {
public:
    // Interleaved stereo 16-bit samples at one device's rate.
    using Sound = std::vector<int16_t>;
    // A sound of the sound folder as its file holds it.
    struct Source {
        std::vector<int16_t> samples; // native, interleaved
        double rate = 0.0;
        int32_t channels = 0;
    };

    explicit ZuTimeMarker(ZuRecorder& owner);
    ~ZuTimeMarker();
    ZuTimeMarker(const ZuTimeMarker&) = delete;
    ZuTimeMarker& operator=(const ZuTimeMarker&) = delete;

    // The minutes between ordinary marks for an interval choice (30 for an
    // unknown one, which makes no ordinary marks).
    static int32_t markerIntervalWithNumber(int32_t option);
    // Marks due at second 0 of a minute of the hour.
    static int32_t marksAtMinute(int32_t option, int32_t minute);
    // Resamples 16-bit frames of 1 or 2 channels from the source rate to the
    // device rate as interleaved stereo, frame by frame, each output frame
    // taking the nearest earlier source frame; a mono sample goes to both
    // channels.
    static Sound transformSoundData(const int16_t* source, size_t samples, double sourceRate,
                                    double deviceRate, int32_t channels);
    // Reads the sound of that name from the sound folder; without it, error
    // tells what failed.
    static std::optional<Source> loadSound(ZuMechanic* mechanic, const QString& name,
                                           QString& error);
    // The sound of that name as float stereo at a device's rate, each sample
    // over 32768, for playing once; empty with error on failure.
    static std::vector<float> playableSound(ZuMechanic* mechanic, const QString& name, double rate,
                                            QString& error);

    // Start-up: the settings, an empty sound name made the first sound of
    // the folder, the button and its titles.
    void awakeFromNib();
    // Loads the sound for the record device and the monitor device.
    void initMarkerBuffer();
    // Remakes the monitor's copy for a new monitor device.
    void monitorSourceChanged();
    void actMarkerButton(ZuControl& sender);
    // Switches the marker off without the administrator check.
    void cancelSoundMarker();
    void resetRecordButtonMarker();
    void resetMonitorButtonMarker();
    // The marks of this minute, when marking: the first at once, the others
    // each after the one before has ended.
    void markTheMinute(int32_t minute);

    void setMarkerOption(int32_t value);
    void setMarkerSound(const QString& value) { markerSoundName = value; }
    void setMarkerMonitor(bool value);
    bool markerSwitch() const { return markerSwitchValue; }
    int32_t markerOption() const { return markerOptionValue; }
    QString markerSound() const { return markerSoundName; }
    bool markerMonitor() const { return markerMonitorValue; }
    // Samples of the recorded copy, and of the mark in progress still to mix.
    int32_t markerSize() const { return recordTrack.size(); }
    int32_t writeMarker() const { return recordTrack.remaining(); }
    int32_t monitorMarkerSize() const { return monitorTrack.size(); }
    // Sounds replaced while a callback still held them.
    size_t retiredSounds() const;

    // Capture callback: adds the mark in progress to interleaved stereo samples.
    void mixRecord(float* samples, uint32_t count) { recordTrack.mix(samples, count); }
    // Monitor callback: adds the monitor's mark in progress to the output.
    void mixMonitor(AuBufferList* output) { monitorTrack.mix(output); }

private:
    // One copy of the sound and the marks played from it. The main thread
    // publishes sounds and arms marks; one callback thread mixes.
    class Track {
    public:
        ~Track();
        void replace(std::unique_ptr<Sound> sound);
        void arm();
        // Every armed mark has ended.
        bool idle() const;
        int32_t size() const;
        int32_t remaining() const { return remainingSamples.load(std::memory_order_relaxed); }
        // Frees the replaced sounds no callback holds; answers those left.
        size_t collect();
        size_t retiredCount() const { return retired.size(); }

        void mix(float* samples, uint32_t count);
        void mix(AuBufferList* output);

    private:
        // The sound of a mark that starts now, or none; it stays the
        // callback's until the mark ends.
        const Sound* startMark();
        void endMark();
        // The sound of the mark in progress, starting one newly armed.
        const Sound* current();
        void advance(size_t samples);

        std::unique_ptr<Sound> owned;
        std::vector<std::unique_ptr<Sound>> retired;
        std::atomic<const Sound*> published{nullptr};
        // The sound the callback mixes from; the main thread frees no sound
        // while it is here.
        std::atomic<const Sound*> held{nullptr};
        std::atomic<uint32_t> armed{0};
        std::atomic<uint32_t> ended{0};
        std::atomic<int32_t> remainingSamples{0};
        // The callback's own.
        uint32_t started = 0;
        const Sound* playing = nullptr;
        size_t position = 0;
    };

    void applyMarkerSwitch();
    bool loadSource();
    void fail(const QString& message);
    void makeMonitorSound();
    void mark();
    void nextExtraMark();
    void collectRetired();
    bool marking() const;

    ZuRecorder& recorder;
    bool markerSwitchValue = false;
    int32_t markerOptionValue = 0;
    QString markerSoundName;
    bool markerMonitorValue = false;
    Source source;
    Track recordTrack;
    Track monitorTrack;
    int32_t extraMarks = 0;
    std::unique_ptr<ZuTimer> extraTimer;
    std::unique_ptr<ZuTimer> retireTimer;
};
