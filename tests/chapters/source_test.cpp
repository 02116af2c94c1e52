// Whole discs: every fixture title set opened as its IFO file, as its
// VIDEO_TS folder, as the folder above it and as an ISO image made from it
// at test time; and sources that must be refused with a clear message.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <regex>

#include "base/error.h"
#include "base/format.h"
#include "chapters/source.h"
#include "chapters/title_loader.h"
#include "load_helpers.h"
#include "output/format_engine.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

LoadResult LoadDisc(const std::string& source, int titleSet, const LoadRequest& request = {})
{
    return LoadTitle(Source::Open(source), titleSet, request);
}

std::vector<int> TitleSetsOf(const std::string& fixture)
{
    std::vector<int> numbers;
    for (int n = 1; n <= 99; ++n) {
        if (fs::exists(Format("%s/VTS_%02d_0.IFO", fixture.c_str(), n)))
            numbers.push_back(n);
    }
    return numbers;
}

std::vector<std::string> ReportTail(const LoadResult& r)
{
    std::vector<std::string> lines;
    for (size_t i = 1; i < r.report.lines().size(); ++i)
        lines.push_back(std::to_string(static_cast<int>(r.report.lines()[i].style)) +
                        r.report.lines()[i].text);
    return lines;
}

// The chapter lists of a load through formats that use every field.
std::vector<std::string> ChapterLists(const LoadResult& r)
{
    std::vector<std::string> lists;
    if (!r.model)
        return lists;
    for (const char* format :
         {"CHAPTER%C=%hh:%mm:%ss.%ms\\nCHAPTER%CNAME=Chapter %C", "%hh:%mm:%ss:%ff %cc", "%f I -1", "%c %C"})
        lists.push_back(RenderChapters(*r.model, {format, "", r.frameRate.value_or(""), "0", "0"}).text);
    return lists;
}

void ExpectSameLoad(const LoadResult& want, const LoadResult& got, const std::string& what)
{
    SCOPED_TRACE(what);
    ASSERT_FALSE(got.report.lines().empty());
    EXPECT_EQ(ReportTail(got), ReportTail(want));
    EXPECT_EQ(ChapterLists(got), ChapterLists(want));
    EXPECT_EQ(got.titles, want.titles);
    EXPECT_EQ(got.selectedTitle, want.selectedTitle);
    EXPECT_EQ(got.frameRate, want.frameRate);
    EXPECT_EQ(got.timeLength, want.timeLength);
    EXPECT_EQ(got.chapterTotal, want.chapterTotal);
    EXPECT_EQ(got.failure.has_value(), want.failure.has_value());
    ASSERT_EQ(got.rows.size(), want.rows.size());
    for (size_t i = 0; i < want.rows.size(); ++i) {
        EXPECT_EQ(got.rows[i].checked, want.rows[i].checked);
        EXPECT_EQ(got.rows[i].timestamp, want.rows[i].timestamp);
        EXPECT_EQ(got.rows[i].length, want.rows[i].length);
        EXPECT_EQ(got.rows[i].chapter, want.rows[i].chapter);
    }
}

// lsdvd's tracks: their lengths (ms) by title set and PGC (dvdauthor: title
// N of a title set is its PGC N), each track as a disc title, and its
// longest track's title set.
struct LsdvdTracks {
    std::map<std::pair<int, int>, uint32_t> lengths;
    std::vector<TitleSummary> titles;  // number, title set, length, chapters, angles
    int longestTitleSet = 0;
};

