#pragma once

#include <QByteArray>
#include <QString>
#include <mutex>

// The open log book file. Every append goes to the end of the file (O_APPEND)
// as one write, under a lock shared with opening and closing, so blocks
// appended from several threads never interleave. A file removed while open
// (the record folder deleted under a running duty) is made again at its path
// once that folder is back, so the later blocks are not written into nothing.
class ZuLogBookFile {
public:
    ZuLogBookFile() = default;
    ~ZuLogBookFile();
    ZuLogBookFile(const ZuLogBookFile&) = delete;
    ZuLogBookFile& operator=(const ZuLogBookFile&) = delete;

    // Opens an existing file to add to it; false when it is missing or does
    // not open for writing.
    bool openForUpdate(const QString& path);
    // Removes the file if present and creates it empty.
    bool create(const QString& path);
    bool isOpen() const;
    // Appends the block whole; false while no file is open.
    bool append(const QByteArray& block);
    // The last block: nothing another thread appends can come after it.
    bool appendAndClose(const QByteArray& block);
    void close();

private:
    bool openLocked(const QString& path, int flags);
    bool appendLocked(const QByteArray& block);
    void reopenIfRemovedLocked();

    mutable std::mutex mutex;
    int fd = -1;
    QString openPath;
};
