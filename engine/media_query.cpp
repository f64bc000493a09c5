#include <engine/media_query_p.h>

#include <engine/ascii.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace tabrivo::detail {
namespace {

constexpr double kWidth = 1280;
constexpr double kHeight = 800;
constexpr double kFontSize = 16;  // em and rem in media queries

// The answer for a feature the browser does not know, or a value it cannot read.
enum class Truth : std::uint8_t { False, True, Unknown };

Truth truth(bool value) {
    return value ? Truth::True : Truth::False;
}

// A number with its unit, converted to the feature's own unit: pixels for
// lengths, dppx for resolutions, the quotient for ratios.
std::optional<double> numberIn(std::string_view text, bool resolution) {
    text = ascii::trim(text);
    if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
        const auto top = numberIn(text.substr(0, slash), false);
        const auto bottom = numberIn(text.substr(slash + 1), false);
        if (!top || !bottom || *bottom == 0) {
            return std::nullopt;
        }
        return *top / *bottom;
    }
    const std::string owned(text);
    char* end = nullptr;
    const double number = std::strtod(owned.c_str(), &end);
    if (end == owned.c_str()) {
        return std::nullopt;
    }
    const std::string_view unit = ascii::trim(std::string_view(end));
    if (unit.empty()) {
        return number;
    }
    static constexpr std::pair<std::string_view, double> kLengths[] = {
        {"px", 1},
        {"em", kFontSize},
        {"rem", kFontSize},
        {"vw", kWidth / 100},
        {"vh", kHeight / 100},
        {"in", 96},
        {"cm", 96 / 2.54},
        {"mm", 96 / 25.4},
        {"pt", 96.0 / 72},
        {"pc", 16},
        {"q", 96 / 101.6},
    };
    static constexpr std::pair<std::string_view, double> kResolutions[] = {
        {"dppx", 1}, {"x", 1}, {"dpi", 1.0 / 96}, {"dpcm", 2.54 / 96}};
    if (resolution) {
        for (const auto& [name, factor] : kResolutions) {
            if (unit == name) {
                return number * factor;
            }
        }
        return std::nullopt;
    }
    for (const auto& [name, factor] : kLengths) {
        if (unit == name) {
            return number * factor;
        }
    }
    return std::nullopt;
}

// The value of a feature that is a number, or nothing for a keyword feature.
struct NumericFeature {
    std::string_view name;
    double value;
    bool resolution;
};
constexpr NumericFeature kNumeric[] = {
    {"width", kWidth, false},
    {"height", kHeight, false},
    {"device-width", kWidth, false},
    {"device-height", kHeight, false},
    {"aspect-ratio", kWidth / kHeight, false},
    {"device-aspect-ratio", kWidth / kHeight, false},
    {"resolution", 1, true},
    {"-webkit-device-pixel-ratio", 1, false},
    {"color", 8, false},
    {"color-index", 0, false},
    {"monochrome", 0, false},
    {"grid", 0, false},
};

struct KeywordFeature {
    std::string_view name;
    std::string_view value;  // what the reference screen has
};
constexpr KeywordFeature kKeywords[] = {
    {"orientation", "landscape"},
    {"hover", "hover"},
    {"any-hover", "hover"},
    {"pointer", "fine"},
    {"any-pointer", "fine"},
    {"update", "fast"},
    {"scan", "none"},
    {"prefers-color-scheme", "light"},
    {"prefers-reduced-motion", "no-preference"},
    {"prefers-reduced-transparency", "no-preference"},
    {"prefers-reduced-data", "no-preference"},
    {"prefers-contrast", "no-preference"},
    {"forced-colors", "none"},
    {"inverted-colors", "none"},
    {"display-mode", "browser"},
    {"scripting", "none"},
    {"color-gamut", "srgb"},
    {"dynamic-range", "standard"},
    {"video-dynamic-range", "standard"},
    {"overflow-block", "scroll"},
    {"overflow-inline", "scroll"},
};

const NumericFeature* numericFeature(std::string_view name) {
    const auto* found = std::find_if(std::begin(kNumeric), std::end(kNumeric),
                                     [&](const NumericFeature& f) { return f.name == name; });
    return found == std::end(kNumeric) ? nullptr : found;
}

bool compare(double left, std::string_view op, double right) {
    constexpr double kEpsilon = 1e-9;
    if (op == "<") {
        return left < right - kEpsilon;
    }
    if (op == "<=") {
        return left <= right + kEpsilon;
    }
    if (op == ">") {
        return left > right + kEpsilon;
    }
    if (op == ">=") {
        return left >= right - kEpsilon;
    }
    return std::abs(left - right) <= kEpsilon;  // "="
}

