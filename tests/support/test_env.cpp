// SPDX-License-Identifier: GPL-3.0-or-later
// Sets the environment a test program was built to run with (MUB_TEST_ENV, "A=1;B=2")
// before any test starts. Variables already set from outside win.
#include <cstdlib>
#include <string>

#ifndef MUB_TEST_ENV
#define MUB_TEST_ENV ""
#endif

namespace {
const bool g_envApplied = [] {
    const std::string all = MUB_TEST_ENV;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos) {
            end = all.size();
        }
        const std::string item = all.substr(start, end - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos && eq > 0) {
            setenv(item.substr(0, eq).c_str(), item.substr(eq + 1).c_str(), 0);
        }
        start = end + 1;
    }
    return true;
}();
}  // namespace
