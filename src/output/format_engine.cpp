#include "output/format_engine.h"

#include <algorithm>
#include <string_view>

#include "base/error.h"
#include "output/timing_rules.h"

namespace pelvano {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// ceil(x / 1 000 000) in exact integer arithmetic; callers keep x below
// 2^63 (a 32-bit time times a positive 31-bit rate).
uint64_t CeilMillionth(uint64_t x)
{
    return (x + 999'999) / 1'000'000;
}

// printf's "%0<minDigits>u" without the format parsing and the temporary.
void AppendNumber(std::string& out, uint64_t value, size_t minDigits)
{
    char digits[20];
    size_t len = 0;
    do {
        digits[len++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (len < minDigits)
        out.append(minDigits - len, '0');
    while (len != 0)
        out += digits[--len];
}

struct ChapterValues {
    uint64_t hours;
    uint64_t minutes;
    uint64_t seconds;
    uint64_t hundredths;
    uint64_t remainder;
    uint64_t frameInSecond;
    uint64_t frame;
    uint64_t chapter;
};

// Replacing the ten placeholders one after the other, each everywhere, is
// the same as this single scan: every pattern begins with '%' or '\' and
// holds neither further on, and the substituted texts hold only digits and
// CR LF, so no replacement can create or split another match. Where two
// patterns share a start ("%cc"/"%c", "%ff"/"%f") the longer one comes
// first in the substitution order, hence it wins here too.
void AppendExpanded(std::string& out, const std::string& format, const ChapterValues& v)
{
    const size_t size = format.size();
    size_t i = 0;
    while (i < size) {
        const size_t special = format.find_first_of("%\\", i);
        if (special == std::string::npos) {
            out.append(format, i, std::string::npos);
            return;
        }
        out.append(format, i, special - i);
        i = special;
        const char a = i + 1 < size ? format[i + 1] : '\0';
        const char b = i + 2 < size ? format[i + 2] : '\0';
        if (format[i] == '\\') {
            if (a == 'n') {
                out += kCrLf;
                i += 2;
            } else {
                out += '\\';
                ++i;
            }
            continue;
        }
        if (a == 'h' && b == 'h') {
            AppendNumber(out, v.hours, 2);
            i += 3;
        } else if (a == 'm' && b == 'm') {
            AppendNumber(out, v.minutes, 2);
            i += 3;
        } else if (a == 's' && b == 's') {
            AppendNumber(out, v.seconds, 2);
            i += 3;
        } else if (a == 'c' && b == 'c') {
            AppendNumber(out, v.hundredths, 2);
            i += 3;
        } else if (a == 'c') {
            AppendNumber(out, v.chapter, 1);
            i += 2;
        } else if (a == 'C') {
            AppendNumber(out, v.chapter, 2);
            i += 2;
        } else if (a == 'f' && b == 'f') {
            AppendNumber(out, v.frameInSecond, 2);
            i += 3;
        } else if (a == 'f') {
            AppendNumber(out, v.frame, 1);
            i += 2;
        } else if (a == 'm' && b == 's') {
            AppendNumber(out, v.remainder, 3);
            i += 3;
        } else {
            out += '%';
            ++i;
        }
    }
}

}  // namespace

std::string ExpandLineBreaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    for (size_t hit; (hit = text.find("\\n", i)) != std::string::npos; i = hit + 2) {
        out.append(text, i, hit - i);
        out += kCrLf;
    }
    out.append(text, i, std::string::npos);
    return out;
}

RenderOutput RenderChapters(const TitleModel& model, const RenderInput& input,
                            const KeyFrameOpener& snap)
{
    // Opened before anything is parsed; the unique_ptr closes it again on
    // every way out, a conversion error included.
    std::unique_ptr<KeyFrameSource> keyFrames;
    if (snap)
        keyFrames = snap();

    const int32_t frameOffset = StrToInt(input.frameOffset);
    const int32_t frameRateMilli = StrToInt(input.frameRate);
    // The arithmetic takes the rate as unsigned: a negative one would act as
    // a rate of billions and 0 would put every chapter on frame 0. Neither is
    // a video, so refuse them as plainly as a typing error.
    if (frameRateMilli <= 0)
        throw Error("'" + input.frameRate + "' is not a valid frame rate");
    const int32_t msOffset = StrToInt(input.msOffset);
    const uint64_t rate = static_cast<uint64_t>(frameRateMilli);

    // A model whose count outruns its table renders the chapters it holds.
    const size_t count = std::min<size_t>(model.chapterCount, model.chapterStarts.size());

    RenderOutput result;
    result.frameRateMilli = frameRateMilli;
    std::string& out = result.text;
    out.reserve(input.header.size() + 2 + count * (input.format.size() + 16));

    if (!input.header.empty()) {
        out += ExpandLineBreaks(input.header);
        out += kCrLf;
    }

    for (size_t k = 0; k < count; ++k) {
        const uint32_t start = model.chapterStartMs(k);

        // Clamped to the 32-bit range the key-frame positions live in.
        int64_t frame = static_cast<int64_t>(CeilMillionth(start * rate)) + frameOffset;
        frame = std::clamp<int64_t>(frame, 0, INT32_MAX);
        if (keyFrames)
            frame = SnapToKeyFrame(*keyFrames, static_cast<int32_t>(frame));

        // 64 bits: a start beyond INT32_MAX ms plus an offset stays exact.
        const int64_t shifted = int64_t{start} + msOffset;
        const uint64_t t = shifted < 0 ? 0 : static_cast<uint64_t>(shifted);

        ChapterValues v;
        v.hours = t / 3'600'000;
        v.minutes = (t % 3'600'000) / 60'000;
        v.seconds = (t % 60'000) / 1000;
        v.remainder = t % 1000;
        v.hundredths = v.remainder / 10;
        v.frameInSecond = CeilMillionth(v.remainder * rate);
        v.frame = static_cast<uint64_t>(frame);
        v.chapter = k + 1;

        AppendExpanded(out, input.format, v);
        out += kCrLf;
    }
    return result;
}

}  // namespace pelvano
