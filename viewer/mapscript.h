// The text that goes into a map page: script calls and the values put into the page,
// built so that no value can end a string or a script element early.
#pragma once

#include "formats/gpstrack.h"
#include "formats/telemetry.h"

#include <string>
#include <string_view>
#include <vector>

namespace viewer {

// A double-quoted script string literal of UTF-8 text. Quotes, backslashes, control
// characters, "<", ">", "&", "'" and the two script line separators are \u-escaped, so the
// literal may stand inside a script element or a written document.
std::string JsStringLiteral(std::string_view text);

// A page function call as RunScript reads it: the text after "javascript:" (when present),
// the name before the first "(" with white space trimmed, and one string argument per
// token of the rest, split at space, ",", "'", '"', tab, "(", ")" and ";".
struct ScriptCall {
    std::string function;
    std::vector<std::string> arguments;
};
// False for empty text, a text without "(" or an empty name.
bool ParseScriptCall(std::string_view text, ScriptCall* call);

// Script that calls the named page function with the given argument expressions (each
// already a script value: a string literal, a number or an array) and yields its result
// when that is a string, else "". A missing function or an error in it yields "".
std::string FunctionCallJs(std::string_view function, const std::vector<std::string>& argumentsJs);
// The same for a parsed call: every argument a string.
std::string ScriptCallJs(const ScriptCall& call);

// "javascript:DrawCurrent('<latitude>', '<longitude>')" with six decimals, with a decimal
// point whatever the process locale; empty for a fix the map cannot show.
std::string DrawCurrentScript(const CGPSData& fix);
// A number with six decimals and a decimal point, whatever the locale.
std::string SixDecimals(double value);
// The route as DrawRoute's argument: [[lat,lon],...] with six decimals.
std::string RouteJs(const GpsTrack& track);

}  // namespace viewer
