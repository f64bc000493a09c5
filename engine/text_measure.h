#pragma once
// What a text adds to a result, counted without the text at hand: a cell's
// text can hold the text of every table nested in it, so a result's size is
// known from measures before any of it is made.

#include <cstdint>
#include <string_view>

namespace tabrivo {

struct TextMeasure {
    std::uint64_t bytes = 0;      // as it is
    std::uint64_t jsonBytes = 0;  // in a JSON string, without the quotes around it
    std::uint64_t quotes = 0;     // double quotes, which CSV doubles
    bool csvQuoted = false;       // holds a comma, a quote or a line break: CSV quotes it

    // The measure of a text on its own. A text that is not UTF-8 is measured
    // as JSON writes it, repaired.
    static TextMeasure of(std::string_view text);

    // The measure of this text followed by the other.
    TextMeasure& operator+=(const TextMeasure& other) {
        bytes += other.bytes;
        jsonBytes += other.jsonBytes;
        quotes += other.quotes;
        csvQuoted = csvQuoted || other.csvQuoted;
        return *this;
    }

    bool operator==(const TextMeasure&) const = default;
};

}  // namespace tabrivo
