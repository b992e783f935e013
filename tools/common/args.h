// Command-line argument parsing shared by the command-line programs.
#pragma once

#include <cerrno>
#include <cstdlib>

// A whole decimal number within [lo, hi]; false on anything else (trailing text, overflow).
inline bool ParseLong(const char* text, long lo, long hi, long* out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi) {
        return false;
    }
    *out = v;
    return true;
}
