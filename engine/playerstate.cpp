// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/playerstate.h"

const char* PlayerStateName(PlayerState s)
{
    switch (s) {
        case PlayerState::Stopped:
            return "stopped";
        case PlayerState::Playing:
            return "playing";
        case PlayerState::Paused:
            return "paused";
        case PlayerState::Stepping:
            return "stepping";
        case PlayerState::Stepped:
            return "stepped";
        case PlayerState::Ended:
            return "ended";
    }
    return "?";
}
