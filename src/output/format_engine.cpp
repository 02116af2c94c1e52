#include "output/format_engine.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/format.h"
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

// ceil(x / d) for the exact clock's products, which outgrow 64 bits; the
// quotient is a frame count, far inside them.
uint64_t CeilDiv(unsigned __int128 x, unsigned __int128 d)
{
    return static_cast<uint64_t>((x + d - 1) / d);
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
    std::string_view name;
};

// The format language is these substitutions applied one after the other,
// each everywhere, in this order: the ten of the start, then the end's and
// the whole milliseconds, then the name's. Every pattern begins with '%' or
// '\' and holds neither further on, and the substituted texts but the names
// hold only digits and CR LF, so no replacement can create or split another
// match: one left-to-right scan that takes the first pattern of the table
// matching at '%' or '\' gives the same text. A name comes last and is put
// in as it stands, never scanned again: a name holding "%c" keeps it. Where
// two patterns share a start ("%cc"/"%c", "%ff"/"%f", "%eff"/"%ef",
// "%nx"/"%n") the longer one comes first, so it wins in both. The later ones
// begin with "%e", "%t" or "%n", which no earlier pattern does: they never
// change what the first ten give, and a line without them renders as it did
// before they existed.
struct Placeholder {
    std::string_view pattern;
    enum Source { Start, End, Chapter, LineBreak, Name, EscapedName } source;
    uint64_t TimeValues::*value;
    size_t minDigits;
};

constexpr Placeholder kPlaceholders[] = {
    {"%hh", Placeholder::Start, &TimeValues::hours, 2},
    {"%mm", Placeholder::Start, &TimeValues::minutes, 2},
    {"%ss", Placeholder::Start, &TimeValues::seconds, 2},
    {"%cc", Placeholder::Start, &TimeValues::hundredths, 2},
    {"%c", Placeholder::Chapter, nullptr, 1},
    {"%C", Placeholder::Chapter, nullptr, 2},
    {"%ff", Placeholder::Start, &TimeValues::frameInSecond, 2},
    {"%f", Placeholder::Start, &TimeValues::frame, 1},
    {"\\n", Placeholder::LineBreak, nullptr, 0},
    {"%ms", Placeholder::Start, &TimeValues::remainder, 3},
    {"%ehh", Placeholder::End, &TimeValues::hours, 2},
    {"%emm", Placeholder::End, &TimeValues::minutes, 2},
    {"%ess", Placeholder::End, &TimeValues::seconds, 2},
    {"%ecc", Placeholder::End, &TimeValues::hundredths, 2},
    {"%eff", Placeholder::End, &TimeValues::frameInSecond, 2},
    {"%ef", Placeholder::End, &TimeValues::frame, 1},
    {"%ems", Placeholder::End, &TimeValues::remainder, 3},
    {"%et", Placeholder::End, &TimeValues::totalMs, 1},
    {"%t", Placeholder::Start, &TimeValues::totalMs, 1},
    {"%nx", Placeholder::EscapedName, nullptr, 0},
    {"%n", Placeholder::Name, nullptr, 0},
};

bool IsName(const Placeholder& p)
{
    return p.source == Placeholder::Name || p.source == Placeholder::EscapedName;
}

// Which placeholders a line knows: the name template's has no names.
enum class Names { Known, Text };

// The placeholder at format[i], or null when the character there stays.
const Placeholder* MatchAt(std::string_view format, size_t i, Names names)
{
    for (const Placeholder& p : kPlaceholders) {
        if (names == Names::Text && IsName(p))
            continue;
        if (format.compare(i, p.pattern.size(), p.pattern) == 0)
            return &p;
    }
    return nullptr;
}

// A format line read once per rendering: literal text and placeholders.
struct Token {
    std::string_view literal;
    const Placeholder* placeholder = nullptr;  // null for literal text
};

std::vector<Token> Tokenize(std::string_view format, Names names)
{
    std::vector<Token> tokens;
    size_t literalStart = 0;
    size_t i = 0;
    while ((i = format.find_first_of("%\\", i)) != std::string_view::npos) {
        const Placeholder* p = MatchAt(format, i, names);
        if (!p) {
            ++i;  // the character stays, part of the literal text
            continue;
        }
        if (i > literalStart)
            tokens.push_back({format.substr(literalStart, i - literalStart)});
        tokens.push_back({{}, p});
        i += p->pattern.size();
        literalStart = i;
    }
    if (literalStart < format.size())
        tokens.push_back({format.substr(literalStart)});
    return tokens;
}

void AppendXmlEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
}

