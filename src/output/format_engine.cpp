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

// One time field set: the start's or the end's.
struct TimeValues {
    uint64_t hours = 0;
    uint64_t minutes = 0;
    uint64_t seconds = 0;
    uint64_t hundredths = 0;
    uint64_t remainder = 0;
    uint64_t frameInSecond = 0;
    uint64_t frame = 0;
    uint64_t totalMs = 0;
};

struct ChapterValues {
    TimeValues start;
    TimeValues end;
    uint64_t chapter = 0;
};

enum class Field {
    None,  // not a placeholder: the character stays
    LineBreak,
    Hours, Minutes, Seconds, Hundredths, Chapter, Chapter2, FrameInSecond, Frame, Millis,
    EndHours, EndMinutes, EndSeconds, EndHundredths, EndFrameInSecond, EndFrame, EndMillis,
    WholeMs, EndWholeMs,
};

struct Match {
    Field field;
    size_t length;
};

// The placeholder at format[i], which is '%' or '\'. The language is ten
// substitutions applied one after the other, each everywhere:
//   1 %hh  2 %mm  3 %ss  4 %cc  5 %c  6 %C  7 %ff  8 %f  9 \n  10 %ms
// followed by the end and whole-millisecond ones:
//   11 %ehh  12 %emm  13 %ess  14 %ecc  15 %eff  16 %ef  17 %ems  18 %et  19 %t
// Every pattern begins with '%' or '\' and holds neither further on, and the
// substituted texts hold only digits and CR LF, so no replacement can create
// or split another match: a single left-to-right scan gives the same text.
// Where two patterns share a start ("%cc"/"%c", "%ff"/"%f", "%eff"/"%ef")
// the longer one comes first in the order, hence it wins here too. Steps 11
// to 19 begin with "%e" or "%t", which no earlier pattern does, so they never
// change what steps 1 to 10 give: a line without them renders as before.
Match MatchAt(const std::string& format, size_t i)
{
    const size_t size = format.size();
    const char a = i + 1 < size ? format[i + 1] : '\0';
    const char b = i + 2 < size ? format[i + 2] : '\0';
    if (format[i] == '\\')
        return a == 'n' ? Match{Field::LineBreak, 2} : Match{Field::None, 1};
    if (a == 'h' && b == 'h')
        return {Field::Hours, 3};
    if (a == 'm' && b == 'm')
        return {Field::Minutes, 3};
    if (a == 's' && b == 's')
        return {Field::Seconds, 3};
    if (a == 'c' && b == 'c')
        return {Field::Hundredths, 3};
    if (a == 'c')
        return {Field::Chapter, 2};
    if (a == 'C')
        return {Field::Chapter2, 2};
    if (a == 'f' && b == 'f')
        return {Field::FrameInSecond, 3};
    if (a == 'f')
        return {Field::Frame, 2};
    if (a == 'm' && b == 's')
        return {Field::Millis, 3};
    if (a == 't')
        return {Field::WholeMs, 2};
    if (a != 'e')
        return {Field::None, 1};
    const char c = i + 3 < size ? format[i + 3] : '\0';
    if (b == 'h' && c == 'h')
        return {Field::EndHours, 4};
    if (b == 'm' && c == 'm')
        return {Field::EndMinutes, 4};
    if (b == 's' && c == 's')
        return {Field::EndSeconds, 4};
    if (b == 'c' && c == 'c')
        return {Field::EndHundredths, 4};
    if (b == 'f' && c == 'f')
        return {Field::EndFrameInSecond, 4};
    if (b == 'f')
        return {Field::EndFrame, 3};
    if (b == 'm' && c == 's')
        return {Field::EndMillis, 4};
    if (b == 't')
        return {Field::EndWholeMs, 3};
    return {Field::None, 1};
}

void AppendField(std::string& out, Field field, const ChapterValues& v)
{
    switch (field) {
    case Field::None: break;
    case Field::LineBreak: out += kCrLf; break;
    case Field::Hours: AppendNumber(out, v.start.hours, 2); break;
    case Field::Minutes: AppendNumber(out, v.start.minutes, 2); break;
    case Field::Seconds: AppendNumber(out, v.start.seconds, 2); break;
    case Field::Hundredths: AppendNumber(out, v.start.hundredths, 2); break;
    case Field::Chapter: AppendNumber(out, v.chapter, 1); break;
    case Field::Chapter2: AppendNumber(out, v.chapter, 2); break;
    case Field::FrameInSecond: AppendNumber(out, v.start.frameInSecond, 2); break;
    case Field::Frame: AppendNumber(out, v.start.frame, 1); break;
    case Field::Millis: AppendNumber(out, v.start.remainder, 3); break;
    case Field::EndHours: AppendNumber(out, v.end.hours, 2); break;
    case Field::EndMinutes: AppendNumber(out, v.end.minutes, 2); break;
    case Field::EndSeconds: AppendNumber(out, v.end.seconds, 2); break;
    case Field::EndHundredths: AppendNumber(out, v.end.hundredths, 2); break;
    case Field::EndFrameInSecond: AppendNumber(out, v.end.frameInSecond, 2); break;
    case Field::EndFrame: AppendNumber(out, v.end.frame, 1); break;
    case Field::EndMillis: AppendNumber(out, v.end.remainder, 3); break;
    case Field::WholeMs: AppendNumber(out, v.start.totalMs, 1); break;
    case Field::EndWholeMs: AppendNumber(out, v.end.totalMs, 1); break;
    }
}

