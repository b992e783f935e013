#include "viewer/mapscript.h"

#include <charconv>
#include <cstdio>

namespace viewer {

namespace {

constexpr std::string_view kScheme = "javascript:";
// Where RunScript splits the argument text.
constexpr std::string_view kSeparators = " ,'\"\t();";

std::string_view Trim(std::string_view text)
{
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) {
        return {};
    }
    const size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(start, end - start + 1);
}

void AppendUnicodeEscape(std::string* out, unsigned code)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", code);
    out->append(escape);
}

}  // namespace

std::string JsStringLiteral(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        // U+2028 and U+2029 end a line inside older script parsers' strings.
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
             static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            AppendUnicodeEscape(&out, static_cast<unsigned char>(text[i + 2]) == 0xA8 ? 0x2028 : 0x2029);
            i += 2;
            continue;
        }
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c == '\'') {
            AppendUnicodeEscape(&out, c);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
    return out;
}

bool ParseScriptCall(std::string_view text, ScriptCall* call)
{
    call->function.clear();
    call->arguments.clear();
    if (const size_t scheme = text.find(kScheme); scheme != std::string_view::npos) {
        text.remove_prefix(scheme + kScheme.size());
    }
    const size_t paren = text.find('(');
    if (paren == std::string_view::npos) {
        return false;
    }
    call->function = std::string(Trim(text.substr(0, paren)));
    std::string_view rest = text.substr(paren + 1);
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(kSeparators);
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const size_t end = rest.find_first_of(kSeparators);
        call->arguments.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
    return !call->function.empty();
}

std::string FunctionCallJs(std::string_view function, const std::vector<std::string>& argumentsJs)
{
    std::string args;
    for (size_t i = 0; i < argumentsJs.size(); ++i) {
        args += (i == 0 ? "" : ",") + argumentsJs[i];
    }
    // The name is looked up as a string, never pasted into the script as code.
    return "(function(){try{var f=window[" + JsStringLiteral(function) +
           "];if(typeof f!=='function')return '';var r=f(" + args +
           ");return typeof r==='string'?r:'';}catch(e){return '';}})()";
}

std::string ScriptCallJs(const ScriptCall& call)
{
    std::vector<std::string> args;
    args.reserve(call.arguments.size());
    for (const std::string& a : call.arguments) {
        args.push_back(JsStringLiteral(a));
    }
    return FunctionCallJs(call.function, args);
}

std::string SixDecimals(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string("0.000000");
}

std::string DrawCurrentScript(const CGPSData& fix)
{
    if (!IsMappableFix(fix)) {
        return {};
    }
    return "javascript:DrawCurrent('" + SixDecimals(fix.Latitude()) + "', '" + SixDecimals(fix.Longitude()) +
           "')";
}

std::string RouteJs(const GpsTrack& track)
{
    std::string out = "[";
    out.reserve(track.points.size() * 24 + 2);
    for (size_t i = 0; i < track.points.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
        }
        out +=
            "[" + SixDecimals(track.points[i].latitude) + "," + SixDecimals(track.points[i].longitude) + "]";
    }
    out.push_back(']');
    return out;
}

}  // namespace viewer
