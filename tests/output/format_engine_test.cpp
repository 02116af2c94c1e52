#include "output/format_engine.h"

#include <random>

#include <gtest/gtest.h>

#include "base/error.h"
#include "fake_keyframes.h"

namespace pelvano {
namespace {

using test::FakeKeyFrames;
using test::KeyFrameLog;

// One chapter per cell, starting at the given times.
TitleModel Chapters(const std::vector<uint32_t>& startsMs)
{
    TitleModel model;
    model.cellStartsMs = startsMs;
    model.cellStartsMs.push_back(startsMs.empty() ? 0 : startsMs.back());
    for (uint32_t cell = 1; cell <= startsMs.size(); ++cell)
        model.chapterStarts.push_back(cell);
    model.chapterCount = static_cast<uint32_t>(startsMs.size());
    return model;
}

RenderInput Input(std::string format, std::string rate = "25000", std::string frameOffset = "0",
                  std::string msOffset = "0", std::string header = "")
{
    return {std::move(format), std::move(header), std::move(rate), std::move(frameOffset),
            std::move(msOffset)};
}

std::string Render(const std::vector<uint32_t>& startsMs, const RenderInput& input)
{
    return RenderChapters(Chapters(startsMs), input).text;
}

std::string ErrorOf(const std::vector<uint32_t>& startsMs, const RenderInput& input,
                    const KeyFrameOpener& snap = {})
{
    try {
        RenderChapters(Chapters(startsMs), input, snap);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(RenderChapters, WorkedExample)
{
    const auto out = RenderChapters(Chapters({3723456}), Input("%hh:%mm:%ss:%cc|%ff|%f|%ms|#%c/%C"));
    EXPECT_EQ(out.text, "01:02:03:45|12|93087|456|#1/01\r\n");
    EXPECT_EQ(out.frameRateMilli, 25000);
}

TEST(RenderChapters, HeaderAndLineBreaks)
{
    EXPECT_EQ(Render({}, Input("%c")), "");
    EXPECT_EQ(Render({}, Input("%c", "25000", "0", "0", "Chapters")), "Chapters\r\n");
    EXPECT_EQ(Render({0}, Input("%c", "25000", "0", "0", "Chapters\\n")), "Chapters\r\n\r\n1\r\n");
    // Placeholders are left alone in the header.
    EXPECT_EQ(Render({3723456}, Input("x", "25000", "0", "0", "%c %hh %f\\n%ms")),
              "%c %hh %f\r\n%ms\r\nx\r\n");
    EXPECT_EQ(Render({0, 1000}, Input("")), "\r\n\r\n");
    EXPECT_EQ(Render({0, 1000}, Input("%c\\n")), "1\r\n\r\n2\r\n\r\n");
}

// Values worked out by hand from the rules: frames and frames-in-second are
// exact ceilings, the time fields truncate.
TEST(RenderChapters, TimeAndFrameFields)
{
    struct Case {
        uint32_t startMs;
        const char* rate;
        const char* format;
        const char* expected;
    } const cases[] = {
        {40, "25000", "%f|%ff", "1|01"},     // exact quotients are not rounded up
        {41, "25000", "%f", "2"},            // 1.025
        {1001, "29970", "%f", "30"},         // 29.99997
        {999, "25000", "%ss:%ff", "00:25"},  // 24.975 up to 25
        {1, "29970", "%ff", "01"},
        {1999, "25000", "%ss:%cc", "01:99"},
        {7, "25000", "%ms|%cc", "007|00"},
        {3599999, "25000", "%hh:%mm:%ss:%cc:%ms", "00:59:59:99:999"},
        {360000000, "25000", "%hh:%mm", "100:00"},
        // 4294967295 ms = 1193 h 2 min 47 s 295 ms; frame 107374182.375 up.
        {UINT32_MAX, "25000", "%hh:%mm:%ss:%cc:%ms|%f", "1193:02:47:29:295|107374183"},
        // The frame is held to 32 bits; 295 ms at 2147483.647 fps is 633507.6 frames.
        {UINT32_MAX, "2147483647", "%f|%ff", "2147483647|633508"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.startMs) + " ms @ " + c.rate + ": " + c.format);
        EXPECT_EQ(Render({c.startMs}, Input(c.format, c.rate)), std::string(c.expected) + "\r\n");
    }
}

TEST(RenderChapters, PlaceholdersAreRecognisedWhole)
{
    EXPECT_EQ(Render({3723456}, Input("%hhh|%fff|%ccc|%mss|%CC")), "01h|12f|45c|456s|01C\r\n");
    const std::string others = "%h|%m|%s|%M|%HH|%S|%F|%x|%|\\t|n\\|100%";
    EXPECT_EQ(Render({3723456}, Input(others)), others + "\r\n");

    const auto numbers = Render(std::vector<uint32_t>(123, 0), Input("%c/%C"));
    EXPECT_NE(numbers.find("\r\n7/07\r\n"), std::string::npos);
    EXPECT_EQ(numbers.substr(numbers.size() - 9), "123/123\r\n");
}

TEST(RenderChapters, OffsetsMoveOnlyTheirOwnFields)
{
    EXPECT_EQ(Render({2000}, Input("%hh:%mm:%ss:%cc|%f", "25000", "0", "-5000")), "00:00:00:00|50\r\n");
    EXPECT_EQ(Render({2000}, Input("%ss:%ms|%ff|%f", "25000", "0", "-1999")), "00:001|01|50\r\n");
    EXPECT_EQ(Render({40}, Input("%f|%ss:%ms", "25000", "-3")), "0|00:040\r\n");
    EXPECT_EQ(Render({1000}, Input("%f", "25000", "2147483647")), "2147483647\r\n");
    // No wrap when a late chapter is pushed beyond 32 bits of milliseconds:
    // 6442450942 ms = 1789 h 34 min 10 s 942 ms.
    EXPECT_EQ(Render({UINT32_MAX}, Input("%hh:%mm:%ss:%cc:%ms", "25000", "0", "2147483647")),
              "1789:34:10:94:942\r\n");
}

TEST(RenderChapters, ConversionErrorsInParsingOrder)
{
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "25000", "")), "'' is not a valid integer value");
    // Frame offset, then rate, then milliseconds.
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "r", "f", "m")), "'f' is not a valid integer value");
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "r", "0", "m")), "'r' is not a valid integer value");
    // A rate of 0 or below is refused where it is parsed.
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "-25000")), "'-25000' is not a valid frame rate");
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "0", "0", "x")), "'0' is not a valid frame rate");
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "0", "x", "0")), "'x' is not a valid integer value");
}