void AppendExpanded(std::string& out, const std::string& format, const ChapterValues& v)
{
    size_t i = 0;
    while (i < format.size()) {
        const size_t special = format.find_first_of("%\\", i);
        if (special == std::string::npos) {
            out.append(format, i, std::string::npos);
            return;
        }
        out.append(format, i, special - i);
        const Match match = MatchAt(format, special);
        if (match.field == Field::None)
            out += format[special];
        else
            AppendField(out, match.field, v);
        i = special + match.length;
    }
}

// Which end values the line asks for: the end's fields cost a second
// key-frame lookup per chapter, which a line without them must not make.
struct EndUse {
    bool times = false;
    bool frame = false;
};

EndUse EndFieldsIn(const std::string& format)
{
    EndUse use;
    for (size_t i = format.find_first_of("%\\"); i != std::string::npos;
         i = format.find_first_of("%\\", i)) {
        const Match match = MatchAt(format, i);
        switch (match.field) {
        case Field::EndFrame: use.frame = true; break;
        case Field::EndHours: case Field::EndMinutes: case Field::EndSeconds: case Field::EndHundredths:
        case Field::EndFrameInSecond: case Field::EndMillis: case Field::EndWholeMs: use.times = true; break;
        default: break;
        }
        i += match.length;
    }
    return use;
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
    out.reserve(input.header.size() + input.footer.size() + 4 + count * (input.format.size() + 16));

    if (!input.header.empty()) {
        out += ExpandLineBreaks(input.header);
        out += kCrLf;
    }

    const EndUse endUse = EndFieldsIn(input.format);
    const auto frameAt = [&](uint32_t ms, uint32_t ntscFrames) {
        // With exact NTSC time the position is ntscFrames x 1001/30 ms
        // exactly; its rounded-up milliseconds would put an NTSC frame number
        // one frame late.
        const uint64_t exact =
            model.exactNtsc
                ? static_cast<uint64_t>((static_cast<unsigned __int128>(ntscFrames) * 1001 * rate +
                                         29'999'999) / 30'000'000)
                : CeilMillionth(ms * rate);
        // Clamped to the 32-bit range the key-frame positions live in.
        int64_t frame = static_cast<int64_t>(std::min<uint64_t>(exact, INT64_MAX / 2)) + frameOffset;
        frame = std::clamp<int64_t>(frame, 0, INT32_MAX);
        if (keyFrames)
            frame = SnapToKeyFrame(*keyFrames, static_cast<int32_t>(frame));
        return static_cast<uint64_t>(frame);
    };
    const auto timesAt = [&](uint32_t ms, TimeValues& v) {
        // 64 bits: a start beyond INT32_MAX ms plus an offset stays exact.
        const int64_t shifted = int64_t{ms} + msOffset;
        const uint64_t t = shifted < 0 ? 0 : static_cast<uint64_t>(shifted);
        v.totalMs = t;
        v.hours = t / 3'600'000;
        v.minutes = (t % 3'600'000) / 60'000;
        v.seconds = (t % 60'000) / 1000;
        v.remainder = t % 1000;
        v.hundredths = v.remainder / 10;
        v.frameInSecond = CeilMillionth(v.remainder * rate);
    };

    for (size_t k = 0; k < count; ++k) {
        ChapterValues v;
        v.start.frame = frameAt(model.chapterStartMs(k), model.chapterStartFrames(k));
        timesAt(model.chapterStartMs(k), v.start);
        if (endUse.frame)
            v.end.frame = frameAt(model.chapterEndMs(k), model.chapterEndFrames(k));
        if (endUse.times)
            timesAt(model.chapterEndMs(k), v.end);
        v.chapter = k + 1;

        AppendExpanded(out, input.format, v);
        out += kCrLf;
    }
    if (!input.footer.empty()) {
        out += ExpandLineBreaks(input.footer);
        out += kCrLf;
    }
    return result;
}

}  // namespace pelvano
