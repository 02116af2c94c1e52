#include "chapters/playlist_loader.h"

#include <algorithm>
#include <optional>

#include "base/format.h"
#include "mpls/playlist_timeline.h"

namespace pelvano {

namespace {

struct Code {
    uint8_t code;
    const char* text;
};

const char* Named(const std::initializer_list<Code>& table, uint8_t code)
{
    const auto it = std::find_if(table.begin(), table.end(), [&](const Code& c) { return c.code == code; });
    return it == table.end() ? "unknown" : it->text;
}

// Languages and clip names are bytes as stored: shown as ASCII, '?' for the rest.
std::string Printable(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return text;
}

std::string Time(uint64_t ticks)
{
    return FormatMsTime(PlaylistTicksToMs(ticks));
}

void ReportStreams(Report& report, const PlaylistStreams& streams,
                   const std::optional<PlaylistFrameRate>& rate)
{
    if (!streams.video.empty()) {
        const PlaylistVideo& v = streams.video.front();
        report.add("Video:", LineStyle::Bold);
        report.add(std::string(" Codec       : ") + Named({{0x01, "MPEG-1"},
                                                           {0x02, "MPEG-2"},
                                                           {0x1B, "H.264/AVC"},
                                                           {0x20, "H.264/MVC"},
                                                           {0x24, "HEVC"},
                                                           {0xEA, "VC-1"}},
                                                          v.coding));
        report.add(std::string(" Format      : ") + Named({{1, "480i"},
                                                           {2, "576i"},
                                                           {3, "480p"},
                                                           {4, "1080i"},
                                                           {5, "720p"},
                                                           {6, "1080p"},
                                                           {7, "576p"},
                                                           {8, "2160p"}},
                                                          v.format));
        report.add(
            rate ? Format(" Frame rate  : %u/%u (%s)", rate->numerator, rate->denominator, rate->text)
                 : Format(" Frame rate  : unknown (code %u), %s assumed", v.rate, kUnknownPlaylistRate));
        report.blank();
    }
    if (!streams.audio.empty()) {
        report.add("Audio:", LineStyle::Bold);
        for (size_t i = 0; i < streams.audio.size(); ++i) {
            const PlaylistAudio& a = streams.audio[i];
            report.add(Format(
                "  %zu. %s, %s, %s, %s", i,
                Named({{0x80, "LPCM"},
                       {0x81, "AC-3"},
                       {0x82, "DTS"},
                       {0x83, "TrueHD"},
                       {0x84, "E-AC-3"},
                       {0x85, "DTS-HD"},
                       {0x86, "DTS-HD MA"},
                       {0xA1, "E-AC-3 (secondary)"},
                       {0xA2, "DTS-HD (secondary)"}},
                      a.coding),
                Named({{1, "mono"}, {3, "stereo"}, {6, "multi-channel"}, {12, "stereo and multi-channel"}},
                      a.format),
                Named({{1, "48 kHz"}, {4, "96 kHz"}, {5, "192 kHz"}, {12, "192/48 kHz"}, {14, "96/48 kHz"}},
                      a.sampleRate),
                Printable(a.language).c_str()));
        }
        report.blank();
    }
    if (!streams.subtitles.empty()) {
        report.add("Subtitles:", LineStyle::Bold);
        for (size_t i = 0; i < streams.subtitles.size(); ++i)
            report.add(Format("  %zu. %s%s", i, Printable(streams.subtitles[i].language).c_str(),
                              streams.subtitles[i].coding == 0x92 ? " (text)" : ""));
        report.blank();
    }
}

std::string AngleText(const PlayItem& item)
{
    if (item.angles.size() < 2)
        return {};
    std::string text = Format(" (Angles %zu:", item.angles.size());
    for (const PlaylistClip& clip : item.angles)
        text += " " + Printable(clip.name);
    return text + ")";
}

// The play items, each with where it starts on the timeline.
void ReportPlayItems(Report& report, const Playlist& playlist, int number)
{
    report.add("Play items:", LineStyle::Bold);
    report.add(Format("  Playlist %05d. Length: %s in %zu play item(s).", number,
                      Time(PlaylistLength(playlist)).c_str(), playlist.items.size()));
    uint64_t start = 0;
    for (size_t i = 0; i < playlist.items.size(); ++i) {
        const PlayItem& item = playlist.items[i];
        report.add(Format("  %03zu. Clip: %s - In: %s - Out: %s - Len: %s - TS: %s%s", i,
                          Printable(item.angles.front().name).c_str(), Time(item.inTime).c_str(),
                          Time(item.outTime).c_str(), Time(item.length()).c_str(), Time(start).c_str(),
                          AngleText(item).c_str()));
        start += item.length();
    }
}

void ReportEntryMarks(Report& report, const Playlist& playlist)
{
    const std::vector<uint32_t> ticks = EntryMarkTicks(playlist);
    if (ticks.empty())
        return;
    report.blank();
    report.add("Entry marks:", LineStyle::Bold);
    size_t k = 0;
    for (size_t i = 0; i < playlist.marks.size(); ++i) {
        const PlaylistMark& mark = playlist.marks[i];
        if (mark.type != PlaylistMark::kEntry)
            continue;
        report.add(Format("  %03zu. Play item %03u at %s - TS: %s", i, static_cast<unsigned>(mark.playItem),
                          Time(mark.time).c_str(), Time(ticks[k++]).c_str()));
    }
}

}  // namespace

uint32_t DefaultPlaylistChapterCount(const Playlist& playlist)
{
    const std::vector<PlaylistSegment> segments = PlaylistSegments(playlist);
    if (segments.empty())
        return 0;
    const bool shortLast = PlaylistTicksToMs(segments.back().length) < kLastChapterMinMs;
    return static_cast<uint32_t>(segments.size()) - (shortLast ? 1 : 0);
}

LoadResult LoadPlaylist(const Source& source, int number, const LoadRequest& request)
{
    const Playlist* playlist = source.parsedPlaylist(number);
    if (!playlist)
        return FailedLoad(Format("error opening playlist %05d of %s", number, source.path().c_str()),
                          Error(source.path(), Format("there is no playlist %05d", number)), false);

    LoadResult result;
    Report& report = result.report;
    if (source.kind() == SourceKind::PlaylistFile)
        report.add("Opening playlist file " + source.path() + " OK.");
    else
        report.add(Format("Opening playlist %05d of %s OK.", number, source.path().c_str()));
    report.blank();
    result.titles = std::vector<std::string>();

    const std::optional<PlaylistFrameRate> rate = PlaylistVideoRate(*playlist);
    result.frameRate = rate ? rate->text : kUnknownPlaylistRate;
    const bool withReport = request.withReport;
    const uint32_t length = PlaylistLength(*playlist);
    if (withReport) {
        if (!playlist->items.empty())
            ReportStreams(report, playlist->items.front().streams, rate);
        ReportPlayItems(report, *playlist, number);
        ReportEntryMarks(report, *playlist);
    }

    TitleModel model;
    model.exactClock = kPlaylistClock;
    model.cellStartsMs.push_back(0);
    model.cellStartTicks.push_back(0);
    const std::vector<PlaylistSegment> segments = PlaylistSegments(*playlist);
    for (size_t i = 0; i < segments.size(); ++i) {
        const PlaylistSegment& segment = segments[i];
        const PlayItem& item = playlist->items[segment.playItem];
        model.cellTicks.push_back(segment.length);
        model.cellLengthsMs.push_back(PlaylistTicksToMs(segment.length));
        model.cellStartTicks.push_back(segment.start + segment.length);
        model.cellStartsMs.push_back(PlaylistTicksToMs(model.cellStartTicks.back()));
        model.chapterStarts.push_back(static_cast<uint32_t>(i + 1));

        CellRow row;
        row.checked = true;
        row.caption = ZeroPadded(i, 3);
        row.vobId = Printable(item.angles.front().name);
        row.cellId = segment.mark < 0 ? std::string() : ZeroPadded(static_cast<unsigned>(segment.mark), 3);
        row.length = FormatMsTime(model.cellLengthsMs.back());
        row.timestamp = FormatMsTime(PlaylistTicksToMs(segment.start));
        if (item.angles.size() > 1)
            row.angle = "01";
        if (i + 1 < segments.size())
            row.linkedTo = ZeroPadded(i + 1, 3);
        row.chapter = std::to_string(i + 1);
        result.rows.push_back(std::move(row));
    }
    model.chapterCount = static_cast<uint32_t>(segments.size());

    report.blank();
    result.timeLength = FormatMsTime(PlaylistTicksToMs(length));
    report.add("Total film length : " + result.timeLength, LineStyle::Bold);
    report.blank();
    for (size_t k = 0; withReport && k < model.chapterCount; ++k)
        report.add(Format("Chapter %zu = ", k + 1) + FormatMsTime(model.chapterStartMs(k)));
    if (request.fixLastChapter)
        DropShortLastChapter(result.rows, model, report);
    if (!withReport)
        result.report = Report();
    result.chapterTotal = std::to_string(model.chapterCount);
    result.model = std::move(model);
    return result;
}

}  // namespace pelvano