TEST(RenderChapters, InconsistentTablesAreNotReadOutside)
{
    TitleModel model;
    model.cellStartsMs = {0, 1000, 2000};
    model.chapterStarts = {0, 2, 7, 3};
    model.chapterCount = 6;
    EXPECT_EQ(RenderChapters(model, Input("%c:%ss")).text, "1:00\r\n2:01\r\n3:00\r\n4:02\r\n");
    model.cellStartsMs.clear();
    EXPECT_EQ(RenderChapters(model, Input("%c")).text, "1\r\n2\r\n3\r\n4\r\n");
}

KeyFrameOpener OpenKeyFrames(KeyFrameLog& log)
{
    return [&log] { return std::make_unique<FakeKeyFrames>(std::vector<int32_t>{0, 250}, &log); };
}

TEST(RenderChaptersSnapping, OnlyTheFrameNumberSnapsAfterTheOffset)
{
    KeyFrameLog log;
    // Frames 124 and 126 at 25 fps; the time fields stay where they are.
    EXPECT_EQ(RenderChapters(Chapters({4960, 5040}), Input("%f|%ss:%cc|%ff"), OpenKeyFrames(log)).text,
              "0|04:96|24\r\n250|05:04|01\r\n");
    // Offset first (124 + 1 is the tie), clamped to 0 before snapping.
    EXPECT_EQ(RenderChapters(Chapters({4960}), Input("%f", "25000", "1"), OpenKeyFrames(log)).text,
              "250\r\n");
    EXPECT_EQ(RenderChapters(Chapters({0}), Input("%f", "25000", "-1000"), OpenKeyFrames(log)).text, "0\r\n");
    EXPECT_EQ(log.queries, (std::vector<int32_t>{124, 124, 126, 126, 125, 125, 0, 0}));
    EXPECT_EQ(log.opened, 3);
    EXPECT_EQ(log.closed, 3);

    const KeyFrameOpener none = [] { return std::unique_ptr<KeyFrameSource>(); };
    EXPECT_EQ(RenderChapters(Chapters({4960}), Input("%f"), none).text, "124\r\n");
}

