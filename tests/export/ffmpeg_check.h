// SPDX-License-Identifier: GPL-3.0-or-later
// FFmpeg's tools as the judge of an exported AVI file: ffprobe and a full decode accept it
// without a word, and each video stream holds the pictures expected.
#pragma once

#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

inline std::string ShellQuoted(const std::string& s)
{
    return "'" + s + "'";
}

// The FFmpeg checks every exported file must pass; frames[ch] = expected pictures of
// video stream ch.
inline void ExpectFfmpegAccepts(const std::string& avi, const std::vector<int>& frames)
{
    SCOPED_TRACE(avi);
    const RunResult probe = RunCommand(std::string(FFPROBE_EXECUTABLE) + " -v error " + ShellQuoted(avi));
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "");
    const RunResult decode = RunCommand(std::string(FFMPEG_EXECUTABLE) + " -nostdin -v error -xerror -i " +
                                        ShellQuoted(avi) + " -map 0:v -map 0:a -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
    const RunResult count = RunCommand(std::string(FFPROBE_EXECUTABLE) +
                                       " -v error -count_packets -select_streams v -show_entries "
                                       "stream=nb_frames,nb_read_packets -of csv=p=0 " +
                                       ShellQuoted(avi));
    ASSERT_EQ(count.status, 0);
    std::istringstream lines(count.output);
    std::string line;
    std::vector<int> seen;
    while (std::getline(lines, line)) {
        int nbFrames = -1;
        int nbRead = -2;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d", &nbFrames, &nbRead), 2) << line;
        EXPECT_EQ(nbFrames, nbRead);
        seen.push_back(nbFrames);
    }
    EXPECT_EQ(seen, frames);
}