LsdvdTracks ReadLsdvd(const std::string& path)
{
    LsdvdTracks tracks;
    const std::string text = ReadFile(path);
    const std::regex track(
        R"(\n      'ix' : (\d+),\n      'length' : ([0-9.]+),\n[^\n]*\n      'vts' : (\d+),\n      'ttn' : (\d+),)");
    std::map<int, int> titleSetOfTrack;
    for (std::sregex_iterator it(text.begin(), text.end(), track), end; it != end; ++it) {
        const int vts = std::stoi((*it)[3]);
        // The rest of this track: its angles and chapter entries.
        const size_t from = static_cast<size_t>(it->position(0) + it->length(0));
        const std::string rest = text.substr(from, text.find("\n      'ix' : ", from) - from);
        std::smatch angles;
        std::regex_search(rest, angles, std::regex(R"('angles' : (\d+))"));
        TitleSummary title;
        title.number = std::stoi((*it)[1]);
        title.titleSet = vts;
        title.lengthMs = static_cast<uint32_t>(std::lround(std::stod((*it)[2]) * 1000));
        title.angles = angles.empty() ? 0 : std::stoi(angles[1]);
        for (size_t at = rest.find("'startcell'"); at != std::string::npos;
             at = rest.find("'startcell'", at + 1))
            ++title.chapters;
        tracks.titles.push_back(title);
        tracks.lengths[{vts, std::stoi((*it)[4])}] =
            static_cast<uint32_t>(std::lround(std::stod((*it)[2]) * 1000));
        titleSetOfTrack[std::stoi((*it)[1])] = vts;
    }
    tracks.longestTitleSet = titleSetOfTrack[LsdvdLongestTrack(path)];
    return tracks;
}

class DiscFixture : public testing::TestWithParam<std::string> {};

TEST_P(DiscFixture, SameTitleSetFromFileFolderAndImage)
{
    const std::string fixture = GetParam();
    TempDir tmp;
    const Disc disc = MakeDisc(fixture, tmp.file("disc"));
    const std::vector<std::pair<std::string, std::string>> sources = {
        {"VIDEO_TS folder", disc.videoTs}, {"folder above", disc.above}, {"image", disc.iso}};

    for (int n : TitleSetsOf(fixture)) {
        const std::string ifo = Format("%s/VTS_%02d_0.IFO", fixture.c_str(), n);
        const LoadResult first = Load(ifo);
        const size_t pgcs = first.titles ? first.titles->size() : 0;
        for (int pgc = -1; pgc < static_cast<int>(pgcs); ++pgc) {
            const LoadRequest request{pgc < 0, pgc};
            const LoadResult want = Load(ifo, request);
            for (const auto& [name, path] : sources) {
                const LoadResult got = LoadDisc(path, n, request);
                ExpectSameLoad(want, got, Format("%s, title set %d, PGC %d", name.c_str(), n, pgc));
                EXPECT_EQ(got.report.lines()[0].text,
                          Format("Opening title set %d (VTS_%02d_0.IFO) of %s OK.", n, n, path.c_str()));
            }
        }
    }
}

