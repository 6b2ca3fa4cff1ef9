#include "platform/hal/virtual/AuVirtualHardware.h"

#include "platform/hal/virtual/AuVirtualSignal.h"

#include <QFile>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sndfile.h>

namespace {

// A one-buffer interleaved list over caller-owned samples.
AuBufferList* newList(uint32_t channels, std::vector<float>& samples, uint32_t frames) {
    if (channels == 0)
        return nullptr;
    samples.assign(size_t(frames) * channels, 0.0f);
    auto* list = static_cast<AuBufferList*>(std::malloc(auBufferListSize(1)));
    list->mNumberBuffers = 1;
    list->mBuffers[0] = {channels, uint32_t(samples.size() * sizeof(float)), samples.data()};
    return list;
}

uint64_t hostNanoseconds() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

} // namespace

// The WAV file a device's output goes to, kept open across its runs so that
// a restart (a new rate or buffer size) continues it.
class AuVirtualHardware::OutputFile {
public:
    OutputFile(const QString& path, double rate, uint32_t channels) {
        SF_INFO info{};
        info.samplerate = int(rate);
        info.channels = int(channels);
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    }
    ~OutputFile() {
        if (file)
            sf_close(file);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* samples, uint32_t frames) {
        if (file)
            sf_writef_float(file, samples, frames);
    }
    // Between runs the file reads as complete.
    void updateHeader() {
        if (file)
            sf_command(file, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }

private:
    SNDFILE* file = nullptr;
};

// Runs one device: its buffers, signal and output capture are all made when
// it opens, so a cycle allocates nothing.
class AuVirtualHardware::Runner {
public:
    Runner(const IOSetup& setup, const AuVirtualDeviceConfig& config, OutputFile* file)
        : setup(setup), signal(config.input, setup.info.nominalSampleRate),
          frames(setup.info.bufferFrames), file(file) {
        input = newList(setup.info.channels[1], inputSamples, frames);
        output = newList(setup.info.channels[0], outputSamples, frames);
        capture.assign(size_t(config.captureFrames) * setup.info.channels[0], 0.0f);
    }

    ~Runner() {
        stop();
        std::free(input);
        std::free(output);
    }

    void startThread() {
        thread = std::thread([this] { run(); });
    }

    void stop() {
        {
            std::lock_guard guard(mutex);
            stopping = true;
        }
        wake.notify_all();
        if (thread.joinable())
            thread.join();
    }

    void cycle() {
        const uint64_t done = framesDone.load(std::memory_order_relaxed);
        const double rate = setup.info.nominalSampleRate;
        AuTimeStamp now;
        now.mSampleTime = double(done);
        now.mHostTime = hostNanoseconds();
        now.mRateScalar = 1.0;
        now.mFlags =
            kAuTimeStampSampleTimeValid | kAuTimeStampHostTimeValid | kAuTimeStampRateScalarValid;
        AuTimeStamp inputTime = now;
        inputTime.mSampleTime = now.mSampleTime - frames;
        inputTime.mHostTime = now.mHostTime - uint64_t(frames * 1e9 / rate);
        AuTimeStamp outputTime = now;
        outputTime.mSampleTime = now.mSampleTime + frames;
        outputTime.mHostTime = now.mHostTime + uint64_t(frames * 1e9 / rate);

        if (input)
            signal.render(inputSamples.data(), frames, input->mBuffers[0].mNumberChannels);
        if (output) {
            std::memset(outputSamples.data(), 0, outputSamples.size() * sizeof(float));
            output->mBuffers[0].mDataByteSize = uint32_t(outputSamples.size() * sizeof(float));
        }
        setup.proc(setup.device, &now, input, &inputTime, output, &outputTime, setup.clientData);
        if (output)
            keep(outputSamples.data());
        framesDone.store(done + frames, std::memory_order_release);
    }

    std::vector<float> captured() const {
        const size_t used = captureUsed.load(std::memory_order_acquire);
        return std::vector<float>(capture.begin(), capture.begin() + ptrdiff_t(used));
    }

    uint64_t dropped() const { return droppedFrames.load(std::memory_order_relaxed); }
    uint64_t framesRun() const { return framesDone.load(std::memory_order_acquire); }

private:
    void run() {
        const auto start = std::chrono::steady_clock::now();
        const double rate = setup.info.nominalSampleRate;
        std::unique_lock lock(mutex);
        while (!stopping) {
            // A cycle is due once its whole buffer's worth of time has passed;
            // deadlines come from the frame count, so pacing never drifts.
            const uint64_t due = framesDone.load(std::memory_order_relaxed) + frames;
            const auto deadline = start + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::duration<double>(double(due) / rate));
            if (wake.wait_until(lock, deadline, [this] { return stopping; }))
                break;
            lock.unlock();
            cycle();
            lock.lock();
        }
    }

    void keep(const float* samples) {
        const uint32_t channels = output->mBuffers[0].mNumberChannels;
        const size_t used = captureUsed.load(std::memory_order_relaxed);
        const size_t room = (capture.size() - used) / channels;
        const size_t kept = std::min<size_t>(room, frames);
        std::memcpy(capture.data() + used, samples, kept * channels * sizeof(float));
        captureUsed.store(used + kept * channels, std::memory_order_release);
        droppedFrames.fetch_add(frames - kept, std::memory_order_relaxed);
        // The file is written on this backend thread after the client's
        // callback has returned; the callback itself never waits on it.
        if (file)
            file->write(samples, frames);
    }

