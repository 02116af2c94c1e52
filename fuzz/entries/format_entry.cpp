#include "fuzz_entries.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/error.h"
#include "chapters/chapter_model.h"
#include "fuzz_support.h"
#include "output/format_engine.h"
#include "output/keyframes.h"
#include "output/timing_rules.h"

namespace pelvano::fuzz {

namespace {

// Enough to reach every branch; more only makes each run slower.
constexpr size_t kMaxCells = 300;
constexpr size_t kMaxOutput = 4 << 20;

// The integer syntax written out the long way: sign, digits, 32 bits.
std::optional<int32_t> ReferenceInt(const std::string& text)
{
    size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    if (i == text.size())
        return std::nullopt;
    for (size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9')
            return std::nullopt;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(v);
}

std::string Pad(uint64_t v, int width)
{
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    return s;
}

struct Values {
    uint64_t hours, minutes, seconds, hundredths, chapter, frameInSecond, frame, remainder, totalMs;
};

// The twenty-one substitutions one after the other, as the format rules
// state them: the ten of the start, then the end's and the whole
// milliseconds, then the name's (the default template's, with no '%' in it).
std::string ReferenceExpand(const std::string& format, const Values& v, const Values& e)
{
    std::string s = format;
    s = ReplaceAll(s, "%hh", Pad(v.hours, 2));
    s = ReplaceAll(s, "%mm", Pad(v.minutes, 2));
    s = ReplaceAll(s, "%ss", Pad(v.seconds, 2));
    s = ReplaceAll(s, "%cc", Pad(v.hundredths, 2));
    s = ReplaceAll(s, "%c", std::to_string(v.chapter));
    s = ReplaceAll(s, "%C", Pad(v.chapter, 2));
    s = ReplaceAll(s, "%ff", Pad(v.frameInSecond, 2));
    s = ReplaceAll(s, "%f", std::to_string(v.frame));
    s = ReplaceAll(s, "\\n", "\r\n");
    s = ReplaceAll(s, "%ms", Pad(v.remainder, 3));
    s = ReplaceAll(s, "%ehh", Pad(e.hours, 2));
    s = ReplaceAll(s, "%emm", Pad(e.minutes, 2));
    s = ReplaceAll(s, "%ess", Pad(e.seconds, 2));
    s = ReplaceAll(s, "%ecc", Pad(e.hundredths, 2));
    s = ReplaceAll(s, "%eff", Pad(e.frameInSecond, 2));
    s = ReplaceAll(s, "%ef", std::to_string(e.frame));
    s = ReplaceAll(s, "%ems", Pad(e.remainder, 3));
    s = ReplaceAll(s, "%et", std::to_string(e.totalMs));
    s = ReplaceAll(s, "%t", std::to_string(v.totalMs));
    s = ReplaceAll(s, "%nx", "Chapter " + Pad(v.chapter, 2));
    s = ReplaceAll(s, "%n", "Chapter " + Pad(v.chapter, 2));
    return s;
}

uint64_t CeilDiv(unsigned __int128 a, uint64_t b)
{
    return static_cast<uint64_t>((a + b - 1) / b);
}

// Key frames from the input, looked up by brute force.
class ListKeyFrames : public KeyFrameSource {
public:
    explicit ListKeyFrames(std::vector<int32_t> keys) : keys_(std::move(keys)) {}
    int32_t keyFrameAtOrBefore(int32_t f) override
    {
        int32_t best = -1;
        for (int32_t k : keys_)
            if (k <= f && k > best)
                best = k;
        return best;
    }
    int32_t keyFrameAtOrAfter(int32_t f) override
    {
        int32_t best = -1;
        for (int32_t k : keys_)
            if (k >= f && (best < 0 || k < best))
                best = k;
        return best;
    }
    const std::vector<int32_t>& keys() const { return keys_; }

private:
    std::vector<int32_t> keys_;
};

// A document built the way the window builds one: rows with marks, then
// the two rebuilds. The first byte picks it or a raw model whose tables
// need not agree with each other.
TitleModel ModelFrom(const std::string& bytes)
{
    ByteSource in(bytes);
    const uint8_t mode = in.u8();
    if (mode & 1) {
        TitleModel m;
        const size_t cells = std::min<size_t>(in.u8(), kMaxCells);
        for (size_t i = 0; i < cells; ++i)
            m.cellStartsMs.push_back(in.u32());
        const size_t starts = std::min<size_t>(in.u8(), kMaxCells);
        for (size_t i = 0; i < starts; ++i)
            m.chapterStarts.push_back(in.u16());
        m.chapterCount = in.u32();
        if (mode & 2) {
            // Exact NTSC time with frame counts that need not match the times.
            m.exactClock = kNtscFrameClock;
            m.cellStartTicks = m.cellStartsMs;
        }
        return m;
    }
    ChapterDocument doc;
    if (mode & 2)
        doc.model.exactClock = kNtscFrameClock;
    while (!in.empty() && doc.rows.size() < kMaxCells) {
        const uint8_t flags = in.u8();
        uint32_t length = in.u32();
        if (!(flags & 4))
            length &= 0xfffff;  // mostly lengths of real cells
        CellRow row;
        row.checked = flags & 1;
        row.timestamp.assign(1, (flags & 2) ? CellRow::kUnusedMark[0] : 'x');
        doc.rows.push_back(row);
        doc.model.cellLengthsMs.push_back(length);
        if (doc.model.exactClock)
            doc.model.cellTicks.push_back(length & 0xffff);
    }
    RebuildChapters(doc);
    RebuildTimestamps(doc);
    FUZZ_CHECK(doc.model.cellStartsMs.size() == doc.rows.size() + 1);
    FUZZ_CHECK(doc.chapterTotal == std::to_string(doc.model.chapterCount));
    for (size_t k = 0; k + 1 < doc.model.chapterCount; ++k)
        FUZZ_CHECK(doc.model.chapterStarts[k] < doc.model.chapterStarts[k + 1]);
    return doc.model;
}

std::string Field(const std::vector<std::string>& fields, size_t i, const char* fallback)
{
    return i < fields.size() ? fields[i] : std::string(fallback);
}

}  // namespace

void FormatInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> fields = SplitFields(data, size, kSeparator);
    const TitleModel model = ModelFrom(fields[0]);
    RenderInput input;
    input.format = Field(fields, 1, "");
    input.header = Field(fields, 2, "");
    input.frameRate = Field(fields, 3, "25000");
    input.frameOffset = Field(fields, 4, "0");
    input.msOffset = Field(fields, 5, "0");
    input.footer = Field(fields, 7, "");

