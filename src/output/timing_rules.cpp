#include "output/timing_rules.h"

#include "base/error.h"

namespace pelvano {

std::optional<int32_t> ParseInt32(const std::string& text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;  // empty or a lone sign

    // Accumulate the magnitude in 64 bits and stop as soon as it cannot fit,
    // so any number of digits is safe.
    constexpr int64_t kMaxMagnitude = int64_t{INT32_MAX} + 1;  // |INT32_MIN|
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kMaxMagnitude)
            return std::nullopt;
    }
    if (!negative && magnitude > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

int32_t StrToInt(const std::string& text)
{
    if (const auto value = ParseInt32(text))
        return *value;
    // Concatenated rather than printf-formatted: the text may hold any byte.
    throw Error("'" + text + "' is not a valid integer value");
}

KeyAction FilterTimingKey(char32_t c)
{
    if (c == 13)
        return KeyAction::AcceptAndRefresh;
    if ((c >= U'0' && c <= U'9') || c == U'-' || c == 8)
        return KeyAction::Accept;
    return KeyAction::Discard;
}

std::string RepairOffset(const std::string& text)
{
    return ParseInt32(text) ? text : std::string("0");
}

std::string RepairFrameRate(const std::string& text)
{
    // Only the syntax is repaired; a rate of 0 or below is the renderer's to refuse.
    return ParseInt32(text) ? text : std::string("25000");
}

}  // namespace pelvano
