#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "base/error.h"
#include "disc/source_kind.h"
#include "ifo/title_set.h"
#include "mpls/playlist.h"

namespace pelvano {

struct PgcSummary {
    int number = 0;         // 1-based, as the Title list shows it
    uint32_t lengthMs = 0;  // play time converted as a title load converts times
    uint32_t cells = 0;
    uint32_t chapters = 0;  // chapter lines with the default marks (program map, last-chapter rule on)
};

struct TitleSetSummary {
    int number = 0;         // 1..99
    std::string ifoName;    // "VTS_01_0.IFO"
    std::string tvSystem;   // "PAL" or "NTSC"
    std::string frameRate;  // "25000" or "29970", the load's default rate
    std::vector<PgcSummary> pgcs;
    int longestPgc = -1;     // 0-based index of the longest PGC, as a new-file load selects it
    int32_t longestKey = 0;  // its length key (the one the longest-PGC search compares)
};

// A title as the disc numbers it, as lsdvd, dvdxchap -t, HandBrake and
// mkvmerge's VIDEO_TS:N do: an entry of the title table in VIDEO_TS.IFO.
struct TitleSummary {
    int number = 0;         // 1-based, the table's order
    int titleSet = 0;       // the title set it lives in
    int pgc = 0;            // 1-based: the program chain its first part is in
    uint32_t lengthMs = 0;  // that program chain's length, as the title set lists it
    int chapters = 0;       // parts, as the title table gives them
    int angles = 0;
    bool severalPgcs = false;  // its parts run through more than one program chain
};

// Shorter playlists (logos, menus' backgrounds) are listed only when asked for.
inline constexpr uint32_t kShortPlaylistMs = 10000;

// A Blu-ray playlist as a listing shows it.
struct PlaylistSummary {
    int number = 0;         // nnnnn of nnnnn.mpls
    uint32_t lengthMs = 0;  // rounded up
    uint32_t chapters = 0;  // chapter lines of a load with the default marks (last-chapter rule on)
    uint32_t items = 0;     // play items
    uint32_t angles = 0;    // the most any play item has
    std::string frameRate;  // the rate text ("23976", ...); empty when its video names none of the six
    // It plays the same play items as a playlist of a lower number.
    bool repeat = false;
};

// What the user pointed at, read and parsed once: its title sets, or a
// Blu-ray's playlists, and what a listing shows of them. Loading a title or
// playlist takes it from here; the source is never read again.
class Source {
public:
    // Reads what `path` names: an IFO file, a VIDEO_TS folder (or the folder
    // above it, or its VIDEO_TS.IFO), a playlist file, a BDMV folder (or
    // the folder above it, or its index.bdmv), an image or a drive. Throws Error with a one-line message
    // naming the path and the reason; never opens a FIFO, socket or
    // character device. A relative path is looked up in `folder` when one is
    // given (the working directory otherwise); what the source shows and
    // says names `path` as given.
    static Source Open(const std::string& path, const std::string& folder = {});
    // The title set of a navigation file, whatever its name or contents
    // (the three-argument form reads nothing else). Throws Error(path, reason).
    static Source OpenIfoFile(const std::string& path, const std::string& folder = {});

    const std::string& path() const { return path_; }
    SourceKind kind() const { return kind_; }

    // In ascending order; for an IFO file the one title set it holds.
    const std::vector<TitleSetSummary>& titleSets() const { return titleSets_; }
    const TitleSetSummary* titleSet(int number) const;
    // The parsed title set `number`; null when the source has none by that number.
    const TitleSet* parsed(int number) const;
    // Number of the title set holding the longest PGC of the source (first of
    // equal keys wins); the first title set when none has a PGC.
    int defaultTitleSet() const { return defaultTitleSet_; }
    // The disc's titles, from its VIDEO_TS.IFO; none for an IFO file or a
    // disc whose VIDEO_TS.IFO does not read. Titles whose title set is not
    // there are left out.
    const std::vector<TitleSummary>& titles() const { return titles_; }
    const TitleSummary* title(int number) const;
    // The title that starts in the default title set's longest program
    // chain (the first of them); 0 when none does.
    int defaultTitle() const;
    // A Blu-ray source (a disc or a playlist file): its playlists in
    // ascending number, the rest empty. A DVD source has none.
    bool isBluray() const { return !playlists_.empty(); }
    const std::vector<PlaylistSummary>& playlists() const { return playlists_; }
    const PlaylistSummary* playlist(int number) const;
    const Playlist* parsedPlaylist(int number) const;
    // The longest playlist, the lowest number of equal ones; -1 for a DVD.
    int defaultPlaylist() const { return defaultPlaylist_; }
    // The playlists a listing shows: all of them, or (unless `all`) the
    // default and those that neither repeat another nor last under 10 s.
    std::vector<const PlaylistSummary*> listedPlaylists(bool all = false) const;
    // Title sets named on the disc or playlists that are missing or cannot
    // be read, one message each; they are left out of titleSets() and
    // playlists().
    const std::vector<std::string>& problems() const { return problems_; }
    // The files read: the IFO file, the image or drive, or a folder's files.
    const std::vector<std::string>& inputs() const { return inputs_; }

private:
    static Source Read(const std::string& path, SourceKind kind);
    static Source ReadIfoFile(const std::string& path);
    static Source ReadPlaylistFile(const std::string& path);
    void add(int number, TitleSet set, std::string ifoName);
    void addPlaylist(int number, Playlist playlist);
    void addPlaylists(const std::map<int, std::variant<std::string, Error>>& files);

    std::string path_;
    SourceKind kind_ = SourceKind::IfoFile;
    void addTitles(const std::string& videoManager);

    std::vector<TitleSetSummary> titleSets_;
    std::vector<TitleSummary> titles_;
    std::map<int, TitleSet> parsed_;
    int defaultTitleSet_ = 0;
    std::vector<PlaylistSummary> playlists_;
    std::map<int, Playlist> parsedPlaylists_;
    std::set<std::string> playItemKeys_;  // what the playlists so far play
    int defaultPlaylist_ = -1;
    std::vector<std::string> problems_;
    std::vector<std::string> inputs_;
};

}  // namespace pelvano
