// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/mubcard/card_plan.h"

#include <algorithm>
#include <cstdio>

#include "mublib/mub_card.h"

bool ParseWallClock(const std::string& text, time_t* out)
{
    struct tm t {};
    char rest = 0;
    if (std::sscanf(text.c_str(), "%4d%2d%2d_%2d%2d%2d%c", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                    &t.tm_min, &t.tm_sec, &rest) != 6) {
        return false;
    }
    if (t.tm_year < 1971 || t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 ||
        t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 59) {
        return false;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    *out = timegm(&t);
    return true;
}

std::vector<RecordingPlan> PlanCard(const CardOptions& options)
{
    CRandom rng(options.seed * 0x9E3779B97F4A7C15ull + 17);
    std::vector<int> order;
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i < options.perCategory; ++i) {
            order.push_back(c);
        }
    }
    for (size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[static_cast<size_t>(rng.Next() % i)]);
    }
    time_t t = 0;
    ParseWallClock(options.start, &t);
    std::vector<RecordingPlan> plans;
    for (size_t i = 0; i < order.size(); ++i) {
        RecordingPlan p;
        p.category = order[i];
        p.letter = options.letters[i % options.letters.size()];
        p.seconds = rng.Range(options.minSeconds, options.maxSeconds);
        p.start = t;
        p.seed = rng.Next();
        p.name = mub::MakeRecordingName(p.category, p.start, p.letter);
        plans.push_back(p);
        // Driving follows driving closely; anything else is followed by a longer pause,
        // shorter on big cards so that they still span only a few days.
        const int pauseMax = std::clamp(3 * 86400 / static_cast<int>(order.size()), 120, 1800);
        t += p.seconds + (p.category == 1 ? rng.Range(0, 5) : rng.Range(60, pauseMax)) + 1;
    }
    return plans;
}
