#include "recording/ZuAudioFile.h"

#include <QFile>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t fourCC(const char (&id)[5]) {
    return uint32_t(uint8_t(id[0])) << 24 | uint32_t(uint8_t(id[1])) << 16 |
           uint32_t(uint8_t(id[2])) << 8 | uint32_t(uint8_t(id[3]));
}

uint32_t readBig32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint16_t readBig16(const unsigned char* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

void putBig32(unsigned char* p, uint32_t value) {
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

void putBig16(unsigned char* p, uint16_t value) {
    p[0] = uint8_t(value >> 8);
    p[1] = uint8_t(value);
}

QString idText(uint32_t id) {
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(id >> shift);
        text += (c >= 0x20 && c < 0x7f) ? QChar(c) : QChar('?');
    }
    return text;
}

// Limits beyond which a header is taken to be lying rather than exotic.
constexpr uint32_t maxChannels = 64;
constexpr double minRate = 1.0;
constexpr double maxRate = 1536000.0;
// The rates a recording can have: a quarter of the slowest device rate to
// the fastest one.
constexpr double minRecordingRate = 2000.0;
constexpr double maxRecordingRate = 384000.0;

constexpr int64_t commAt = 12;
constexpr int64_t fillerAt = 38;
constexpr int64_t ssndAt = 4080;

bool setError(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

} // namespace

ZuAudioFile::ZuAudioFile(int descriptor, Mode openMode) : fd(descriptor), mode(openMode) {}

ZuAudioFile::~ZuAudioFile() {
    close();
}

void ZuAudioFile::encodeExtended(double value, unsigned char out[10]) {
    std::memset(out, 0, 10);
    if (value == 0.0 || !std::isfinite(value))
        return;
    const bool negative = value < 0;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent); // [0.5, 1)
    const uint64_t mantissa = uint64_t(std::ldexp(fraction, 64));
    const uint16_t biased = uint16_t(exponent - 1 + 16383) | (negative ? 0x8000 : 0);
    putBig16(out, biased);
    for (int i = 0; i < 8; ++i)
        out[2 + i] = uint8_t(mantissa >> (56 - 8 * i));
}

bool ZuAudioFile::decodeExtended(const unsigned char in[10], double* value) {
    const uint16_t head = readBig16(in);
    const bool negative = head & 0x8000;
    const int exponent = head & 0x7FFF;
    uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i)
        mantissa = mantissa << 8 | in[2 + i];
    if (exponent == 0 && mantissa == 0) {
        *value = 0.0;
        return true;
    }
    // Infinity/NaN, or an unnormal (integer bit clear with a non-zero exponent).
    if (exponent == 0x7FFF || (exponent != 0 && !(mantissa >> 63)))
        return false;
    const double magnitude = std::ldexp(double(mantissa), exponent - 16383 - 63);
    *value = negative ? -magnitude : magnitude;
    return true;
}