// A range form: "width >= 600px", "600px < width", "400px <= width <= 700px".
Truth rangeFeature(std::string_view text) {
    std::vector<std::string_view> parts;
    std::vector<std::string_view> ops;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' || text[i] == '>' || text[i] == '=') {
            const std::size_t opLength = i + 1 < text.size() && text[i + 1] == '=' ? 2 : 1;
            parts.push_back(ascii::trim(text.substr(start, i - start)));
            ops.push_back(text.substr(i, opLength));
            i += opLength - 1;
            start = i + 1;
        }
    }
    parts.push_back(ascii::trim(text.substr(start)));
    if (ops.empty() || ops.size() > 2) {
        return Truth::Unknown;
    }
    const std::size_t nameAt = ops.size() == 2 ? 1 : (numericFeature(parts[0]) ? 0 : 1);
    const NumericFeature* feature = numericFeature(parts[nameAt]);
    if (feature == nullptr) {
        return Truth::Unknown;
    }
    bool result = true;
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const std::size_t other = k < nameAt ? k : k + 1;
        const auto value = numberIn(parts[other], feature->resolution);
        if (!value) {
            return Truth::Unknown;
        }
        result = result && (k < nameAt ? compare(*value, ops[k], feature->value)
                                       : compare(feature->value, ops[k], *value));
    }
    return truth(result);
}

Truth feature(std::string_view text) {
    text = ascii::trim(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        if (text.find_first_of("<>=") != std::string_view::npos) {
            return rangeFeature(text);
        }
        if (const NumericFeature* numeric = numericFeature(text)) {
            return truth(numeric->value != 0);
        }
        for (const KeywordFeature& keyword : kKeywords) {
            if (keyword.name == text) {
                return truth(keyword.value != "none" && keyword.value != "no-preference");
            }
        }
        return Truth::Unknown;
    }
    std::string_view name = ascii::trim(text.substr(0, colon));
    const std::string_view value = ascii::trim(text.substr(colon + 1));
    std::string_view op = "=";
    if (name == "-webkit-min-device-pixel-ratio" || name == "-webkit-max-device-pixel-ratio") {
        op = name[9] == 'i' ? ">=" : "<=";
        name = "-webkit-device-pixel-ratio";
    } else if (name.starts_with("min-") || name.starts_with("max-")) {
        op = name[1] == 'i' ? ">=" : "<=";
        name.remove_prefix(4);
    }
    if (const NumericFeature* numeric = numericFeature(name)) {
        const auto number = numberIn(value, numeric->resolution);
        if (!number) {
            return Truth::Unknown;
        }
        return truth(compare(numeric->value, op, *number));
    }
    if (op != "=") {
        return Truth::Unknown;
    }
    for (const KeywordFeature& keyword : kKeywords) {
        if (keyword.name == name) {
            return truth(keyword.value == value);
        }
    }
    return Truth::Unknown;
}

// One query: [not|only] type [and (feature)]..., or (feature) [and|or (feature)]...
bool queryApplies(std::string_view query) {
    query = ascii::trim(query);
    bool negated = false;
    auto word = [&query]() {
        std::size_t end = 0;
        while (end < query.size() && !ascii::isSpace(query[end]) && query[end] != '(') {
            ++end;
        }
        return query.substr(0, end);
    };
    auto skip = [&query](std::size_t length) { query = ascii::trim(query.substr(length)); };
    if (word() == "not") {
        negated = true;
        skip(3);
    } else if (word() == "only") {
        skip(4);
    }
    bool typeMatches = true;
    bool needsAnd = false;
    if (!query.empty() && query.front() != '(') {
        const std::string_view type = word();
        typeMatches = type == "all" || type == "screen";
        skip(type.size());
        needsAnd = true;
    }
    Truth result = Truth::True;
    std::string_view joiner;
    while (!query.empty()) {
        if (needsAnd) {
            const std::string_view next = word();
            if ((next != "and" && next != "or") || (!joiner.empty() && next != joiner)) {
                return false;
            }
            if (next.size() < query.size() && query[next.size()] == '(') {
                return false;  // "and(" is a function, not a keyword
            }
            joiner = next;
            skip(next.size());
        }
        if (query.empty() || query.front() != '(') {
            return false;
        }
        int depth = 0;
        std::size_t close = 0;
        for (; close < query.size(); ++close) {
            depth += query[close] == '(' ? 1 : query[close] == ')' ? -1 : 0;
            if (depth == 0) {
                break;
            }
        }
        if (close >= query.size()) {
            return false;
        }
        const Truth value = feature(query.substr(1, close - 1));
        if (joiner == "or") {
            result = result == Truth::True || value == Truth::True         ? Truth::True
                     : value == Truth::Unknown || result == Truth::Unknown ? Truth::Unknown
                                                                           : Truth::False;
        } else if (result != Truth::False) {
            result = value == Truth::False     ? Truth::False
                     : value == Truth::Unknown ? Truth::Unknown
                                               : result;
        }
        if (joiner.empty() && needsAnd) {
            joiner = "and";
        }
        needsAnd = true;
        skip(close + 1);
    }
    if (result == Truth::Unknown) {
        return false;  // neither the query nor its negation applies
    }
    return (typeMatches && result == Truth::True) != negated;
}

}  // namespace

bool mediaApplies(std::string_view queryList) {
    std::string lowered = ascii::toLower(ascii::trim(queryList));
    if (lowered.empty()) {
        return true;
    }
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= lowered.size(); ++i) {
        const char c = i < lowered.size() ? lowered[i] : ',';
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth < 0) {
                return false;  // a stray parenthesis spoils the whole list
            }
        } else if (c == ',' && depth == 0) {
            if (queryApplies(std::string_view(lowered).substr(start, i - start))) {
                return true;
            }
            start = i + 1;
        }
    }
    return false;
}

}  // namespace tabrivo::detail
