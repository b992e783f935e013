// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded with LD_PRELOAD into the whole program: every read of a recording (a .mub file)
// first sleeps MUB_SLOW_READ_US microseconds for every KiB it asks for, so that a test can
// act in the middle of an export of the small sample recordings however the library
// batches its reads.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using PreadFn = ssize_t (*)(int, void*, size_t, off_t);

bool IsRecording(int fd)
{
    char link[32];
    char path[4096];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof(path) - 1);
    return n > 4 && std::memcmp(path + n - 4, ".mub", 4) == 0;
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t len, off_t offset)
{
    static const auto real = reinterpret_cast<PreadFn>(dlsym(RTLD_NEXT, "pread"));
    static const long delayUs = [] {
        const char* value = std::getenv("MUB_SLOW_READ_US");
        return value != nullptr ? std::atol(value) : 0L;
    }();
    if (delayUs > 0 && IsRecording(fd)) {
        ::usleep(static_cast<useconds_t>(delayUs * static_cast<long>((len + 1023) / 1024)));
    }
    return real(fd, buffer, len, offset);
}
