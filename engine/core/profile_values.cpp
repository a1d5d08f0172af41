#include "profile_values.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <limits>
#include <system_error>

namespace vossel {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Position of the first character after the blanks and tabs at the start.
size_t SkipBlanks(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    return at;
}

size_t SkipDigits(const std::string& text, size_t at) {
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    return at;
}

}  // namespace

std::string ReadProfileValue(const ProfileReader& reader, const std::string& section, const std::string& key) {
    std::string value = reader.Get(section, key);
    const size_t end = value.find('\0');
    if (end != std::string::npos) {
        value.resize(end);
    }
    if (value.size() > kProfileValueMaxLength) {
        value.resize(kProfileValueMaxLength);
    }
    return value;
}

int LeadingDecimalInteger(const std::string& text) {
    size_t at = SkipBlanks(text);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // The magnitude stops growing one past INT_MAX, which is enough to tell
    // INT_MIN from an overflow.
    constexpr int64_t kLimit = int64_t{INT_MAX} + 1;
    int64_t magnitude = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    if (negative) {
        return static_cast<int>(-magnitude);  // -kLimit is INT_MIN
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

double LeadingDecimalNumber(const std::string& text) {
    size_t at = SkipBlanks(text);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const size_t integerStart = at;
    const size_t integerEnd = SkipDigits(text, integerStart);
    size_t fractionStart = integerEnd;
    size_t fractionEnd = integerEnd;
    if (integerEnd < text.size() && text[integerEnd] == '.') {
        fractionStart = integerEnd + 1;
        fractionEnd = SkipDigits(text, fractionStart);
    }
    if (integerEnd == integerStart && fractionEnd == fractionStart) {
        return 0.0;  // no digit before or after the point
    }
    size_t end = fractionEnd;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < text.size() && IsDigit(text[exponent])) {
            end = SkipDigits(text, exponent);
        }
    }

    // Digits on both sides of the point, so the converter sees one plain form.
    std::string number = integerEnd == integerStart ? "0" : text.substr(integerStart, integerEnd - integerStart);
    if (fractionEnd != fractionStart) {
        number += '.';
        number.append(text, fractionStart, fractionEnd - fractionStart);
    }
    number.append(text, fractionEnd, end - fractionEnd);

    double value = 0.0;
    const std::from_chars_result result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small: tell which by the decimal exponent of the
        // first nonzero digit.
        int64_t magnitude = 0;
        size_t firstNonzero = integerStart;
        while (firstNonzero < integerEnd && text[firstNonzero] == '0') {
            ++firstNonzero;
        }
        if (firstNonzero < integerEnd) {
            magnitude = static_cast<int64_t>(integerEnd - firstNonzero);
        } else {
            size_t zeros = fractionStart;
            while (zeros < fractionEnd && text[zeros] == '0') {
                ++zeros;
            }
            magnitude = -static_cast<int64_t>(zeros - fractionStart);
        }
        if (end != fractionEnd) {
            const std::string exponent = text.substr(fractionEnd + 1, end - fractionEnd - 1);
            magnitude += LeadingDecimalInteger(exponent);
        }
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace vossel