void AppendExpanded(std::string& out, const std::vector<Token>& tokens, const ChapterValues& v)
{
    for (const Token& t : tokens) {
        if (!t.placeholder) {
            out.append(t.literal);
            continue;
        }
        const Placeholder& p = *t.placeholder;
        switch (p.source) {
        case Placeholder::Start:
            AppendZeroPadded(out, v.start.*p.value, static_cast<int>(p.minDigits));
            break;
        case Placeholder::End:
            AppendZeroPadded(out, v.end.*p.value, static_cast<int>(p.minDigits));
            break;
        case Placeholder::Chapter:
            AppendZeroPadded(out, v.chapter, static_cast<int>(p.minDigits));
            break;
        case Placeholder::LineBreak:
            out += kCrLf;
            break;
        case Placeholder::Name:
            out += v.name;
            break;
        case Placeholder::EscapedName:
            AppendXmlEscaped(out, v.name);
            break;
        }
    }
}

// What the line asks for beyond the start: the end's fields cost a second
// key-frame lookup per chapter, which a line without them must not make.
struct FieldUse {
    bool endTimes = false;
    bool endFrame = false;
    bool name = false;
};

FieldUse FieldsIn(const std::vector<Token>& tokens)
{
    FieldUse use;
    for (const Token& t : tokens) {
        if (!t.placeholder)
            continue;
        if (t.placeholder->source == Placeholder::End)
            (t.placeholder->value == &TimeValues::frame ? use.endFrame : use.endTimes) = true;
        use.name = use.name || IsName(*t.placeholder);
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

RenderOutput RenderChapters(const TitleModel& model, const RenderInput& input, const KeyFrameOpener& snap)
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

    const std::vector<Token> tokens = Tokenize(input.format, Names::Known);
    FieldUse use = FieldsIn(tokens);
    // The template only counts where a name is asked for.
    const std::vector<Token> templateTokens =
        use.name ? Tokenize(input.nameTemplate, Names::Text) : std::vector<Token>();
    const FieldUse templateUse = FieldsIn(templateTokens);
    use.endTimes = use.endTimes || templateUse.endTimes;
    use.endFrame = use.endFrame || templateUse.endFrame;
    const std::optional<ExactClock>& clock = model.exactClock;
    const auto frameAt = [&](uint32_t ms, uint32_t ticks) {
        // With an exact clock the position is ticks x num/den s exactly; its
        // rounded-up milliseconds would put a frame number one frame late.
        const uint64_t exact = clock ? CeilDiv(static_cast<unsigned __int128>(ticks) * clock->num * rate,
                                               static_cast<unsigned __int128>(clock->den) * 1000)
                                     : CeilMillionth(ms * rate);
        // Clamped to the 32-bit range the key-frame positions live in.
        int64_t frame = static_cast<int64_t>(std::min<uint64_t>(exact, INT64_MAX / 2)) + frameOffset;
        frame = std::clamp<int64_t>(frame, 0, INT32_MAX);
        if (keyFrames)
            frame = SnapToKeyFrame(*keyFrames, static_cast<int32_t>(frame));
        return static_cast<uint64_t>(frame);
    };
    const auto timesAt = [&](uint32_t ms, uint32_t ticks, TimeValues& v) {
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
        if (clock && clock->exactFrameInSecond && shifted > 0) {
            // The remainder is short of its rounded-up millisecond by what
            // the rounding added: ms x den - ticks x num x 1000, in 1/den ms.
            const unsigned __int128 added = static_cast<unsigned __int128>(ms) * clock->den -
                                            static_cast<unsigned __int128>(ticks) * clock->num * 1000;
            const unsigned __int128 remainder = static_cast<unsigned __int128>(v.remainder) * clock->den;
            v.frameInSecond = remainder > added
                                  ? CeilDiv((remainder - added) * rate,
                                            static_cast<unsigned __int128>(clock->den) * 1'000'000)
                                  : 0;
        }
    };

    std::string templateName;
    for (size_t k = 0; k < count; ++k) {
        ChapterValues v;
        v.start.frame = frameAt(model.chapterStartMs(k), model.chapterStartTicks(k));
        timesAt(model.chapterStartMs(k), model.chapterStartTicks(k), v.start);
        if (use.endFrame)
            v.end.frame = frameAt(model.chapterEndMs(k), model.chapterEndTicks(k));
        if (use.endTimes)
            timesAt(model.chapterEndMs(k), model.chapterEndTicks(k), v.end);
        v.chapter = k + 1;
        if (use.name && k < input.names.size() && !input.names[k].empty()) {
            v.name = input.names[k];
        } else if (use.name) {
            templateName.clear();
            AppendExpanded(templateName, templateTokens, v);
            v.name = templateName;
        }

        AppendExpanded(out, tokens, v);
        out += kCrLf;
    }
    if (!input.footer.empty()) {
        out += ExpandLineBreaks(input.footer);
        out += kCrLf;
    }
    return result;
}

}  // namespace pelvano
