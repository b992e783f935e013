// The card of the real-recording player tests: a minute of two small channels whose
// pictures flash and whose sound beeps once a second, so decoding stays far below real
// time even under sanitizers. Made once in the build folder; ctest runs these tests in
// parallel processes.
#pragma once

#include "tools/common/make_card.h"

#include <filesystem>
#include <string>

inline std::string SyncCard()
{
    namespace fs = std::filesystem;
    return sample_card::MakeOnce(
        fs::path(MUB_BINARY_DIR) / "tools/mubcard/mubcard",
        fs::path(MUB_BINARY_DIR) / "tests/player/sync_card",
        "--per-category 1 --letters D --duration 60 --front 160x96 --rear 160x96 --seed 11");
}
