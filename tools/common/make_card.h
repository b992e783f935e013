// SPDX-License-Identifier: GPL-3.0-or-later
// Sample cards made with the mubcard program for tests and benchmarks, kept in a folder
// and made again only when mubcard is newer than the card.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace sample_card {

// True when card holds a whole card made after the mubcard program was built.
inline bool IsCurrent(const std::filesystem::path& mubcard, const std::filesystem::path& card)
{
    const std::filesystem::path stamp = card / "made.stamp";
    std::error_code ec;
    return std::filesystem::exists(stamp, ec) &&
           std::filesystem::last_write_time(stamp, ec) > std::filesystem::last_write_time(mubcard, ec);
}

// Makes the card with mubcard's arguments args unless a current one is there; returns
// the card folder, empty when mubcard failed. Parallel processes may ask for the same
// card, so each makes it in a folder of its own and moves it into place; a process that
// loses the race uses the winner's card.
inline std::string MakeOnce(const std::filesystem::path& mubcard, const std::filesystem::path& card,
                            const std::string& args)
{
    namespace fs = std::filesystem;
    if (IsCurrent(mubcard, card)) {
        return card.string();
    }
    std::error_code ec;
    const fs::path fresh = card.string() + ".new" + std::to_string(getpid());
    fs::remove_all(fresh, ec);
    fs::create_directories(fresh, ec);
    const std::string cmd = mubcard.string() + " --out '" + fresh.string() + "' " + args + " > /dev/null";
    if (std::system(cmd.c_str()) != 0) {
        fs::remove_all(fresh, ec);
        return {};
    }
    if (std::FILE* f = std::fopen((fresh / "made.stamp").c_str(), "w")) {
        std::fclose(f);
    }
    // Replace only a stale card; a fresh one another process just made stays.
    if (!IsCurrent(mubcard, card)) {
        const fs::path old = card.string() + ".old" + std::to_string(getpid());
        fs::rename(card, old, ec);
        fs::rename(fresh, card, ec);
        fs::remove_all(old, ec);
    }
    fs::remove_all(fresh, ec);
    return card.string();
}

}  // namespace sample_card
