// SPDX-License-Identifier: GPL-3.0-or-later
// The media player's state machine: what the player is doing, what each command or worker
// finding does to it, and what must happen on the way. One table, no threads: the player
// applies events through it under its state lock and is the only writer of the state.
//
//   state \ event  Open     Play     Pause    Stop     Seek*     StepShown  EndOfData  Shutdown
//   Stopped        Playing  -        -        -        -         -          -          -
//   Playing        Playing  -        Paused   Stopped  (target)  -          Ended+     Stopped
//   Paused         Playing  Playing  -        Stopped  Stepping  -          -          Stopped
//   Stepping       Playing  Playing  -        Stopped  (target)  Stepped+   Ended+     Stopped
//   Stepped        Playing  Playing  -        Stopped  Stepping  -          -          Stopped
//   Ended          Playing  -        -        Stopped  Stepping  -          -          Stopped
//
//   "-" keeps the state and does nothing. "(target)" keeps the state and leaves a pending
//   seek target for the worker. "+" carries an action: Ended+ tells the window the recording
//   ended (the player tells it once per open, even when a seek after the end reads to the
//   end again); Stepped+ redraws the stepped picture.
//   Seek* is a seek the player can act on: a recording is open and has front frames.
//
// Derived, never stored beside the state: the sound plays and the device runs only while
// Playing; the worker reads and presents while Playing or Stepping; the play state the
// window sees is 0 while Playing or Paused, 1 on (or stepping to) a stepped picture, and 2
// while Stopped or Ended.
#pragma once

#include <cstdint>

enum class PlayerState : uint8_t { Stopped, Playing, Paused, Stepping, Stepped, Ended };

enum class PlayerEvent : uint8_t { Open, Play, Pause, Stop, Seek, StepShown, EndOfData, Shutdown };

// What the thread that applied a transition must do besides storing the new state.
enum PlayerAction : uint8_t {
    kActNone = 0,
    kActSetTarget = 1,  // store the seek target for the worker (playing or stepping)
    kActSeekNow = 2,    // seek at once, then step (the worker is idle)
    kActNotifyEnd = 4,  // call the end event callback
    kActRedraw = 8,     // paint the stepped pictures again
};

struct PlayerTransition {
    PlayerState next;
    uint8_t actions;
};

constexpr int kPlayerStates = 6;
constexpr int kPlayerEvents = 8;

namespace player_table {
using S = PlayerState;
constexpr PlayerTransition Keep(S s)
{
    return {s, kActNone};
}
// Rows by state, columns by event, in the order of the enums.
constexpr PlayerTransition kTable[kPlayerStates][kPlayerEvents] = {
    // Stopped
    {{S::Playing, kActNone},
     Keep(S::Stopped),
     Keep(S::Stopped),
     Keep(S::Stopped),
     Keep(S::Stopped),
     Keep(S::Stopped),
     Keep(S::Stopped),
     Keep(S::Stopped)},
    // Playing
    {{S::Playing, kActNone},
     Keep(S::Playing),
     {S::Paused, kActNone},
     {S::Stopped, kActNone},
     {S::Playing, kActSetTarget},
     Keep(S::Playing),
     {S::Ended, kActNotifyEnd},
     {S::Stopped, kActNone}},
    // Paused
    {{S::Playing, kActNone},
     {S::Playing, kActNone},
     Keep(S::Paused),
     {S::Stopped, kActNone},
     {S::Stepping, kActSeekNow},
     Keep(S::Paused),
     Keep(S::Paused),
     {S::Stopped, kActNone}},
    // Stepping
    {{S::Playing, kActNone},
     {S::Playing, kActNone},
     Keep(S::Stepping),
     {S::Stopped, kActNone},
     {S::Stepping, kActSetTarget},
     {S::Stepped, kActRedraw},
     {S::Ended, kActNotifyEnd},
     {S::Stopped, kActNone}},
    // Stepped
    {{S::Playing, kActNone},
     {S::Playing, kActNone},
     Keep(S::Stepped),
     {S::Stopped, kActNone},
     {S::Stepping, kActSeekNow},
     Keep(S::Stepped),
     Keep(S::Stepped),
     {S::Stopped, kActNone}},
    // Ended
    {{S::Playing, kActNone},
     Keep(S::Ended),
     Keep(S::Ended),
     {S::Stopped, kActNone},
     {S::Stepping, kActSeekNow},
     Keep(S::Ended),
     Keep(S::Ended),
     {S::Stopped, kActNone}},
};
}  // namespace player_table

constexpr PlayerTransition NextPlayerState(PlayerState state, PlayerEvent event)
{
    return player_table::kTable[static_cast<int>(state)][static_cast<int>(event)];
}

// The worker reads and presents only in these.
constexpr bool IsRunning(PlayerState s)
{
    return s == PlayerState::Playing || s == PlayerState::Stepping;
}

// The play state the window reads: 0 loaded and playing or paused, 1 on a stepped picture,
// 2 nothing to play (stopped or ended).
constexpr int PlayStateOf(PlayerState s)
{
    switch (s) {
        case PlayerState::Playing:
        case PlayerState::Paused:
            return 0;
        case PlayerState::Stepping:
        case PlayerState::Stepped:
            return 1;
        default:
            return 2;
    }
}

// Run mode numbers as the tools print them: 1 playing, 10 stepping, 0 idle.
constexpr int RunModeOf(PlayerState s)
{
    return s == PlayerState::Playing ? 1 : s == PlayerState::Stepping ? 10 : 0;
}

const char* PlayerStateName(PlayerState s);
