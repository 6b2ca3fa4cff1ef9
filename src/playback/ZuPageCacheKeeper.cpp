#include "playback/ZuPageCacheKeeper.h"

#include <QFile>
#include <algorithm>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

ZuPageCacheKeeper::ZuPageCacheKeeper(const QString& path) {
    pageSize = std::max<int64_t>(::sysconf(_SC_PAGESIZE), 1);
    fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_size <= 0)
        return;
    fileSize = info.st_size;
    const auto pages = size_t((fileSize + pageSize - 1) / pageSize);
    // Without a readable residency map every page counts as cached, so nothing
    // is dropped that someone else may be using.
    cached.assign(pages, 1);
    void* map = ::mmap(nullptr, size_t(fileSize), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return;
    if (::mincore(map, size_t(fileSize), cached.data()) != 0)
        std::fill(cached.begin(), cached.end(), 1);
    ::munmap(map, size_t(fileSize));
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ZuPageCacheKeeper::~ZuPageCacheKeeper() {
    if (fd < 0)
        return;
    consumedUpTo(fileSize + pageSize);
    ::close(fd);
}

int64_t ZuPageCacheKeeper::pagesCachedBefore() const {
    return std::count_if(cached.begin(), cached.end(), [](unsigned char c) { return c & 1; });
}

void ZuPageCacheKeeper::consumedUpTo(int64_t offset) {
    const int64_t pages = std::min<int64_t>(
        offset >= fileSize ? int64_t(cached.size()) : offset / pageSize, int64_t(cached.size()));
    if (pages > donePages)
        drop(donePages, pages);
}

void ZuPageCacheKeeper::drop(int64_t fromPage, int64_t toPage) {
    // Each advice covers the whole run of formerly uncached pages up to here,
    // not only the newly read ones: the cache holds large folios, and a folio
    // is dropped only by an advice that covers all of it.
    for (int64_t page = fromPage; page < toPage; ++page) {
        const bool wasCached = cached[size_t(page)] & 1;
        if (!wasCached && runStart < 0)
            runStart = page;
        if (wasCached && runStart >= 0) {
            ::posix_fadvise(fd, runStart * pageSize, (page - runStart) * pageSize,
                            POSIX_FADV_DONTNEED);
            runStart = -1;
        }
    }
    if (runStart >= 0)
        ::posix_fadvise(fd, runStart * pageSize, (toPage - runStart) * pageSize,
                        POSIX_FADV_DONTNEED);
    donePages = toPage;
}
