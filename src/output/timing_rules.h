#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pelvano {

// A signed decimal integer that fits in 32 bits: optional sign, digits,
// nothing else.
std::optional<int32_t> ParseInt32(const std::string& text);

// Parses or throws Error("'%s' is not a valid integer value").
int32_t StrToInt(const std::string& text);

enum class KeyAction { Accept, Discard, AcceptAndRefresh };

// The character filter of the three timing fields.
KeyAction FilterTimingKey(char32_t c);

// Repair rules when focus leaves a field.
std::string RepairOffset(const std::string& text);     // edFrameOff, edMsOff -> "0"
std::string RepairFrameRate(const std::string& text);  // cbFrameRate -> "25000"

}  // namespace pelvano
