// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line argument parsing shared by the command-line programs.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mub_version.h"

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

// --help (the usage on standard output) and --version, the same in every program. Returns
// true when arg was one of them: the program then ends with status 0.
inline bool AnswerStandardOption(const std::string& arg, const char* program, const char* help)
{
    if (arg == "-h" || arg == "--help") {
        std::fputs(help, stdout);
        return true;
    }
    if (arg == "--version") {
        std::printf("%s (mubviewer) %s\n", program, MUB_VERSION);
        return true;
    }
    return false;
}

// Bad arguments: one line on standard error; returns the exit status for them.
constexpr int kBadArgumentsStatus = 2;
inline int BadArguments(const char* program, const std::string& what)
{
    std::fprintf(stderr, "%s: %s (see %s --help)\n", program, what.c_str(), program);
    return kBadArgumentsStatus;
}