    std::vector<int32_t> keys;
    const bool snap = fields.size() > 6;
    if (snap) {
        ByteSource in(fields[6]);
        while (!in.empty() && keys.size() < 64) {
            const uint32_t raw = in.u32() & 0x7fffffff;
            const unsigned shift = in.u8() & 31;  // small positions too, not only huge ones
            keys.push_back(static_cast<int32_t>(raw >> shift));
        }
    }

    // The three numbers: in this order, each an error of its own.
    for (const std::string* text : {&input.frameOffset, &input.frameRate, &input.msOffset})
        FUZZ_CHECK_MSG(ParseInt32(*text) == ReferenceInt(*text), "'" + *text + "'");
    std::string expectedError;
    for (const std::string* text : {&input.frameOffset, &input.frameRate, &input.msOffset}) {
        if (!ReferenceInt(*text)) {
            expectedError = "'" + *text + "' is not a valid integer value";
            break;
        }
        if (text == &input.frameRate && *ReferenceInt(*text) <= 0) {
            expectedError = "'" + *text + "' is not a valid frame rate";
            break;
        }
    }

    const size_t count = std::min<size_t>(model.chapterCount, model.chapterStarts.size());
    if ((input.format.size() + 16) * count * 6 > kMaxOutput)
        return;  // a huge text proves nothing more than a large one

    int opened = 0;
    KeyFrameOpener opener;
    if (snap)
        opener = [&]() -> std::unique_ptr<KeyFrameSource> {
            ++opened;
            return std::make_unique<ListKeyFrames>(keys);
        };

