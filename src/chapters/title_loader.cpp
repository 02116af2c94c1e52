#include "chapters/title_loader.h"

#include "base/error.h"
#include "base/format.h"
#include "disc/paths.h"

namespace pelvano {

namespace {

// How a load turns the IFO's hh:mm:ss:ff into milliseconds: nominal seconds
// plus the frames at the title's rate, or, for exact NTSC time, the whole
// time counted in frames at 30 a second and converted at 1001/30 ms each.
struct TimeBase {
    uint32_t rateMilli;
    bool exactNtsc;

    uint32_t ms(const IfoTime& t) const
    {
        if (exactNtsc)
            return NtscFramesToMs(NtscFrames(t));
        return t.hours * 3600000u + t.minutes * 60000u + t.seconds * 1000u + FramesToMs(t.frames, rateMilli);
    }

    std::string lengthText(const IfoTime& t) const
    {
        if (exactNtsc)
            return FormatMsTime(ms(t));
        std::string text;
        text.reserve(11);
        AppendZeroPadded(text, t.hours, 2);
        text += ':';
        AppendZeroPadded(text, t.minutes, 2);
        text += ':';
        AppendZeroPadded(text, t.seconds, 2);
        text += ':';
        AppendZeroPadded(text, FramesToHundredths(t.frames, rateMilli), 2);
        return text;
    }

