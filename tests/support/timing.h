// Whether a test may hold wall-clock bounds: not under sanitizers (MUB_NO_TIMING_ASSERTS),
// and not on a machine whose cores are oversubscribed by other work, where a picture held
// for a scheduling slice says nothing about the player.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace test_timing {

inline bool BoundsHold()
{
    if (std::getenv("MUB_NO_TIMING_ASSERTS") != nullptr) {
        return false;
    }
    double load = 0;
    const unsigned cores = std::thread::hardware_concurrency();
    if (getloadavg(&load, 1) == 1 && cores > 0 && load > 1.5 * cores) {
        std::printf("machine busy (load %.1f on %u cores): time bounds not checked\n", load, cores);
        return false;
    }
    return true;
}

}  // namespace test_timing
