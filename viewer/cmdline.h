// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's command line, read before the application object exists, so that --help
// and --version work without a display.
#pragma once

#include <string>
#include <vector>

struct ViewerCommandLine {
    enum class Action { Run, Help, Version, Bad };
    Action action = Action::Run;
    std::string cardFolder;  // --card DIR or the one folder argument (a file manager's)
    bool trace = false;      // --trace: the diagnostic lines on standard error
    std::string error;       // what was wrong, for Bad
};

// args without the program name. Qt's own options (-platform NAME, -style NAME, ...) are
// left for the application object.
ViewerCommandLine ParseViewerCommandLine(const std::vector<std::string>& args);

extern const char* const kViewerHelp;
