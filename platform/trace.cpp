// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/trace.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// -1 until MUB_TRACE has been read (or a program decided), then 0 or 1.
std::atomic<int> g_trace{-1};

int FromEnvironment()
{
    const char* value = std::getenv("MUB_TRACE");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0 ? 1 : 0;
}

}  // namespace

bool TraceEnabled()
{
    int state = g_trace.load(std::memory_order_relaxed);
    if (state < 0) {
        int unknown = -1;
        g_trace.compare_exchange_strong(unknown, FromEnvironment());
        state = g_trace.load();
    }
    return state == 1;
}

void SetTraceEnabled(bool on)
{
    g_trace.store(on ? 1 : 0);
}

void Trace(const char* format, ...)
{
    if (!TraceEnabled()) {
        return;
    }
    // Formatted first, so that lines from several threads do not interleave.
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) {
        std::fwrite(line, 1, std::min<size_t>(static_cast<size_t>(n), sizeof line - 1), stderr);
    }
}