    RenderOutput out;
    try {
        out = RenderChapters(model, input, opener);
    } catch (const Error& e) {
        // what() ends at a NUL byte the offending text may hold.
        const std::string shown = expectedError.substr(0, expectedError.find('\0'));
        FUZZ_CHECK_MSG(e.what() == shown, std::string(e.what()) + " / expected " + shown);
        FUZZ_CHECK(opened == (snap ? 1 : 0));
        return;
    }
    FUZZ_CHECK_MSG(expectedError.empty(), "no error for " + expectedError);
    FUZZ_CHECK(opened == (snap ? 1 : 0));

    const int64_t frameOffset = *ReferenceInt(input.frameOffset);
    const uint64_t rate = static_cast<uint64_t>(*ReferenceInt(input.frameRate));
    const int64_t msOffset = *ReferenceInt(input.msOffset);
    FUZZ_CHECK(out.frameRateMilli == static_cast<int32_t>(rate));

    std::string expected;
    if (!input.header.empty())
        expected += ReplaceAll(input.header, "\\n", "\r\n") + "\r\n";
    FUZZ_CHECK(ExpandLineBreaks(input.header) == ReplaceAll(input.header, "\\n", "\r\n"));

    // A position of the model: its time, and its frame count with exact NTSC time.
    const auto at = [&](size_t k, const std::vector<uint32_t>& table) -> uint64_t {
        if (k < count) {
            const uint32_t cell = model.chapterStarts[k];
            return cell >= 1 && cell <= table.size() ? table[cell - 1] : 0;
        }
        return table.empty() ? 0 : table.back();  // past the last: the total
    };
    const auto valuesAt = [&](uint64_t ms, uint64_t ntscFrames) {
        Values v{};
        const int64_t t = std::max<int64_t>(0, static_cast<int64_t>(ms) + msOffset);
        v.totalMs = static_cast<uint64_t>(t);
        v.hours = static_cast<uint64_t>(t) / 3600000;
        v.minutes = static_cast<uint64_t>(t) / 60000 % 60;
        v.seconds = static_cast<uint64_t>(t) / 1000 % 60;
        v.remainder = static_cast<uint64_t>(t) % 1000;
        v.hundredths = v.remainder / 10;
        v.frameInSecond = CeilDiv(static_cast<unsigned __int128>(v.remainder) * rate, 1000000);
        const uint64_t exact =
            model.exactClock ? CeilDiv(static_cast<unsigned __int128>(ntscFrames) * 1001 * rate, 30000000)
                             : CeilDiv(static_cast<unsigned __int128>(ms) * rate, 1000000);
        int64_t frame = static_cast<int64_t>(exact) + frameOffset;
        frame = std::clamp<int64_t>(frame, 0, INT32_MAX);
        if (snap && !keys.empty()) {
            // The nearest key frame; of two as near, the later one.
            int64_t best = -1;
            for (int32_t key : keys) {
                const int64_t d = std::abs(int64_t{key} - frame);
                const int64_t bd = std::abs(best - frame);
                if (best < 0 || d < bd || (d == bd && key > best))
                    best = key;
            }
            frame = best;
        }
        v.frame = static_cast<uint64_t>(frame);
        return v;
    };

    for (size_t k = 0; k < count; ++k) {
        const uint64_t start = at(k, model.cellStartsMs);
        FUZZ_CHECK(model.chapterStartMs(k) == start);
        Values v = valuesAt(start, at(k, model.cellStartTicks));
        v.chapter = k + 1;
        const Values e = valuesAt(at(k + 1, model.cellStartsMs), at(k + 1, model.cellStartTicks));
        expected += ReferenceExpand(input.format, v, e) + "\r\n";
        if (expected.size() > out.text.size() || out.text.compare(0, expected.size(), expected) != 0)
            break;
    }
    if (!input.footer.empty())
        expected += ReplaceAll(input.footer, "\\n", "\r\n") + "\r\n";
    FUZZ_CHECK_MSG(out.text == expected, "rendered text differs from the substitution rules");
}

}  // namespace pelvano::fuzz