bool ZuAudioFile::readExactly(int64_t offset, void* buffer, size_t length) const {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, bytes + done, length - done, offset + int64_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

bool ZuAudioFile::writeExactly(int64_t offset, const void* buffer, size_t length) {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ssize_t put = ::pwrite(fd, bytes + done, length - done, offset + int64_t(done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put == 0)
            errno = EIO;
        if (put <= 0)
            return false;
        done += size_t(put);
    }
    return true;
}

std::unique_ptr<ZuAudioFile> ZuAudioFile::create(const QString& path,
                                                 const AuStreamBasicDescription& description,
                                                 QString* error) {
    const uint32_t bits = description.mBitsPerChannel;
    const uint32_t channels = description.mChannelsPerFrame;
    if (description.mFormatID != kAudioFormatLinearPCM ||
        (description.mFormatFlags & kAudioFormatFlagIsFloat)) {
        setError(error, QStringLiteral("only integer linear PCM can be written"));
        return nullptr;
    }
    if (bits == 0 || bits > 32 || bits % 8 != 0) {
        setError(error, QStringLiteral("unsupported bits per channel %1").arg(bits));
        return nullptr;
    }
    if (channels == 0 || channels > maxChannels) {
        setError(error, QStringLiteral("unsupported channel count %1").arg(channels));
        return nullptr;
    }
    if (!(description.mSampleRate >= minRate && description.mSampleRate <= maxRate)) {
        setError(error, QStringLiteral("unsupported sample rate %1").arg(description.mSampleRate));
        return nullptr;
    }
    // Never through a link, and never into anything but a regular file.
    const int descriptor =
        ::open(QFile::encodeName(path).constData(),
               O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (descriptor < 0) {
        setError(error, QStringLiteral("cannot create %1: %2").arg(path, strerror(errno)));
        return nullptr;
    }
    struct stat made {};
    if (::fstat(descriptor, &made) != 0 || !S_ISREG(made.st_mode)) {
        ::close(descriptor);
        setError(error, QStringLiteral("cannot create %1: not a regular file").arg(path));
        return nullptr;
    }
    std::unique_ptr<ZuAudioFile> file(new ZuAudioFile(descriptor, Mode::ReadWrite));
    AuStreamBasicDescription& f = file->format;
    f.mSampleRate = description.mSampleRate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags =
        kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    f.mBitsPerChannel = bits;
    f.mChannelsPerFrame = channels;
    f.mBytesPerFrame = channels * bits / 8;
    f.mBytesPerPacket = f.mBytesPerFrame;
    f.mFramesPerPacket = 1;
    f.mReserved = 0;

    unsigned char header[headerLength] = {};
    std::memcpy(header, "FORM", 4);
    putBig32(header + 4, uint32_t(headerLength - 8));
    std::memcpy(header + 8, "AIFF", 4);
    std::memcpy(header + commAt, "COMM", 4);
    putBig32(header + commAt + 4, 18);
    putBig16(header + 20, uint16_t(channels));
    putBig32(header + 22, 0);
    putBig16(header + 26, uint16_t(bits));
    encodeExtended(description.mSampleRate, header + 28);
    std::memcpy(header + fillerAt, "FLLR", 4);
    putBig32(header + fillerAt + 4, uint32_t(ssndAt - fillerAt - 8));
    std::memcpy(header + ssndAt, "SSND", 4);
    putBig32(header + ssndAt + 4, 8);
    if (!file->writeExactly(0, header, sizeof header)) {
        setError(error,
                 QStringLiteral("cannot write the header of %1: %2").arg(path, strerror(errno)));
        // A file without its header is no sound file: nothing may take it
        // for one later.
        file.reset();
        ::unlink(QFile::encodeName(path).constData());
        return nullptr;
    }
    file->fileSize = headerLength;
    file->commOffset = commAt;
    file->ssndOffset = ssndAt;
    file->dataStart = headerLength;
    file->dataBytes = 0;
    return file;
}

std::unique_ptr<ZuAudioFile> ZuAudioFile::open(const QString& path, Mode openMode, QString* error) {
    const int flags = (openMode == Mode::Read ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    const int descriptor = ::open(QFile::encodeName(path).constData(), flags);
    if (descriptor < 0) {
        setError(error, QStringLiteral("cannot open %1: %2").arg(path, strerror(errno)));
        return nullptr;
    }
    std::unique_ptr<ZuAudioFile> file(new ZuAudioFile(descriptor, openMode));
    QString reason;
    if (!file->parse(&reason)) {
        setError(error, QStringLiteral("%1: %2").arg(path, reason));
        return nullptr;
    }
    return file;
}

std::unique_ptr<ZuAudioFile> ZuAudioFile::openRecording(const QString& path, QString* error) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0) {
        setError(error, QStringLiteral("cannot open %1: %2").arg(path, strerror(errno)));
        return nullptr;
    }
    std::unique_ptr<ZuAudioFile> file(new ZuAudioFile(descriptor, Mode::ReadWrite));
    QString reason;
    if (!file->parse(&reason)) {
        setError(error, QStringLiteral("%1: %2").arg(path, reason));
        return nullptr;
    }
    unsigned char formType[4];
    const AuStreamBasicDescription& f = file->format;
    const bool ours = file->readExactly(8, formType, 4) && readBig32(formType) == fourCC("AIFF") &&
                      file->commOffset == commAt && file->ssndOffset == ssndAt &&
                      file->dataStart == headerLength && file->ssndIsLast &&
                      f.mBitsPerChannel == 16 &&
                      (f.mChannelsPerFrame == 1 || f.mChannelsPerFrame == 2) &&
                      f.mSampleRate >= minRecordingRate && f.mSampleRate <= maxRecordingRate &&
                      f.mSampleRate == std::floor(f.mSampleRate);
    if (!ours) {
        setError(error, QStringLiteral("%1: not a recording of this program (%2 channels, %3 "
                                       "bits, %4 Hz)")
                            .arg(path)
                            .arg(f.mChannelsPerFrame)
                            .arg(f.mBitsPerChannel)
                            .arg(f.mSampleRate));
        return nullptr;
    }
    return file;
}

ZuAudioFile::Status ZuAudioFile::adoptFileLength() {
    if (fd < 0 || mode != Mode::ReadWrite || !ssndIsLast || format.mBytesPerFrame == 0)
        return Status::BadOffset;
    const int64_t frame = format.mBytesPerFrame;
    int64_t bytes = std::min(fileSize, maxFileSize) - dataStart;
    bytes = std::max<int64_t>(0, bytes - bytes % frame);
    if (::ftruncate(fd, dataStart + bytes) != 0)
        return Status::IOError;
    fileSize = dataStart + bytes;
    dataBytes = bytes;
    sizesChanged = true;
    return synchronize();
}

bool ZuAudioFile::parse(QString* error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return setError(error, QString::fromLocal8Bit(strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return setError(error, QStringLiteral("not a regular file"));
    fileSize = info.st_size;
    unsigned char head[12];
    if (fileSize < 12 || !readExactly(0, head, sizeof head))
        return setError(error, QStringLiteral("too short for an AIFF header"));
    if (readBig32(head) != fourCC("FORM"))
        return setError(error, QStringLiteral("not an AIFF file (no FORM chunk)"));
    const uint32_t formType = readBig32(head + 8);
    if (formType != fourCC("AIFF") && formType != fourCC("AIFC"))
        return setError(error,
                        QStringLiteral("not an AIFF file (form type %1)").arg(idText(formType)));
    const bool isAifc = formType == fourCC("AIFC");
    // A missing pad byte after an odd last chunk is tolerated.
    const int64_t formEnd = 8 + int64_t(readBig32(head + 4));
    if (formEnd > fileSize + 1)
        return setError(error,
                        QStringLiteral("FORM size %1 runs past the end of the file (%2 bytes)")
                            .arg(formEnd - 8)
                            .arg(fileSize));
    const int64_t end = std::min(formEnd, fileSize);

    bool haveComm = false;
    bool haveSsnd = false;
    uint32_t channels = 0;
    uint32_t bits = 0;
    double rate = 0.0;
    bool bigEndian = true;
    bool isFloat = false;
    int64_t position = 12;
    while (position + 8 <= end) {
        unsigned char chunk[8];
        if (!readExactly(position, chunk, sizeof chunk))
            return setError(error, QStringLiteral("cannot read the chunk at %1").arg(position));
        const uint32_t id = readBig32(chunk);
        const int64_t size = readBig32(chunk + 4);
        const int64_t body = position + 8;
        if (body + size > end)
            return setError(error, QStringLiteral("chunk %1 of %2 bytes at %3 runs past the end")
                                       .arg(idText(id))
                                       .arg(size)
                                       .arg(position));
        if (id == fourCC("COMM")) {
            if (haveComm)
                return setError(error, QStringLiteral("more than one COMM chunk"));
            unsigned char comm[22] = {};
            const int64_t needed = isAifc ? 22 : 18;
            if (size < needed || !readExactly(body, comm, size_t(needed)))
                return setError(error, QStringLiteral("COMM chunk too short (%1 bytes)").arg(size));
            channels = readBig16(comm);
            bits = readBig16(comm + 6);
            if (!decodeExtended(comm + 8, &rate))
                return setError(error, QStringLiteral("sample rate is not a number"));
            if (isAifc) {
                const uint32_t compression = readBig32(comm + 18);
                if (compression == fourCC("sowt")) {
                    bigEndian = false;
                } else if (compression == fourCC("fl32") || compression == fourCC("FL32")) {
                    isFloat = true;
                    bits = 32;
                } else if (compression != fourCC("NONE") && compression != fourCC("twos")) {
                    return setError(error, QStringLiteral("compressed AIFF-C (%1) is not supported")
                                               .arg(idText(compression)));
                }
            }
            commOffset = position;
            haveComm = true;
        } else if (id == fourCC("SSND")) {
            if (haveSsnd)
                return setError(error, QStringLiteral("more than one SSND chunk"));
            unsigned char ssnd[8];
            if (size < 8 || !readExactly(body, ssnd, sizeof ssnd))
                return setError(error, QStringLiteral("SSND chunk too short (%1 bytes)").arg(size));
            const int64_t offset = readBig32(ssnd);
            if (offset > size - 8)
                return setError(error,
                                QStringLiteral("SSND data offset %1 beyond its chunk").arg(offset));
            ssndOffset = position;
            dataStart = body + 8 + offset;
            dataBytes = size - 8 - offset;
            haveSsnd = true;
        }
        position = body + size + (size & 1);
    }
    // Sound data may grow only where nothing follows it.
    ssndIsLast = haveSsnd && dataStart + dataBytes + 1 >= end;
    if (!haveComm)
        return setError(error, QStringLiteral("no COMM chunk"));
    if (channels == 0 || channels > maxChannels)
        return setError(error, QStringLiteral("invalid channel count %1").arg(channels));
    if (bits == 0 || bits > 32)
        return setError(error, QStringLiteral("invalid bits per sample %1").arg(bits));
    if (!(rate >= minRate && rate <= maxRate))
        return setError(error, QStringLiteral("sample rate %1 out of range").arg(rate));
    if (!haveSsnd) {
        // A file of no frames may omit its sound chunk.
        if (mode == Mode::ReadWrite)
            return setError(error, QStringLiteral("no SSND chunk to write into"));
        dataStart = end;
        dataBytes = 0;
    }
    const uint32_t bytesPerSample = (bits + 7) / 8;
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        (bigEndian ? kAudioFormatFlagIsBigEndian : 0) |
        (isFloat ? kAudioFormatFlagIsFloat : kAudioFormatFlagIsSignedInteger) |
        (bits % 8 == 0 ? kAudioFormatFlagIsPacked : kAudioFormatFlagIsAlignedHigh);
    format.mBitsPerChannel = bits;
    format.mChannelsPerFrame = channels;
    format.mBytesPerFrame = channels * bytesPerSample;
    format.mBytesPerPacket = format.mBytesPerFrame;
    format.mFramesPerPacket = 1;
    format.mReserved = 0;
    return true;
}

ZuAudioFile::Status ZuAudioFile::readBytes(int64_t startingByte, uint32_t* ioNumBytes,
                                           void* buffer) {
    if (fd < 0)
        return Status::IOError;
    if (startingByte < 0) {
        *ioNumBytes = 0;
        return Status::BadOffset;
    }
    const uint32_t wanted = *ioNumBytes;
    const int64_t available = std::max<int64_t>(0, dataBytes - startingByte);
    const uint32_t asked = uint32_t(std::min<int64_t>(wanted, available));
    uint32_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < asked) {
        const ssize_t got =
            ::pread(fd, bytes + done, asked - done, dataStart + startingByte + int64_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *ioNumBytes = done;
            return Status::IOError;
        }
        if (got == 0)
            break; // the file is shorter than its header says
        done += uint32_t(got);
    }
    *ioNumBytes = done;
    return done < wanted ? Status::EndOfFile : Status::NoError;
}

ZuAudioFile::Status ZuAudioFile::writeBytes(int64_t startingByte, uint32_t numBytes,
                                            const void* buffer) {
    if (fd < 0 || failed)
        return Status::IOError;
    if (mode != Mode::ReadWrite)
        return Status::NotPermitted;
    if (startingByte < 0)
        return Status::BadOffset;
    const int64_t newEnd = startingByte + int64_t(numBytes);
    if (newEnd > dataBytes) {
        if (!ssndIsLast)
            return Status::BadOffset;
        if (dataStart + newEnd > maxFileSize)
            return Status::TooLarge;
    }
    if (!writeExactly(dataStart + startingByte, buffer, numBytes)) {
        failure = errno != 0 ? errno : EIO;
        failed = true;
        // The sound ends at its last complete write, and the header already
        // says so; bytes of the failed one after it would lie past it.
        if (ssndIsLast && newEnd > dataBytes)
            while (::ftruncate(fd, dataStart + dataBytes) != 0 && errno == EINTR) {
            }
        return Status::IOError;
    }
    if (newEnd > dataBytes) {
        dataBytes = newEnd;
        sizesChanged = true;
    }
    return Status::NoError;
}

ZuAudioFile::Status ZuAudioFile::updateSizes() {
    const int64_t soundEnd = dataStart + dataBytes;
    unsigned char field[4];
    putBig32(field, uint32_t(soundEnd - 8));
    if (!writeExactly(4, field, 4))
        return Status::IOError;
    if (format.mBytesPerFrame > 0) {
        putBig32(field, uint32_t(dataBytes / format.mBytesPerFrame));
        if (!writeExactly(commOffset + 10, field, 4))
            return Status::IOError;
    }
    putBig32(field, uint32_t(soundEnd - ssndOffset - 8));
    if (!writeExactly(ssndOffset + 4, field, 4))
        return Status::IOError;
    return Status::NoError;
}

ZuAudioFile::Status ZuAudioFile::getProperty(uint32_t propertyID, uint32_t* ioDataSize,
                                             void* outData) const {
    if (propertyID == dataFormatProperty && *ioDataSize >= sizeof format) {
        std::memcpy(outData, &format, sizeof format);
        *ioDataSize = sizeof format;
        return Status::NoError;
    }
    if (propertyID == audioDataByteCountProperty && *ioDataSize >= sizeof dataBytes) {
        std::memcpy(outData, &dataBytes, sizeof dataBytes);
        *ioDataSize = sizeof dataBytes;
        return Status::NoError;
    }
    return Status::BadProperty;
}

ZuAudioFile::Status ZuAudioFile::synchronize() {
    if (fd < 0 || !sizesChanged)
        return Status::NoError;
    const Status status = updateSizes();
    if (status == Status::NoError)
        sizesChanged = false;
    return status;
}

ZuAudioFile::Status ZuAudioFile::close() {
    if (fd < 0)
        return Status::NoError;
    Status status = Status::NoError;
    if (sizesChanged)
        status = updateSizes();
    if (::close(fd) != 0 && status == Status::NoError)
        status = Status::IOError;
    fd = -1;
    return status;
}

bool ZuAudioFile::isLinkedAt(const QByteArray& path) const {
    struct stat open {};
    struct stat named {};
    return fd >= 0 && ::fstat(fd, &open) == 0 && open.st_nlink > 0 &&
           ::lstat(path.constData(), &named) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}

QString ZuAudioFile::errorText(Status status) const {
    if (status == Status::IOError && failure != 0)
        return QString::fromLocal8Bit(strerror(failure));
    return statusText(status);
}

QString ZuAudioFile::statusText(Status status) {
    switch (status) {
    case Status::NoError:
        return QStringLiteral("no error");
    case Status::EndOfFile:
        return QStringLiteral("end of the sound data");
    case Status::NotPermitted:
        return QStringLiteral("file is open for reading only");
    case Status::TooLarge:
        return QStringLiteral("file would exceed the 4 GiB an AIFF header can describe");
    case Status::BadOffset:
        return QStringLiteral("position outside the sound data");
    case Status::BadProperty:
        return QStringLiteral("unknown property or wrong size");
    case Status::IOError:
        return QStringLiteral("input/output error");
    }
    return {};
}
