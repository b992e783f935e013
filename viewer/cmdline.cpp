// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/cmdline.h"

#include <algorithm>
#include <array>

const char* const kViewerHelp =
    "Usage: mubviewer [--card DIR] [--trace] [FOLDER]\n"
    "Plays the recordings of a dashboard camera's SD card: every video channel with its\n"
    "sound, the speed, a G-sensor graph, the vehicle's signals and a map; exports\n"
    "recordings and edits the camera's settings. A mounted card is found by itself.\n"
    "\n"
    "Options:\n"
    "  FOLDER, --card DIR   a folder that counts as a card\n"
    "  --trace              diagnostic lines on standard error\n"
    "  -h, --help           show this help and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Environment:\n"
    "  MUB_CARD=DIR         also names a card folder\n"
    "  MUB_TRACE=1          diagnostic lines on standard error, as --trace\n"
    "  LANGUAGE, LANG       the language: Korean, English, Chinese or Japanese\n";

namespace {

// Qt's options that take a value; the application object reads them.
constexpr std::array<const char*, 14> kQtValueOptions = {"platform",      "platformpluginpath",
                                                         "platformtheme", "plugin",
                                                         "style",         "stylesheet",
                                                         "session",       "display",
                                                         "geometry",      "qwindowgeometry",
                                                         "qwindowtitle",  "qwindowicon",
                                                         "name",          "title"};

// Qt's options without a value.
constexpr std::array<const char*, 5> kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

bool IsOneOf(const std::string& name, const auto& list)
{
    return std::any_of(list.begin(), list.end(), [&](const char* known) { return name == known; });
}

}  // namespace

ViewerCommandLine ParseViewerCommandLine(const std::vector<std::string>& args)
{
    ViewerCommandLine line;
    auto bad = [&line](std::string error) {
        line.action = ViewerCommandLine::Action::Bad;
        line.error = std::move(error);
        return line;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            line.action = ViewerCommandLine::Action::Help;
            return line;
        }
        if (arg == "--version") {
            line.action = ViewerCommandLine::Action::Version;
            return line;
        }
        // Qt takes "-name" and "--name" alike.
        const std::string name = arg.substr(arg.rfind("--", 0) == 0 ? 2 : 1);
        if (arg == "--card") {
            if (i + 1 == args.size()) {
                return bad("--card needs a folder");
            }
            if (!line.cardFolder.empty()) {
                return bad("one card folder at a time");
            }
            line.cardFolder = args[++i];
        } else if (arg == "--trace") {
            line.trace = true;
        } else if (arg.size() > 1 && arg[0] == '-' && IsOneOf(name, kQtValueOptions)) {
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-' && IsOneOf(name, kQtFlags)) {
            continue;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return bad("unknown option " + arg);
        } else if (!line.cardFolder.empty()) {
            return bad("one card folder at a time");
        } else {
            line.cardFolder = arg;
        }
    }
    return line;
}
