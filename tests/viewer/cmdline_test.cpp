// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's command line: a card folder by option or by argument (as a file manager
// passes it), Qt's own options left alone, anything else refused.
#include "viewer/cmdline.h"

#include <gtest/gtest.h>

using Action = ViewerCommandLine::Action;

TEST(ViewerCommandLine, ReadsFoldersOptionsAndRefusesTheRest)
{
    struct Case {
        std::vector<std::string> args;
        Action action;
        std::string card;
        bool trace;
    };
    const Case cases[] = {
        {{}, Action::Run, "", false},
        {{"--card", "/media/SD"}, Action::Run, "/media/SD", false},
        {{"/media/SD"}, Action::Run, "/media/SD", false},
        {{"--trace", "/media/SD"}, Action::Run, "/media/SD", true},
        {{"-platform", "offscreen", "/media/SD", "--style", "fusion", "-reverse"},
         Action::Run,
         "/media/SD",
         false},
        {{"--card", "/a", "/b"}, Action::Bad, "", false},
        {{"/a", "/b"}, Action::Bad, "", false},
        {{"--card"}, Action::Bad, "", false},
        {{"--cards", "/a"}, Action::Bad, "", false},
        {{"-x"}, Action::Bad, "", false},
        {{"--no-such", "--help"}, Action::Bad, "", false},
        {{"/a", "--help", "--no-such"}, Action::Help, "", false},
        {{"-h"}, Action::Help, "", false},
        {{"--version"}, Action::Version, "", false},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        const ViewerCommandLine line = ParseViewerCommandLine(c.args);
        EXPECT_EQ(line.action, c.action);
        if (c.action == Action::Run) {
            EXPECT_EQ(line.cardFolder, c.card);
            EXPECT_EQ(line.trace, c.trace);
        }
        EXPECT_EQ(line.error.empty(), c.action != Action::Bad);
    }
}
