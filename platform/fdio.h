// SPDX-License-Identifier: GPL-3.0-or-later
// Whole writes to a file descriptor.
#pragma once

#include <string_view>

// Writes all of data, going on after short writes and interruptions; false on an error.
bool WriteAll(int fd, std::string_view data);
