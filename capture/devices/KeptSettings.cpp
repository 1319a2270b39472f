#include "KeptSettings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace capture {

namespace {

struct KindName {
    ControlKind kind;
    std::string_view name;
};
constexpr std::array kindNames{
    KindName{ControlKind::Integer, "integer"},       KindName{ControlKind::Boolean, "boolean"},
    KindName{ControlKind::Menu, "menu"},             KindName{ControlKind::IntegerMenu, "integer-menu"},
    KindName{ControlKind::Integer64, "integer64"},   KindName{ControlKind::Bitmask, "bitmask"},
    KindName{ControlKind::String, "string"},
};

std::string_view nameOf(ControlKind kind)
{
    for (const KindName& entry : kindNames)
        if (entry.kind == kind)
            return entry.name;
    return "unknown";
}

std::optional<ControlKind> kindNamed(std::string_view name)
{
    for (const KindName& entry : kindNames)
        if (entry.name == name)
            return entry.kind;
    return std::nullopt;
}

// A string control's text on one line: spaces, percent signs and line ends as %XX.
std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || c == '%' || byte == 0x7f) {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size()
            || std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr != text.data() + i + 3)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> wordsOf(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

template <typename Number>
std::optional<Number> numberIn(std::string_view word, int base = 10)
{
    Number value{};
    if (base == 16 && word.starts_with("0x"))
        word.remove_prefix(2);
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (error != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

std::optional<double> decimalIn(std::string_view word)
{
    std::istringstream in{std::string(word)};
    double value = 0;
    if (!(in >> value) || !in.eof())
        return std::nullopt;
    return value;
}

std::string rest(std::string_view line, std::string_view firstWord)
{
    std::string_view after = line.substr(line.find(firstWord) + firstWord.size());
    const std::size_t start = after.find_first_not_of(' ');
    return start == std::string_view::npos ? std::string() : std::string(after.substr(start));
}

// A line "control <id> <kind> <value> [<key>]"; nothing when it is not one.
std::optional<KeptControl> controlIn(const std::vector<std::string_view>& words)
{
    if (words.size() < 4)
        return std::nullopt;
    const auto id = numberIn<std::uint32_t>(words[1], 16);
    const auto kind = kindNamed(words[2]);
    if (!id || !kind)
        return std::nullopt;
    KeptControl control{*id, *kind, 0, {}, words.size() > 4 ? std::string(words[4]) : std::string()};
    if (*kind == ControlKind::String) {
        const auto text = unescaped(words[3]);
        if (!text)
            return std::nullopt;
        control.text = *text;
        return control;
    }
    const auto value = numberIn<std::int64_t>(words[3]);
    if (!value)
        return std::nullopt;
    control.value = *value;
    return control;
}

std::optional<VideoFormat> formatIn(const std::vector<std::string_view>& words)
{
    if (words.size() < 6 || words.size() > 7 || (words.size() == 7 && words[6] != "converted"))
        return std::nullopt;
    const auto width = numberIn<int>(words[2]);
    const auto height = numberIn<int>(words[3]);
    const auto numerator = numberIn<int>(words[4]);
    const auto denominator = numberIn<int>(words[5]);
    if (!width || !height || !numerator || !denominator || *denominator == 0)
        return std::nullopt;
    return VideoFormat{std::string(words[1]), *width, *height, *numerator, *denominator, words.size() == 7};
}

constexpr std::string_view endLine = "end";

}  // namespace

void KeptSettings::keep(const KeptControl& control)
{
    auto kept = std::find_if(controls.begin(), controls.end(), [&](const KeptControl& c) { return c.id == control.id; });
    if (kept != controls.end())
        *kept = control;
    else
        controls.push_back(control);
}

std::string keptSettingsText(const KeptSettings& settings)
{
    std::ostringstream out;
    out << "# Settings one camera keeps, written by the capture control: a setting a line.\n"
           "# Controls are named by their kernel id; the last word only helps the reader.\n"
           "# To forget the camera, press \"Forget this camera\" on its property page or delete this file.\n";
    out << "camera " << settings.camera << '\n';
    out << "name " << settings.name << '\n';
    out << "keeping " << (settings.keeping ? "on" : "off") << '\n';
    if (settings.input)
        out << "input " << *settings.input << '\n';
    if (settings.countryCode)
        out << "country " << *settings.countryCode << '\n';
    if (const auto& format = settings.format)
        out << "format " << format->pixelFormat << ' ' << format->width << ' ' << format->height << ' '
            << format->fpsNumerator << ' ' << format->fpsDenominator << (format->converted ? " converted" : "") << '\n';
    for (const KeptControl& control : settings.controls) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08x", control.id);
        out << "control " << id << ' ' << nameOf(control.kind) << ' '
            << (control.kind == ControlKind::String ? escaped(control.text) : std::to_string(control.value));
        if (!control.key.empty())
            out << ' ' << control.key;
        out << '\n';
    }
    out << endLine << '\n';
    return out.str();
}

KeptSettingsRead readKeptSettings(std::string_view text)
{
    KeptSettingsRead read;
    KeptSettings& settings = read.settings;
    auto problem = [&read](int number, const std::string& what) {
        read.problems.push_back("line " + std::to_string(number) + ": " + what);
    };
    bool ended = false;
    int number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t lineEnd = text.find('\n', at);
        const bool cut = lineEnd == std::string_view::npos;
        if (cut)
            lineEnd = text.size();
        const std::string_view line = text.substr(at, lineEnd - at);
        at = lineEnd + 1;
        ++number;
        if (cut) {
            // The file ends in the middle of this line: what it says may be cut short too.
            problem(number, "cut short, not read");
            break;
        }
        const auto words = wordsOf(line);
        if (words.empty() || words[0].starts_with('#'))
            continue;
        const std::string_view what = words[0];
        if (what == endLine) {
            ended = true;
        } else if (what == "camera" && words.size() > 1) {
            settings.camera = rest(line, what);
        } else if (what == "name") {
            settings.name = rest(line, what);
        } else if (what == "keeping" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
            settings.keeping = words[1] == "on";
        } else if (what == "input" && words.size() == 2 && numberIn<int>(words[1]) >= 0) {
            settings.input = numberIn<int>(words[1]);
        } else if (what == "country" && words.size() == 2 && decimalIn(words[1])) {
            settings.countryCode = decimalIn(words[1]);
        } else if (what == "format" && formatIn(words)) {
            settings.format = formatIn(words);
        } else if (what == "control" && controlIn(words)) {
            settings.keep(*controlIn(words));
        } else {
            problem(number, "\"" + std::string(line.substr(0, 60)) + "\" is not a setting, not read");
        }
    }
    if (!ended)
        read.problems.push_back("the file is cut short: what came after line " + std::to_string(number) + " is lost");
    return read;
}

}  // namespace capture
