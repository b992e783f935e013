// SPDX-License-Identifier: GPL-3.0-or-later
// Diagnostic console lines: the engine's and the window's running commentary ("[CThreadQueue]
// Pop Empty", "Press Button => 37"). Off unless MUB_TRACE is set to anything but "0" or a
// program turns it on, so the tools' standard output holds only their own output. Real
// problems are not traced: they go to standard error always.
#pragma once

// Whether trace lines are written; the first call reads MUB_TRACE. Cheap: the packet
// queues ask on every empty poll.
bool TraceEnabled();
// Overrides MUB_TRACE (the viewer's --trace, mubexport's --verbose, tests).
void SetTraceEnabled(bool on);
// Writes one printf-style line to standard error when tracing is on; the format carries
// its own newline. Safe from any thread: each call is one write.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