    static uint32_t NtscFrames(const IfoTime& t)
    {
        return ((t.hours * 60u + t.minutes) * 60u + t.seconds) * 30u + t.frames;
    }
};

enum class AngleKind { Ordinary, FirstAngle, OtherAngle };

AngleKind KindOf(uint8_t angle)
{
    if (angle == 0x11)
        return AngleKind::Ordinary;
    return (angle & 0x0f) == 1 ? AngleKind::FirstAngle : AngleKind::OtherAngle;
}

void ReportStreams(Report& report, const char* heading, const std::vector<std::string>& streams)
{
    if (streams.empty())
        return;
    report.add(heading, LineStyle::Bold);
    for (size_t i = 0; i < streams.size(); ++i)
        report.add(Format("  %zu. %s", i, streams[i].c_str()));
}

// Program-map entries are 1-based cell numbers; one that names no cell of
// this PGC would address rows and times that do not exist, so it is left
// out (and said so in the report).
std::vector<uint32_t> UsableProgramMap(const std::vector<uint8_t>& map, size_t cellCount, Report& report)
{
    std::vector<uint32_t> starts;
    for (uint8_t entry : map) {
        if (entry == 0 || entry > cellCount) {
            report.add(Format("* Program map entry %u names no cell of this PGC (%zu cell(s)) "
                              "and is ignored.",
                              entry, cellCount));
            continue;
        }
        starts.push_back(entry);
    }
    return starts;
}

std::string LinkText(const std::vector<uint32_t>& starts)
{
    std::string text = Format("%03u", starts[0] - 1);
    for (size_t k = 1; k < starts.size(); ++k) {
        text += " -> ";
        if (k % 10 == 0)
            text += "\r\n";
        text += Format("%03u", starts[k] - 1);
    }
    return text;
}

}  // namespace

uint32_t FramesToMs(uint32_t frames, uint32_t rateMilli)
{
    return rateMilli ? static_cast<uint32_t>(uint64_t{frames} * 1000000u / rateMilli) : 0;
}

uint32_t FramesToHundredths(uint32_t frames, uint32_t rateMilli)
{
    return rateMilli ? static_cast<uint32_t>(uint64_t{frames} * 100000u / rateMilli) : 0;
}

uint32_t TimeToMs(const IfoTime& t, uint32_t rateMilli)
{
    return t.hours * 3600000u + t.minutes * 60000u + t.seconds * 1000u + FramesToMs(t.frames, rateMilli);
}

int32_t PgcLengthKey(const IfoTime& t)
{
    return t.hours * 3600000 + t.minutes * 60000 + t.seconds * 1000 + t.frames;
}

uint32_t DefaultFrameRate(const TitleSet& set)
{
    return ((set.videoAttributes[0] >> 4) & 3) != 0 ? 25000 : 29970;
}

uint32_t DefaultChapterCount(const Pgc& pgc, uint32_t rateMilli)
{
    const std::vector<IfoCell>& cells = pgc.cells;
    Report unused;
    const std::vector<uint32_t> starts = UsableProgramMap(pgc.programMap, cells.size(), unused);
    if (starts.empty())
        return 0;
    const bool shortLast = TimeToMs(cells[starts.back() - 1].length, rateMilli) < kLastChapterMinMs;
    return static_cast<uint32_t>(starts.size()) - (shortLast ? 1 : 0);
}

int FindLongestPgc(const TitleSet& set)
{
    int best = 0;
    int32_t bestKey = 0;
    for (size_t i = 0; i < set.pgcs.size(); ++i) {
        const int32_t key = PgcLengthKey(set.pgcs[i].time);
        if (key > bestKey) {
            bestKey = key;
            best = static_cast<int>(i);
        }
    }
    return best;
}

namespace {

// The reader's reasons are fragments ("PGC table runs past the end of the
// file"); the report shows them as a line of their own.
std::string AsSentence(std::string text)
{
    if (!text.empty() && text.front() >= 'a' && text.front() <= 'z')
        text.front() = static_cast<char>(text.front() - 'a' + 'A');
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

}  // namespace

LoadResult FailedLoad(std::string line, const Error& error, bool withReason)
{
    LoadResult result;
    result.report.add(std::move(line));
    if (withReason && !error.reason().empty())
        result.report.add(AsSentence(error.reason()));
    result.failure = error;
    return result;
}

SourceOpening OpenForLoad(const std::string& path, bool ifoFileOnly, const std::string& folder)
{
    SourceOpening opening;
    // Anything that is not a folder, image or drive goes the way an IFO file
    // always went, but for a disc's menu file, which stands for its disc.
    bool ifoFile = ifoFileOnly;
    try {
        ifoFile = ifoFile || (KindOf(PathInFolder(path, folder)) == SourceKind::IfoFile &&
                              TitleSetOfName(BaseName(path)) != 0);
        opening.source = ifoFile ? Source::OpenIfoFile(path, folder) : Source::Open(path, folder);
    } catch (const Error& e) {
        opening.failure = ifoFile ? FailedLoad("error opening file " + path, e, true)
                                  : FailedLoad(std::string("error opening ") + e.what(), e, false);
    }
    return opening;
}

LoadResult LoadTitle(const Source& source, int titleSet, const LoadRequest& request)
{
    const TitleSet* set = source.parsed(titleSet);
    if (!set)
        return FailedLoad(Format("error opening title set %d of %s", titleSet, source.path().c_str()),
                          Error(source.path(), Format("there is no title set %d", titleSet)), false);

    LoadResult result;
    Report& report = result.report;
    if (source.kind() == SourceKind::IfoFile)
        report.add("Opening IFO file " + source.path() + " OK.");
    else
        report.add(Format("Opening title set %d (%s) of %s OK.", titleSet, IfoName(titleSet).c_str(),
                          source.path().c_str()));
    report.blank();

    const uint32_t pgcCount = static_cast<uint32_t>(set->pgcs.size());
    std::vector<std::string> titles;
    for (uint32_t i = 1; i <= pgcCount; ++i)
        titles.push_back(std::to_string(i));
    result.titles = std::move(titles);
    int selected = -1;
    if (pgcCount > 0) {
        if (request.newFile)
            selected = FindLongestPgc(*set);
        else if (request.currentTitle >= 0 && static_cast<uint32_t>(request.currentTitle) < pgcCount)
            selected = request.currentTitle;
        else
            selected = 0;
    }
    result.selectedTitle = selected;

    const bool pal = DefaultFrameRate(*set) == 25000;
    const TimeBase time{pal ? 25000u : 29970u, request.exactNtsc && !pal};
    result.frameRate = pal ? "25000" : "29970";

    const bool withReport = request.withReport;
    if (withReport) {
        ReportVideoAttributes(report, set->videoAttributes[0], set->videoAttributes[1]);
        report.blank();
        ReportStreams(report, "Audio:", set->audio);
        report.blank();
        ReportStreams(report, "SubPicture:", set->subPictures);
        report.blank();
        report.add("Program Chain(s):", LineStyle::Bold);
    }

    if (selected < 0)
        return result;
    const uint32_t pgc = static_cast<uint32_t>(selected);
    if (pgc >= pgcCount) {
        report.add(Format("* Program-Chain (PGC) Index out of range (only %i PGC(s) available).",
                          static_cast<int>(pgcCount)));
        return result;
    }

    IfoTime pgcTime;
    pgcTime = set->pgcs[pgc].time;
    const uint32_t cellCount = static_cast<uint32_t>(set->pgcs[pgc].cells.size());
    if (withReport)
        report.add(Format("  Using PGC #%u. Length: %s in %i cell(s).", pgc, time.lengthText(pgcTime).c_str(),
                          static_cast<int>(cellCount)));

    TitleModel model;
    if (time.exactNtsc) {
        model.exactClock = kNtscFrameClock;
        model.cellStartTicks.push_back(0);
    }
    model.cellStartsMs.push_back(0);
    uint32_t running = 0;
    uint32_t runningFrames = 0;
    const std::vector<IfoCell>& cells = set->pgcs[pgc].cells;
    for (size_t i = 0; i < cells.size(); ++i) {
        const IfoCell& cell = cells[i];
        uint32_t len = time.ms(cell.length);
        model.cellLengthsMs.push_back(len);
        uint32_t frames = time.exactNtsc ? TimeBase::NtscFrames(cell.length) : 0;
        if (time.exactNtsc)
            model.cellTicks.push_back(frames);

        CellRow row;
        row.caption = ZeroPadded(i, 3);
        row.vobId = ZeroPadded(cell.vobId, 2);
        row.cellId = ZeroPadded(cell.cellId, 2);
        row.length = time.lengthText(cell.length);
        const AngleKind kind = KindOf(cell.angle);
        const unsigned angleNo = cell.angle & 0x0f;
        const unsigned angles = cell.angle >> 4;
        if (kind == AngleKind::OtherAngle) {
            row.timestamp = CellRow::kUnusedMark;
            len = 0;
            frames = 0;
        } else {
            row.timestamp = FormatMsTime(running);
        }
        if (kind != AngleKind::Ordinary)
            row.angle = ZeroPadded(angleNo, 2);

        if (withReport) {
            const std::string head = Format("  %03zu. VOB-ID: %02u/CELL-ID: %02u - Len: %s - TS: ", i,
                                            cell.vobId, cell.cellId, row.length.c_str());
            switch (kind) {
            case AngleKind::Ordinary:
                report.add(head + row.timestamp);
                break;
            case AngleKind::FirstAngle:
                report.add(head + row.timestamp + Format(" (Angle %01u/%01u)", angleNo, angles));
                break;
            case AngleKind::OtherAngle:
                report.add(head + Format("--:--:--:-- (Angle %01u/%01u)", angleNo, angles));
                break;
            }
        }
        result.rows.push_back(std::move(row));
        if (time.exactNtsc) {
            // The start is converted from all the frames before it, never
            // summed from rounded lengths.
            runningFrames += frames;
            running = NtscFramesToMs(runningFrames);
            model.cellStartTicks.push_back(runningFrames);
        } else {
            running += len;
        }
        model.cellStartsMs.push_back(running);
    }

    model.chapterStarts = UsableProgramMap(set->pgcs[pgc].programMap, cells.size(), report);
    model.chapterCount = static_cast<uint32_t>(model.chapterStarts.size());
    const std::vector<uint32_t>& starts = model.chapterStarts;
    std::vector<CellRow>& rows = result.rows;
    if (model.chapterCount > 0) {
        if (withReport) {
            report.blank();
            report.add("Cells links :", LineStyle::Bold);
            report.add(LinkText(starts));
        }

        rows[0].checked = true;
        rows[0].chapter = "1";
        if (model.chapterCount > 1)
            rows[0].linkedTo = ZeroPadded(starts[1] - 1, 3);
        for (size_t k = 1; k < model.chapterCount; ++k) {
            CellRow& row = rows[starts[k] - 1];
            row.checked = true;
            if (k + 1 < model.chapterCount)
                row.linkedTo = ZeroPadded(starts[k + 1] - 1, 3);
            row.chapter = std::to_string(k + 1);
        }
    }

    report.blank();
    report.add("Total film length : " + FormatMsTime(running), LineStyle::Bold);
    result.timeLength = FormatMsTime(running);
    report.blank();
    for (size_t k = 0; withReport && k < model.chapterCount; ++k)
        report.add(Format("Chapter %zu = ", k + 1) + FormatMsTime(model.chapterStartMs(k)));

    if (request.fixLastChapter)
        DropShortLastChapter(rows, model, report);
    if (!withReport)
        result.report = Report();
    result.chapterTotal = std::to_string(model.chapterCount);
    result.model = std::move(model);
    return result;
}

void DropShortLastChapter(std::vector<CellRow>& rows, TitleModel& model, Report& report)
{
    if (model.chapterCount == 0)
        return;
    const uint32_t first = model.chapterStarts[model.chapterCount - 1];
    if (model.cellLengthsMs[first - 1] < kLastChapterMinMs) {
        report.add("Warning ! Last chapter length is less than 5 s and has been disabled.", LineStyle::Red);
        rows[first - 1].checked = false;
        --model.chapterCount;
    }
}

void ApplyLoad(ChapterDocument& doc, const LoadResult& result)
{
    if (result.failure) {
        doc = ChapterDocument();
        return;
    }
    doc.rows = result.rows;
    if (result.model) {
        doc.model = *result.model;
        doc.timeLength = result.timeLength;
        doc.chapterTotal = result.chapterTotal;
    }
}

}  // namespace pelvano