    IOSetup setup;
    AuVirtualSignal signal;
    uint32_t frames;
    std::vector<float> inputSamples;
    std::vector<float> outputSamples;
    AuBufferList* input = nullptr;
    AuBufferList* output = nullptr;
    std::vector<float> capture;
    std::atomic<size_t> captureUsed{0};
    std::atomic<uint64_t> droppedFrames{0};
    std::atomic<uint64_t> framesDone{0};
    OutputFile* file; // the hardware's, outlives the runner
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false; // guarded by mutex
};

std::vector<AuVirtualDeviceConfig> AuVirtualHardware::defaultDevices(const AuVirtualInput& input) {
    AuVirtualDeviceConfig config =
        AuVirtualDeviceConfig::standard(QStringLiteral("Nightwarden Virtual Device"),
                                        QStringLiteral("nightwarden-virtual-0"), 2, 2);
    config.input = input;
    // A sound file plays at its own rate only: the device offers no other.
    if (input.kind == AuVirtualInput::Kind::File) {
        if (const auto rate = AuVirtualSignal::fileSampleRate(input.path)) {
            config.info.sampleRates = {{*rate, *rate}};
            config.info.nominalSampleRate = *rate;
        }
    }
    return {config};
}

AuVirtualHardware::AuVirtualHardware(const std::vector<AuVirtualDeviceConfig>& configList,
                                     Pacing pacing)
    : pacing(pacing) {
    AuObjectID firstInput = kAuUnknownObject;
    AuObjectID firstOutput = kAuUnknownObject;
    for (const AuVirtualDeviceConfig& config : configList) {
        const AuObjectID id = plugDevice(config);
        if (!firstInput && config.info.channels[1] > 0)
            firstInput = id;
        if (!firstOutput && config.info.channels[0] > 0)
            firstOutput = id;
    }
    setDefaultDevices(firstInput, firstOutput);
    constructed = true;
}

AuVirtualHardware::~AuVirtualHardware() {
    stopAll();
}

AuObjectID AuVirtualHardware::plugDevice(const AuVirtualDeviceConfig& config) {
    // Devices made by the constructor are there from the start; later ones
    // arrive as a device-list change.
    const bool notify = constructed;
    const AuObjectID id = addDevice(config.info, false);
    {
        std::lock_guard guard(runnersMutex);
        configs[id] = config;
    }
    if (notify)
        propertyChanged({AuScope::Hardware, kAuHardwareObject, 0, 0, auFourCC("dev#")});
    return id;
}

void AuVirtualHardware::unplugDevice(AuObjectID device) {
    removeDevice(device);
    std::lock_guard guard(runnersMutex);
    runners.erase(device);
    outputFiles.erase(device);
    configs.erase(device);
}

AuStatus AuVirtualHardware::openIO(const IOSetup& setup) {
    std::lock_guard guard(runnersMutex);
    const AuVirtualDeviceConfig& config = configs.at(setup.device);
    if (config.failToStart || setup.info.bufferFrames == 0 || setup.info.nominalSampleRate <= 0)
        return kAuErrorCannotStart;
    OutputFile* file = nullptr;
    if (!config.outputFile.isEmpty() && setup.info.channels[0] > 0) {
        auto& kept = outputFiles[setup.device];
        if (!kept)
            kept = std::make_unique<OutputFile>(config.outputFile, setup.info.nominalSampleRate,
                                                setup.info.channels[0]);
        file = kept.get();
    }
    auto runner = std::make_unique<Runner>(setup, config, file);
    if (pacing == Pacing::RealTime)
        runner->startThread();
    runners[setup.device] = std::move(runner);
    return kAuNoError;
}

void AuVirtualHardware::closeIO(AuObjectID device) {
    std::lock_guard guard(runnersMutex);
    auto it = runners.find(device);
    if (it != runners.end())
        it->second->stop();
    if (auto file = outputFiles.find(device); file != outputFiles.end())
        file->second->updateHeader();
}

uint32_t AuVirtualHardware::step(AuObjectID device, uint32_t cycles) {
    if (pacing != Pacing::Stepped || !isRunning(device))
        return 0;
    Runner* runner;
    {
        std::lock_guard guard(runnersMutex);
        auto it = runners.find(device);
        if (it == runners.end())
            return 0;
        runner = it->second.get();
    }
    for (uint32_t i = 0; i < cycles; ++i)
        runner->cycle();
    return cycles;
}

std::vector<float> AuVirtualHardware::capturedOutput(AuObjectID device) {
    std::lock_guard guard(runnersMutex);
    auto it = runners.find(device);
    return it == runners.end() ? std::vector<float>{} : it->second->captured();
}

uint64_t AuVirtualHardware::droppedOutputFrames(AuObjectID device) {
    std::lock_guard guard(runnersMutex);
    auto it = runners.find(device);
    return it == runners.end() ? 0 : it->second->dropped();
}

uint64_t AuVirtualHardware::framesRun(AuObjectID device) {
    std::lock_guard guard(runnersMutex);
    auto it = runners.find(device);
    return it == runners.end() ? 0 : it->second->framesRun();
}
