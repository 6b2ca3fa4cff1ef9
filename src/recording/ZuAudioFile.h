#pragma once

#include "platform/hal/AuStreamBasicDescription.h"

#include <QString>
#include <cstdint>
#include <memory>

// The audio file service: AIFF sound files, read and written by byte offset
// within the sound data.
//
// Created files have the recorder's fixed layout: FORM, COMM at 12, a filler
// chunk from 38 that holds the information block area (bytes 256 to 4079), and
// SSND at 4080 with its sound data from 4096. Opening accepts any AIFF (and
// uncompressed AIFF-C) file: the chunks are walked, COMM and SSND are read and
// everything else is skipped; files that are not AIFF, truncated, or whose
// header lies (chunks past the end, zero channels, absurd rates) are refused
// with a reason. No read ever goes outside the file's chunks.
class ZuAudioFile {
public:
    enum class Status {
        NoError,
        EndOfFile,    // a read reached the end of the sound data
        NotPermitted, // write on a read-only handle
        TooLarge,     // the AIFF size fields could not hold the result
        BadOffset,    // negative offset, or a write that would overwrite a later chunk
        BadProperty,  // unknown property or wrong size
        IOError,
    };
    enum class Mode { Read, ReadWrite };

    static constexpr uint32_t dataFormatProperty = 0x64666d74;         // 'dfmt'
    static constexpr uint32_t audioDataByteCountProperty = 0x62636e74; // 'bcnt'
    static constexpr int64_t headerLength = 4096;
    // The largest file whose FORM size still fits its 32-bit field.
    static constexpr int64_t maxFileSize = int64_t(0xFFFFFFFFu) + 8;

    ~ZuAudioFile();
    ZuAudioFile(const ZuAudioFile&) = delete;
    ZuAudioFile& operator=(const ZuAudioFile&) = delete;

    // Creates (or truncates) the file at path in the fixed layout for format,
    // opened for reading and writing. None, with the reason in error, when the
    // format is not integer PCM the layout can carry or the file cannot be made.
    static std::unique_ptr<ZuAudioFile>
    create(const QString& path, const AuStreamBasicDescription& format, QString* error = nullptr);
    static std::unique_ptr<ZuAudioFile> open(const QString& path, Mode mode,
                                             QString* error = nullptr);
    // Opens for writing only a file this program could have made: a regular
    // file (a link is not followed) in the fixed layout, 16-bit mono or
    // stereo at a recording rate. None, with the reason, for anything else.
    static std::unique_ptr<ZuAudioFile> openRecording(const QString& path,
                                                      QString* error = nullptr);
    // A recording cut short by a crash: its sound runs to the end of the file
    // in whole frames (a partial last frame is cut off), and the header is
    // made to say so.
    Status adoptFileLength();

    // Reads up to *ioNumBytes bytes from startingByte of the sound data; sets
    // *ioNumBytes to the bytes read. EndOfFile when fewer than asked were there.
    Status readBytes(int64_t startingByte, uint32_t* ioNumBytes, void* buffer);
    // Writes at startingByte of the sound data, extending it as needed. A
    // write that fails leaves the file as it was before it (a partly written
    // extension is cut off again) and ends writing: every later write is
    // refused, so that nothing lands where the failed one left off.
    Status writeBytes(int64_t startingByte, uint32_t numBytes, const void* buffer);
    bool writeFailed() const { return failed; }
    // Whether path (not followed if a link) still names this open file: false
    // once the file or its folder was removed or replaced.
    bool isLinkedAt(const QByteArray& path) const;
    // The status in words; an input/output error is named by the system's
    // reason (a full disk, a file too large).
    QString errorText(Status status) const;

    // 'dfmt' (40 bytes) and 'bcnt' (8 bytes, signed).
    Status getProperty(uint32_t propertyID, uint32_t* ioDataSize, void* outData) const;
    const AuStreamBasicDescription& dataFormat() const { return format; }
    int64_t audioDataByteCount() const { return dataBytes; }
    // Byte offset in the file where the sound data begins.
    int64_t dataOffset() const { return dataStart; }

    // Brings the size fields up to date after writes, so that the file is
    // valid as it stands.
    Status synchronize();
    // Brings the size fields up to date after writes, then closes. Further
    // calls answer NoError and do nothing.
    Status close();

    static QString statusText(Status status);

    // 80-bit IEEE extended numbers as AIFF stores sample rates.
    static void encodeExtended(double value, unsigned char out[10]);
    // False for infinities, not-a-numbers and unnormal encodings.
    static bool decodeExtended(const unsigned char in[10], double* value);

private:
    ZuAudioFile(int fd, Mode mode);
    bool parse(QString* error);
    Status updateSizes();
    bool readExactly(int64_t offset, void* buffer, size_t length) const;
    bool writeExactly(int64_t offset, const void* buffer, size_t length);

    int fd = -1;
    Mode mode;
    AuStreamBasicDescription format;
    int64_t fileSize = 0;
    int64_t commOffset = 0; // of the COMM chunk header
    int64_t ssndOffset = 0; // of the SSND chunk header
    int64_t dataStart = 0;
    int64_t dataBytes = 0;
    bool ssndIsLast = true;
    bool sizesChanged = false;
    bool failed = false;
    int failure = 0; // errno of the failed write
};