TEST(RenderChaptersSnapping, SourceOpenedFirstAndClosedOnErrors)
{
    KeyFrameLog log;
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "25000", "0", "12a"), OpenKeyFrames(log)),
              "'12a' is not a valid integer value");
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "0"), OpenKeyFrames(log)), "'0' is not a valid frame rate");
    EXPECT_EQ(log.opened, 2);
    EXPECT_EQ(log.closed, 2);
    EXPECT_TRUE(log.queries.empty());

    // A source that cannot be opened ends the run before the texts are parsed.
    const KeyFrameOpener failing = []() -> std::unique_ptr<KeyFrameSource> {
        throw Error("# AVIFileOpen : AVI source init error !");
    };
    EXPECT_EQ(ErrorOf({1000}, Input("%f", "bad", "bad", "bad"), failing),
              "# AVIFileOpen : AVI source init error !");
}

// The end of chapter k is the start of chapter k + 1; the last one ends at
// the total of the cells that count, here 7384009 ms = 2 h 3 min 4 s 9 ms.
TitleModel OneChapterEndingLater()
{
    TitleModel model = Chapters({3723456});
    model.cellStartsMs.back() = 7384009;
    return model;
}

TEST(RenderChapters, EndPlaceholdersMirrorTheStartOnes)
{
    struct Case {
        const char* format;
        const char* frameOffset;
        const char* msOffset;
        const char* expected;
    } const cases[] = {
        // %ff of 9 ms at 25 fps is the ceiling of 0.225; the end frame of 184600.225 too.
        {"%ehh:%emm:%ess:%ecc|%eff|%ef|%ems|%t|%et", "0", "0", "02:03:04:00|01|184601|009|3723456|7384009"},
        {"%hh:%mm:%ss.%ms-%ehh:%emm:%ess.%ems", "0", "0", "01:02:03.456-02:03:04.009"},
        // The offsets move the end as they move the start.
        {"%f-%ef|%t-%et|%ess.%ems", "-7", "-10", "93080-184594|3723446-7383999|03.999"},
        {"%t-%et", "0", "-3723457", "0-3660552"},
        // Longest match, and a prefix of a placeholder stays as it is.
        {"%ehhh|%efff|%eff|%ef|%e|%ex|%E|%T|%tt", "0", "0", "02h|01f|01|184601|%e|%ex|%E|%T|3723456t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(
            RenderChapters(OneChapterEndingLater(), Input(c.format, "25000", c.frameOffset, c.msOffset)).text,
            std::string(c.expected) + "\r\n");
    }

    TitleModel model;
    model.cellStartsMs = {0, 1000, 2500, 4000, 4100};
    model.chapterStarts = {1, 3, 4};
    model.chapterCount = 2;  // a dropped short last chapter: the second ends at the total
    EXPECT_EQ(RenderChapters(model, Input("%c:%t-%et")).text, "1:0-2500\r\n2:2500-4100\r\n");
}

// Two chapters at 0 and 1000 ms; where names come from and how they are put in.
TEST(RenderChapters, NamesOwnOrFromTheTemplate)
{
    const struct {
        const char* format;
        const char* nameTemplate;
        std::vector<std::string> names;
        const char* expected;
    } cases[] = {
        {"%n", "Chapter %C", {"", "Zwei", "Drei"}, "Chapter 01\r\nZwei\r\n"},
        {"%c %n|%nx", "", {"%c\\n<&>"}, "1 %c\\n<&>|%c\\n&lt;&amp;&gt;\r\n2 |\r\n"},
        {"%nx", "%c. %t-%et %n%nx <", {"", "Own"}, "1. 0-1000 %n%nx &lt;\r\nOwn\r\n"},
    };
    for (const auto& c : cases) {
        RenderInput input = Input(c.format);
        input.nameTemplate = c.nameTemplate;
        input.names = c.names;
        EXPECT_EQ(RenderChapters(Chapters({0, 1000}), input).text, c.expected) << c.format;
    }
}

TEST(RenderChapters, FooterAfterTheLastChapterAsTheHeaderBeforeTheFirst)
{
    RenderInput input = Input("%c", "25000", "0", "0", "<a>");
    input.footer = "</a>\\n%c %et";
    EXPECT_EQ(RenderChapters(Chapters({0, 1000}), input).text, "<a>\r\n1\r\n2\r\n</a>\r\n%c %et\r\n");
    EXPECT_EQ(RenderChapters(Chapters({}), input).text, "<a>\r\n</a>\r\n%c %et\r\n");
    input.footer = "";
    EXPECT_EQ(RenderChapters(Chapters({0}), input).text, "<a>\r\n1\r\n");
}

