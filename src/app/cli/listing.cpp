#include "app/cli/listing.h"

#include "base/error.h"
#include "base/format.h"
#include "output/timing_rules.h"

namespace pelvano::cli {

namespace {

void AppendHoursToMs(std::string& out, uint32_t ms)
{
    AppendZeroPadded(out, ms / 3600000, 2);
    out += ':';
    AppendZeroPadded(out, ms / 60000 % 60, 2);
    out += ':';
    AppendZeroPadded(out, ms / 1000 % 60, 2);
    out += '.';
    AppendZeroPadded(out, ms % 1000, 3);
}

// The rate text in thousandths as a JSON number of frames per second:
// "29970" -> 29.97, "25000" -> 25; null for a text that is no rate.
std::string JsonFps(const std::string& rateText)
{
    const std::optional<int32_t> milli = ParseInt32(rateText);
    if (!milli || *milli <= 0)
        return "null";
    std::string out = std::to_string(*milli / 1000);
    if (*milli % 1000 != 0) {
        out += Format(".%03d", *milli % 1000);
        out.erase(out.find_last_not_of('0') + 1);
    }
    return out;
}

std::string PlaylistsText(const Source& source, bool all)
{
    std::string out;
    const std::vector<const PlaylistSummary*> listed = source.listedPlaylists(all);
    for (const PlaylistSummary* p : listed) {
        out += p->number == source.defaultPlaylist() ? "* playlist " : "  playlist ";
        AppendZeroPadded(out, static_cast<unsigned>(p->number), 5);
        out += ": ";
        AppendHoursToMs(out, p->lengthMs);
        out += Format(", %u chapter(s), %u play item(s), %u angle(s), %s", p->chapters, p->items, p->angles,
                      p->frameRate.empty() ? "unknown rate" : p->frameRate.c_str());
        if (p->repeat)
            out += ", repeats another";
        if (p->lengthMs < kShortPlaylistMs)
            out += ", under 10 s";
        out += '\n';
    }
    if (const size_t left = source.playlists().size() - listed.size())
        out += Format("  (%zu more that repeat another or last under 10 s: --all lists them)\n", left);
    return out;
}

std::string PlaylistsJson(const Source& source, bool all)
{
    std::string out = "{\"source\": " + JsonString(source.path()) + ", \"playlists\": [";
    const char* separator = "";
    for (const PlaylistSummary* p : source.listedPlaylists(all)) {
        out += Format("%s{\"number\": %d, \"length_ms\": %u, \"chapters\": %u, \"items\": %u, \"angles\": "
                      "%u, \"fps\": %s}",
                      separator, p->number, p->lengthMs, p->chapters, p->items, p->angles,
                      JsonFps(p->frameRate).c_str());
        separator = ", ";
    }
    return out + Format("], \"default\": {\"playlist\": %d}}\n", source.defaultPlaylist());
}

}  // namespace

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t len = Utf8Length(text, i);
        if (len == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text, i, len);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            out += Format("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
        i += len;
    }
    return out + "\"";
}

std::string ListingText(const Source& source, bool all)
{
    if (source.isBluray())
        return PlaylistsText(source, all);
    // Appended piece by piece: a disc of many title sets would otherwise
    // spend more on formatting than on reading its files.
    std::string out;
    for (const TitleSummary& title : source.titles()) {
        out += title.number == source.defaultTitle() ? "* title " : "  title ";
        AppendZeroPadded(out, static_cast<unsigned>(title.number), 1);
        out += ": title set ";
        AppendZeroPadded(out, static_cast<unsigned>(title.titleSet), 1);
        out += ", pgc ";
        AppendZeroPadded(out, static_cast<unsigned>(title.pgc), 1);
        out += ", ";
        AppendHoursToMs(out, title.lengthMs);
        out += ", ";
        AppendZeroPadded(out, static_cast<unsigned>(title.chapters), 1);
        out += " chapter(s), ";
        AppendZeroPadded(out, static_cast<unsigned>(title.angles), 1);
        out += " angle(s)\n";
    }
    for (const TitleSetSummary& ts : source.titleSets()) {
        out += ts.number == source.defaultTitleSet() ? "* title set " : "  title set ";
        AppendZeroPadded(out, static_cast<unsigned>(ts.number), 1);
        out.append(": ").append(ts.ifoName);
        out.append(", ").append(ts.tvSystem);
        out.append(", ").append(ts.frameRate);
        out += ", ";
        AppendZeroPadded(out, ts.pgcs.size(), 1);
        out += " program chain(s)\n";
        for (size_t i = 0; i < ts.pgcs.size(); ++i) {
            const PgcSummary& pgc = ts.pgcs[i];
            out += static_cast<int>(i) == ts.longestPgc ? "    * pgc " : "      pgc ";
            AppendZeroPadded(out, static_cast<unsigned>(pgc.number), 1);
            out += ": ";
            AppendHoursToMs(out, pgc.lengthMs);
            out += ", ";
            AppendZeroPadded(out, pgc.cells, 1);
            out += " cell(s), ";
            AppendZeroPadded(out, pgc.chapters, 1);
            out += " chapter(s)\n";
        }
    }
    return out;
}

std::string ListingJson(const Source& source, bool all)
{
    if (source.isBluray())
        return PlaylistsJson(source, all);
    std::string out = "{\"source\": " + JsonString(source.path()) + ", \"titles\": [";
    for (size_t i = 0; i < source.titles().size(); ++i) {
        const TitleSummary& t = source.titles()[i];
        out +=
            Format("%s{\"number\": %d, \"title_set\": %d, \"pgc\": %d, \"length_ms\": %u, \"chapters\": %d, "
                   "\"angles\": %d}",
                   i ? ", " : "", t.number, t.titleSet, t.pgc, t.lengthMs, t.chapters, t.angles);
    }
    out += "], \"title_sets\": [";
    const TitleSetSummary* chosen = nullptr;
    for (size_t t = 0; t < source.titleSets().size(); ++t) {
        const TitleSetSummary& ts = source.titleSets()[t];
        if (ts.number == source.defaultTitleSet())
            chosen = &ts;
        out += Format(
            "%s{\"number\": %d, \"ifo\": %s, \"tv_system\": %s, \"frame_rate\": %s, \"fps\": %s, \"pgcs\": [",
            t ? ", " : "", ts.number, JsonString(ts.ifoName).c_str(), JsonString(ts.tvSystem).c_str(),
            JsonString(ts.frameRate).c_str(), JsonFps(ts.frameRate).c_str());
        for (size_t i = 0; i < ts.pgcs.size(); ++i) {
            const PgcSummary& pgc = ts.pgcs[i];
            out += Format("%s{\"number\": %d, \"length_ms\": %u, \"cells\": %u, \"chapters\": %u}",
                          i ? ", " : "", pgc.number, pgc.lengthMs, pgc.cells, pgc.chapters);
        }
        out += "]}";
    }
    out += "], \"default\": ";
    if (chosen && chosen->longestPgc >= 0)
        out += Format("{\"title_set\": %d, \"pgc\": %d", chosen->number, chosen->longestPgc + 1) +
               (source.defaultTitle() ? Format(", \"title\": %d}", source.defaultTitle()) : std::string("}"));
    else
        out += "null";
    return out + "}\n";
}

}  // namespace pelvano::cli
