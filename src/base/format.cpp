#include "base/format.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace pelvano {

std::string Format(const char* fmt, ...)
{
    // One pass for the short texts nearly every call makes; a second only
    // for a longer one.
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(buffer, sizeof buffer, fmt, copy);
    va_end(copy);
    std::string out;
    if (size > 0 && static_cast<size_t>(size) < sizeof buffer) {
        out.assign(buffer, static_cast<size_t>(size));
    } else if (size > 0) {
        out.resize(static_cast<size_t>(size) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, args);
        out.resize(static_cast<size_t>(size));
    }
    va_end(args);
    return out;
}

void AppendZeroPadded(std::string& out, unsigned long long value, int width)
{
    char digits[20];
    int len = 0;
    do {
        digits[len++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (len < width)
        out.append(static_cast<size_t>(width - len), '0');
    while (len != 0)
        out += digits[--len];
}

std::string ZeroPadded(unsigned long long value, int width)
{
    std::string out;
    AppendZeroPadded(out, value, width);
    return out;
}

size_t Utf8Length(std::string_view s, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    size_t len;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xc2 && c <= 0xdf) {
        len = 2;
        cp = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
        len = 3;
        cp = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80)
            return 0;
        cp = cp << 6 | (byte(i + k) & 0x3f);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10ffff)))
        return 0;
    return len;
}

}  // namespace pelvano