// With exact NTSC time the chapter is at frames x 1001/30 ms; its rounded-up
// millisecond would make the frame number one late (12513 ms at 29.97 fps
// is frame 375.01). The frame is taken from the frame count instead.
TEST(RenderChapters, ExactNtscFrameNumbersComeFromTheFrameCount)
{
    TitleModel model;
    model.exactClock = kNtscFrameClock;
    model.cellStartTicks = {0, 375, 1000};
    model.cellStartsMs = {0, NtscFramesToMs(375), NtscFramesToMs(1000)};
    model.chapterStarts = {1, 2};
    model.chapterCount = 2;
    EXPECT_EQ(RenderChapters(model, Input("%f|%t|%ef|%et", "29970")).text,
              "0|0|375|12513\r\n375|12513|1000|33367\r\n");
    // 23.976 fps material inside NTSC: 375 frames of 30 are 299.9997 of 24.
    EXPECT_EQ(RenderChapters(model, Input("%f|%ef", "23976", "2")).text, "2|302\r\n302|802\r\n");
}

TEST(RenderChaptersSnapping, EndFramesSnapOnlyWhenTheLineAsksForThem)
{
    KeyFrameLog log;
    EXPECT_EQ(RenderChapters(Chapters({4960, 5040}), Input("%f-%ef"), OpenKeyFrames(log)).text,
              "0-250\r\n250-250\r\n");
    KeyFrameLog startOnly;
    KeyFrameLog withEndTimes;
    RenderChapters(Chapters({4960, 5040}), Input("%f"), OpenKeyFrames(startOnly));
    RenderChapters(Chapters({4960, 5040}), Input("%f %et %eff"), OpenKeyFrames(withEndTimes));
    EXPECT_EQ(withEndTimes.queries, startOnly.queries);
}

// The substitution table applied literally: twenty-one passes in its order
// (the ten start ones, then the end and whole-millisecond ones, then the
// name's), each replacing every occurrence left to right without overlaps.
std::string SubstituteInTableOrder(std::string line, const std::vector<std::string>& values)
{
    static const char* const patterns[21] = {"%hh",  "%mm", "%ss",  "%cc",  "%c",   "%C",   "%ff",
                                             "%f",   "\\n", "%ms",  "%ehh", "%emm", "%ess", "%ecc",
                                             "%eff", "%ef", "%ems", "%et",  "%t",   "%nx",  "%n"};
    for (int step = 0; step < 21; ++step) {
        const std::string pattern = patterns[step];
        std::string out;
        size_t i = 0;
        for (size_t hit; (hit = line.find(pattern, i)) != std::string::npos; i = hit + pattern.size())
            out += line.substr(i, hit - i) + values[static_cast<size_t>(step)];
        line = out + line.substr(i);
    }
    return line;
}

TEST(RenderChapters, SameAsTheSubstitutionsOnArbitraryLines)
{
    // The worked example's values: 3723456 ms at 25000, chapter 1, ending at 7384009 ms.
    // The name holds no '%', so the passes after it find nothing new in it.
    const std::vector<std::string> values = {
        "01", "02", "03", "45",     "1",   "01",      "12",      "93087",           "\r\n", "456", "02", "03",
        "04", "00", "01", "184601", "009", "7384009", "3723456", "&lt;A&amp;B&gt;", "<A&B>"};
    // Lines of the ten start placeholders' letters alone, then of every letter.
    const struct {
        const char* alphabet;
        uint32_t seed;
        uint32_t longest;
    } cases[] = {{"%%%\\hmscCfnHx", 20240601, 11}, {"%%%%\\hmscCfnetHx", 20261208, 13}};
    for (const auto& c : cases) {
        const std::string alphabet = c.alphabet;
        std::mt19937 random(c.seed);
        for (int round = 0; round < 20000; ++round) {
            std::string line(random() % (c.longest + 1), ' ');
            for (char& ch : line)
                ch = alphabet[random() % alphabet.size()];
            RenderInput input = Input(line);
            input.names = {"<A&B>"};
            EXPECT_EQ(RenderChapters(OneChapterEndingLater(), input).text,
                      SubstituteInTableOrder(line, values) + "\r\n")
                << line;
        }
    }
}

}  // namespace
}  // namespace pelvano