TEST_P(DiscFixture, ListingAgreesWithLoadsAndLsdvd)
{
    const std::string fixture = GetParam();
    TempDir tmp;
    const Disc disc = MakeDisc(fixture, tmp.file("disc"));
    const LsdvdTracks lsdvd = ReadLsdvd(fixture + "/lsdvd.txt");

    for (const std::string& path : {disc.videoTs, disc.above, disc.iso}) {
        SCOPED_TRACE(path);
        const Source source = Source::Open(path);
        EXPECT_NE(source.kind(), SourceKind::IfoFile);
        EXPECT_TRUE(source.problems().empty());
        EXPECT_EQ(source.defaultTitleSet(), lsdvd.longestTitleSet);
        // The disc's titles as lsdvd numbers them; lengths within a frame.
        ASSERT_EQ(source.titles().size(), lsdvd.titles.size());
        for (size_t i = 0; i < lsdvd.titles.size(); ++i) {
            const TitleSummary& ours = source.titles()[i];
            const TitleSummary& theirs = lsdvd.titles[i];
            EXPECT_EQ(std::tie(ours.number, ours.titleSet, ours.chapters, ours.angles),
                      std::tie(theirs.number, theirs.titleSet, theirs.chapters, theirs.angles));
            EXPECT_NEAR(ours.lengthMs, theirs.lengthMs, 34);
        }
        ASSERT_EQ(source.titleSets().size(), TitleSetsOf(fixture).size());
        for (const TitleSetSummary& set : source.titleSets()) {
            const std::string ifo = Format("%s/VTS_%02d_0.IFO", fixture.c_str(), set.number);
            EXPECT_EQ(set.ifoName, fs::path(ifo).filename().string());
            const LoadResult newFile = Load(ifo);
            EXPECT_EQ(set.frameRate, newFile.frameRate);
            EXPECT_EQ(set.tvSystem, set.frameRate == "25000" ? "PAL" : "NTSC");
            EXPECT_EQ(set.longestPgc, newFile.selectedTitle);

            // The IFO file lists the same title set, also under another name.
            const Source file = Source::Open(ifo);
            EXPECT_EQ(file.kind(), SourceKind::IfoFile);
            const std::string renamed = tmp.file("title_set.dat");
            fs::copy_file(ifo, renamed, fs::copy_options::overwrite_existing);
            EXPECT_EQ(KindOf(renamed), SourceKind::IfoFile);
            ASSERT_EQ(file.titleSets().size(), 1u);
            ASSERT_EQ(file.titleSets()[0].pgcs.size(), set.pgcs.size());

            for (const PgcSummary& pgc : set.pgcs) {
                SCOPED_TRACE(Format("title set %d, PGC %d", set.number, pgc.number));
                const LoadResult load = Load(ifo, false, pgc.number - 1);
                EXPECT_EQ(std::to_string(pgc.chapters), load.chapterTotal);
                EXPECT_EQ(pgc.cells, load.rows.size());
                const auto it = lsdvd.lengths.find({set.number, pgc.number});
                ASSERT_NE(it, lsdvd.lengths.end());
                EXPECT_NEAR(pgc.lengthMs, it->second, 1);
                const PgcSummary& fromFile = file.titleSets()[0].pgcs[pgc.number - 1];
                EXPECT_EQ(fromFile.lengthMs, pgc.lengthMs);
                EXPECT_EQ(fromFile.chapters, pgc.chapters);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DiscFixture, testing::ValuesIn(TitleSetFolders()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return fs::path(info.param).filename().string();
                         });

// Runs `action` as user nobody when we are root, so that permissions count.
std::string MessageWithoutRoot(const std::function<void()>& action)
{
    if (geteuid() != 0)
        return MessageOf(action);
    int fds[2];
    if (pipe(fds) != 0)
        return "<no pipe>";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string message = "<cannot drop root>";
        if (setgid(65534) == 0 && setuid(65534) == 0)
            message = MessageOf(action);
        const ssize_t written = write(fds[1], message.data(), message.size());
        _exit(written < 0 ? 1 : 0);
    }
    close(fds[1]);
    std::string message;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        message.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return message;
}

std::string PatchedTitleSetCount(const std::string& vmg, int count)
{
    std::string bytes = ReadFile(vmg);
    bytes[0x3E] = static_cast<char>(count >> 8);
    bytes[0x3F] = static_cast<char>(count & 0xff);
    return bytes;
}

TEST(BadSource, ClearMessageNamingThePath)
{
    TempDir tmp;
    fs::permissions(tmp.path(), fs::perms::all, fs::perm_options::add);
    const Disc disc = MakeDisc(FixturePath("dvd/two_sets"), tmp.file("disc"));
    const std::string iso = ReadFile(disc.iso);

    WriteFile(tmp.file("empty.iso"), "");
    WriteFile(tmp.file("short.iso"), iso.substr(0, 300 * 1024));
    fs::create_directories(tmp.file("plain"));
    WriteFile(tmp.file("plain/notes.txt"), "x");
    mkfifo(tmp.file("fifo").c_str(), 0644);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", tmp.file("sock").c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    fs::create_directories(tmp.file("locked/VIDEO_TS"));
    fs::permissions(tmp.file("locked"), fs::perms::none);
    // A FIFO where a title set's IFO file should be: never opened.
    fs::create_directories(tmp.file("fifo_vts/VIDEO_TS"));
    fs::copy_file(disc.videoTs + "/VIDEO_TS.IFO", tmp.file("fifo_vts/VIDEO_TS/VIDEO_TS.IFO"));
    mkfifo(tmp.file("fifo_vts/VIDEO_TS/VTS_01_0.IFO").c_str(), 0644);
    mkfifo(tmp.file("fifo_vts/VIDEO_TS/VTS_02_0.IFO").c_str(), 0644);
    // VIDEO_TS.IFO names 99 title sets; none is there.
    fs::create_directories(tmp.file("ghost/VIDEO_TS"));
    WriteFile(tmp.file("ghost/VIDEO_TS/VIDEO_TS.IFO"),
              PatchedTitleSetCount(disc.videoTs + "/VIDEO_TS.IFO", 99));
    // (-dvd-video insists on the title sets being there.)
    MakeIso(tmp.file("ghost"), tmp.file("ghost.iso"), {"-udf"});

    const struct {
        std::string path;
        std::string reason;
        bool withoutRoot;
    } cases[] = {
        {tmp.file("missing.iso"), "No such file or directory", false},
        {tmp.file("empty.iso"), "the file is empty", false},
        {tmp.file("short.iso"), "too short for a DVD image", false},
        {tmp.file("plain"), "no VIDEO_TS folder in it", false},
        {tmp.file("fifo"), "is a FIFO, not a DVD", false},
        {tmp.file("sock"), "is a socket, not a DVD", false},
        {"/dev/null", "is a character device, not a DVD", false},
        {tmp.file("locked"), "the folder cannot be read (Permission denied)", true},
        {tmp.file("fifo_vts"), "VTS_01_0.IFO is not a regular file", false},
        {tmp.file("ghost"), "none of the 99 title sets named on the disc can be read", false},
        {tmp.file("ghost.iso"), "none of the 99 title sets named on the disc can be read", false},
    };
    for (const auto& c : cases) {
        const auto open = [&] { Source::Open(c.path); };
        const std::string message = c.withoutRoot ? MessageWithoutRoot(open) : MessageOf(open);
        EXPECT_EQ(message.rfind(c.path + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        // Opened for a load: the message in the report, and nothing to load.
        const SourceOpening opening = OpenForLoad(c.path);
        EXPECT_FALSE(opening.source.has_value());
        ASSERT_EQ(opening.failure.report.lines().size(), 1u) << c.path;
        EXPECT_EQ(opening.failure.report.lines()[0].text, "error opening " + MessageOf(open));
        EXPECT_TRUE(opening.failure.failure.has_value());
    }
    close(sock);

    // Every cut of an image gives a message, never a crash or a listing
    // that reads past the end.
    for (size_t cut = 300 * 1024; cut < iso.size(); cut += 2048 * 7) {
        WriteFile(tmp.file("cut.iso"), iso.substr(0, cut));
        try {
            const Source source = Source::Open(tmp.file("cut.iso"));
            for (const TitleSetSummary& set : source.titleSets())
                EXPECT_FALSE(set.pgcs.empty());
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(tmp.file("cut.iso") + ": ", 0), 0u) << e.what();
        }
    }
}

TEST(BadSource, TitleSetsMissingOrUnreadableAreLeftOut)
{
    TempDir tmp;
    const Disc disc = MakeDisc(FixturePath("dvd/two_sets"), tmp.file("disc"));
    // 99 named, two there: both listed, the other 97 said to be missing.
    WriteFile(disc.videoTs + "/VIDEO_TS.IFO", PatchedTitleSetCount(disc.videoTs + "/VIDEO_TS.IFO", 99));
    Source source = Source::Open(disc.above);
    ASSERT_EQ(source.titleSets().size(), 2u);
    EXPECT_EQ(source.problems().size(), 97u);
    EXPECT_EQ(source.problems().back(), disc.above + ": VTS_99_0.IFO is not there");

    // VIDEO_TS.IFO unreadable: the title sets are the files there.
    WriteFile(disc.videoTs + "/VIDEO_TS.IFO", std::string(2048, '\0'));
    source = Source::Open(disc.videoTs);
    ASSERT_EQ(source.titleSets().size(), 2u);
    EXPECT_EQ(source.defaultTitleSet(), 2);

    // A damaged title set is left out with the reason; the other still loads.
    WriteFile(disc.videoTs + "/VTS_02_0.IFO", ReadFile(disc.videoTs + "/VTS_02_0.IFO").substr(0, 4096));
    source = Source::Open(disc.videoTs);
    ASSERT_EQ(source.titleSets().size(), 1u);
    EXPECT_EQ(source.defaultTitleSet(), 1);
    ASSERT_EQ(source.problems().size(), 1u);
    EXPECT_EQ(source.problems()[0].rfind(disc.videoTs + ": VTS_02_0.IFO cannot be read: ", 0), 0u)
        << source.problems()[0];
    const LoadResult damaged = LoadDisc(disc.videoTs, 2);
    ASSERT_EQ(damaged.report.lines().size(), 1u);
    EXPECT_EQ(damaged.report.lines()[0].text, "error opening title set 2 of " + disc.videoTs);
    EXPECT_TRUE(damaged.failure.has_value());
}

}  // namespace
}  // namespace pelvano::test
