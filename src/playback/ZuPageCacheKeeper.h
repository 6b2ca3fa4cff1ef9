#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// Leaves the page cache as a sequential read found it: the pages of the file
// that were not cached when the keeper was made are dropped again
// (posix_fadvise DONTNEED) as soon as the reader is past them. A picture of a
// long recording then never pushes the recorder's own memory (its sound queue)
// or other files out of memory, while a file the recorder has just written,
// still cached, stays cached for the player.
class ZuPageCacheKeeper {
public:
    explicit ZuPageCacheKeeper(const QString& path);
    ~ZuPageCacheKeeper();
    ZuPageCacheKeeper(const ZuPageCacheKeeper&) = delete;
    ZuPageCacheKeeper& operator=(const ZuPageCacheKeeper&) = delete;

    // The reader has read everything before this byte offset of the file.
    void consumedUpTo(int64_t offset);
    // How many of the file's pages were cached when the keeper was made.
    int64_t pagesCachedBefore() const;

private:
    void drop(int64_t fromPage, int64_t toPage);

    int fd = -1;
    int64_t pageSize = 4096;
    int64_t fileSize = 0;
    // One entry per page: cached when the keeper was made.
    std::vector<unsigned char> cached;
    int64_t donePages = 0;
    // The first page of the run of formerly uncached pages being read; -1 when none.
    int64_t runStart = -1;
};
