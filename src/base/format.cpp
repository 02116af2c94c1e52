#include "base/format.h"

#include <cstdarg>
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

}  // namespace pelvano
