#include "chapters/source.h"

#include <algorithm>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"
#include "chapters/playlist_loader.h"
#include "chapters/title_loader.h"
#include "disc/disc_files.h"
#include "disc/paths.h"
#include "ifo/ifo_precheck.h"
#include "ifo/title_table.h"
#include "mpls/playlist_timeline.h"

namespace pelvano {

namespace {

TitleSetSummary Summarize(const TitleSet& set, int number)
{
    TitleSetSummary summary;
    summary.number = number;
    summary.ifoName = IfoName(number);
    const uint32_t rate = DefaultFrameRate(set);
    summary.tvSystem = rate == 25000 ? "PAL" : "NTSC";
    summary.frameRate = std::to_string(rate);
    for (size_t p = 0; p < set.pgcs.size(); ++p) {
        PgcSummary pgc;
        pgc.number = static_cast<int>(p) + 1;
        pgc.cells = static_cast<uint32_t>(set.pgcs[p].cells.size());
        pgc.lengthMs = TimeToMs(set.pgcs[p].time, rate);
        pgc.chapters = DefaultChapterCount(set.pgcs[p], rate);
        summary.pgcs.push_back(pgc);
    }
    if (!summary.pgcs.empty()) {
        summary.longestPgc = FindLongestPgc(set);
        summary.longestKey = PgcLengthKey(set.pgcs[static_cast<size_t>(summary.longestPgc)].time);
    }
    return summary;
}

// The title sets VIDEO_TS.IFO says the disc has (1..99); nothing when it
// is not a menu file or names none.
std::optional<int> NamedTitleSets(const std::optional<std::string>& videoManager)
{
    if (!videoManager || videoManager->size() < 0x40 || videoManager->compare(0, 12, "DVDVIDEO-VMG") != 0)
        return std::nullopt;
    const int count =
        static_cast<uint8_t>((*videoManager)[0x3E]) << 8 | static_cast<uint8_t>((*videoManager)[0x3F]);
    return count >= 1 && count <= 99 ? std::optional<int>(count) : std::nullopt;
}

// What a playlist plays: its play items' clips, angles included, and their
// in- and out-times. Two playlists with the same key play the same.
std::string PlayItemsKey(const Playlist& playlist)
{
    std::string key;
    for (const PlayItem& item : playlist.items) {
        key += Format("%u-%u", item.inTime, item.outTime);
        for (const PlaylistClip& clip : item.angles)
            key += ":" + clip.name;
        key += ' ';
    }
    return key;
}

}  // namespace

void Source::addPlaylist(int number, Playlist playlist)
{
    PlaylistSummary summary;
    summary.number = number;
    summary.lengthMs = PlaylistTicksToMs(PlaylistLength(playlist));
    summary.chapters = DefaultPlaylistChapterCount(playlist);
    summary.items = static_cast<uint32_t>(playlist.items.size());
    for (const PlayItem& item : playlist.items)
        summary.angles = std::max(summary.angles, static_cast<uint32_t>(item.angles.size()));
    if (const std::optional<PlaylistFrameRate> rate = PlaylistVideoRate(playlist))
        summary.frameRate = rate->text;
    // A set, not a comparison with each other one: a hostile disc may hold
    // tens of thousands of playlists.
    summary.repeat = !playItemKeys_.insert(PlayItemsKey(playlist)).second;
    if (defaultPlaylist_ < 0 || PlaylistLength(playlist) > PlaylistLength(*parsedPlaylist(defaultPlaylist_)))
        defaultPlaylist_ = number;
    playlists_.push_back(summary);
    parsedPlaylists_.insert_or_assign(number, std::move(playlist));
}

// Playlists in ascending number; one that cannot be read or parsed is a
// problem of its own, not the disc's.
void Source::addPlaylists(const std::map<int, std::variant<std::string, Error>>& files)
{
    for (const auto& [number, file] : files) {
        if (const Error* error = std::get_if<Error>(&file)) {
            problems_.push_back(error->what());
            continue;
        }
        try {
            addPlaylist(number, ParsePlaylist(std::get<std::string>(file)));
        } catch (const Error& e) {
            problems_.push_back(Format("%s: %05d.mpls cannot be read: %s", path_.c_str(), number, e.what()));
        }
    }
    if (!playlists_.empty())
        return;
    if (files.empty())
        throw Error(path_, "no Blu-ray playlist in its BDMV/PLAYLIST folder");
    if (problems_.size() == 1)
        throw Error(problems_.front());
    throw Error(
        path_, Format("none of its %zu playlists can be read (%s)", files.size(), problems_.front().c_str()));
}

Source Source::ReadPlaylistFile(const std::string& path)
{
    const int named = PlaylistOfName(BaseName(path));
    Playlist playlist;
    try {
        const std::string bytes = ReadRegularFile(path, kMaxPlaylistSize + 1);
        if (bytes.size() > kMaxPlaylistSize)
            throw Error(Format("the file is larger than a playlist can be (%zu bytes)", kMaxPlaylistSize));
        playlist = ParsePlaylist(bytes);
    } catch (const Error& e) {
        throw Error(path, "not a readable playlist: " + e.reason());
    }
    Source source;
    source.path_ = path;
    source.kind_ = SourceKind::PlaylistFile;
    source.inputs_ = {path};
    source.addPlaylist(named >= 0 ? named : 1, std::move(playlist));
    return source;
}

void Source::add(int number, TitleSet set, std::string ifoName)
{
    TitleSetSummary summary = Summarize(set, number);
    summary.ifoName = std::move(ifoName);
    titleSets_.push_back(std::move(summary));
    parsed_.insert_or_assign(number, std::move(set));
}

Source Source::ReadIfoFile(const std::string& path)
{
    const std::string name = BaseName(path);
    const int number = TitleSetOfName(name);
    if (number == 0)
        throw Error(path, "This is the disc's menu file, which holds no titles: open one of the "
                          "VTS_nn_0.IFO files beside it.");
    TitleSet set;
    try {
        set = ParseTitleSet(ReadRegularFile(path, kMaxIfoSize + 1));
    } catch (const Error& e) {
        throw Error(path, e.reason());
    }
    Source source;
    source.path_ = path;
    source.kind_ = SourceKind::IfoFile;
    source.inputs_ = {path};
    source.add(number > 0 ? number : 1, std::move(set), name);
    source.defaultTitleSet_ = source.titleSets_.front().number;
    return source;
}

Source Source::Read(const std::string& path, SourceKind kind)
{
    // A disc's menu file or index stands for its disc, as a folder or dialog
    // that shows files only can name it.
    if ((kind == SourceKind::IfoFile && TitleSetOfName(BaseName(path)) == 0) ||
        (kind == SourceKind::Image && SameNameNoCase(BaseName(path), "index.bdmv"))) {
        Source disc = Read(FolderOf(path), SourceKind::Folder);
        disc.path_ = path;
        return disc;
    }
    if (kind == SourceKind::PlaylistFile)
        return ReadPlaylistFile(path);
    if (kind == SourceKind::IfoFile) {
        try {
            return ReadIfoFile(path);
        } catch (const Error& e) {
            throw Error(path, "not a readable title set: " + e.reason());
        }
    }

    Source source;
    source.path_ = path;
    source.kind_ = kind;
    std::variant<DvdFiles, BlurayFiles> disc = ReadDiscFiles(path, kMaxIfoSize + 1, kMaxPlaylistSize);
    if (BlurayFiles* bluray = std::get_if<BlurayFiles>(&disc)) {
        source.inputs_ = std::move(bluray->inputs);
        source.addPlaylists(bluray->playlists);
        return source;
    }
    DvdFiles& files = std::get<DvdFiles>(disc);
    source.inputs_ = std::move(files.inputs);

    std::vector<int> numbers;
    if (const std::optional<int> named = NamedTitleSets(files.videoManager)) {
        for (int n = 1; n <= *named; ++n)
            numbers.push_back(n);
    } else {
        for (const auto& entry : files.titleSets)
            numbers.push_back(entry.first);
    }
    int32_t bestKey = -1;
    for (const int n : numbers) {
        const auto file = files.titleSets.find(n);
        if (file == files.titleSets.end()) {
            source.problems_.push_back(Format("%s: %s is not there", path.c_str(), IfoName(n).c_str()));
            continue;
        }
        if (const Error* error = std::get_if<Error>(&file->second)) {
            source.problems_.push_back(error->what());
            continue;
        }
        try {
            source.add(n, ParseTitleSet(std::get<std::string>(file->second)), IfoName(n));
        } catch (const Error& e) {
            source.problems_.push_back(
                Format("%s: %s cannot be read: %s", path.c_str(), IfoName(n).c_str(), e.what()));
            continue;
        }
        const TitleSetSummary& summary = source.titleSets_.back();
        if (!summary.pgcs.empty() && summary.longestKey > bestKey) {
            bestKey = summary.longestKey;
            source.defaultTitleSet_ = n;
        }
    }
    if (source.titleSets_.empty()) {
        if (numbers.empty())
            throw Error(path, "no DVD-Video title set found (not a DVD, or a truncated image)");
        if (source.problems_.size() == 1)
            throw Error(source.problems_.front());
        throw Error(path, Format("none of the %zu title sets named on the disc can be read (%s)",
                                 numbers.size(), source.problems_.front().c_str()));
    }
    if (source.defaultTitleSet_ == 0)
        source.defaultTitleSet_ = source.titleSets_.front().number;
    if (files.videoManager)
        source.addTitles(*files.videoManager);
    return source;
}

void Source::addTitles(const std::string& videoManager)
{
    std::vector<DiscTitle> table;
    try {
        table = ParseTitleTable(videoManager);
    } catch (const Error&) {
        return;  // a disc without a title table still lists its title sets
    }
    for (const DiscTitle& entry : table) {
        const TitleSet* set = parsed(entry.titleSet);
        if (!set || entry.titleInSet < 1 || static_cast<size_t>(entry.titleInSet) > set->titleParts.size())
            continue;
        const std::vector<PartOfTitle>& parts = set->titleParts[static_cast<size_t>(entry.titleInSet - 1)];
        if (parts.empty() || parts.front().pgc < 1 || parts.front().pgc > set->pgcs.size())
            continue;
        TitleSummary title;
        title.number = entry.number;
        title.titleSet = entry.titleSet;
        title.pgc = parts.front().pgc;
        title.lengthMs = titleSet(entry.titleSet)->pgcs[static_cast<size_t>(title.pgc - 1)].lengthMs;
        title.chapters = entry.parts;
        title.angles = entry.angles;
        title.severalPgcs = std::any_of(parts.begin(), parts.end(), [&](const PartOfTitle& part) {
            return part.pgc != parts.front().pgc;
        });
        titles_.push_back(title);
    }
}

const TitleSummary* Source::title(int number) const
{
    for (const TitleSummary& t : titles_) {
        if (t.number == number)
            return &t;
    }
    return nullptr;
}

int Source::defaultTitle() const
{
    const TitleSetSummary* set = titleSet(defaultTitleSet_);
    for (const TitleSummary& t : titles_) {
        if (set && t.titleSet == set->number && t.pgc == set->longestPgc + 1)
            return t.number;
    }
    return 0;
}

namespace {

// A path looked up in `folder` names a file there; what is shown of it
// names it as given.
class TypedPath {
public:
    TypedPath(const std::string& path, const std::string& folder)
        : typed_(path),
          where_(PathInFolder(path, folder))
    {
    }
    const std::string& where() const { return where_; }
    std::string shown(const std::string& message) const
    {
        return message.compare(0, where_.size(), where_) == 0 ? typed_ + message.substr(where_.size())
                                                              : message;
    }
    Error shown(const Error& e) const
    {
        const std::string message = shown(std::string(e.what()));
        return message == typed_ + ": " + e.reason() ? Error(typed_, e.reason()) : Error(message);
    }
    void show(std::string& path, std::vector<std::string>& problems) const
    {
        path = typed_;
        for (std::string& problem : problems)
            problem = shown(problem);
    }

private:
    std::string typed_, where_;
};

}  // namespace

Source Source::Open(const std::string& path, const std::string& folder)
{
    const TypedPath typed(path, folder);
    try {
        Source source = Read(typed.where(), KindOf(typed.where()));
        typed.show(source.path_, source.problems_);
        return source;
    } catch (const Error& e) {
        throw typed.shown(e);
    }
}

Source Source::OpenIfoFile(const std::string& path, const std::string& folder)
{
    const TypedPath typed(path, folder);
    try {
        Source source = ReadIfoFile(typed.where());
        typed.show(source.path_, source.problems_);
        return source;
    } catch (const Error& e) {
        throw typed.shown(e);
    }
}

const PlaylistSummary* Source::playlist(int number) const
{
    for (const PlaylistSummary& p : playlists_) {
        if (p.number == number)
            return &p;
    }
    return nullptr;
}

std::vector<const PlaylistSummary*> Source::listedPlaylists(bool all) const
{
    std::vector<const PlaylistSummary*> listed;
    for (const PlaylistSummary& p : playlists_)
        if (all || p.number == defaultPlaylist_ || (!p.repeat && p.lengthMs >= kShortPlaylistMs))
            listed.push_back(&p);
    return listed;
}

const Playlist* Source::parsedPlaylist(int number) const
{
    const auto it = parsedPlaylists_.find(number);
    return it == parsedPlaylists_.end() ? nullptr : &it->second;
}

const TitleSetSummary* Source::titleSet(int number) const
{
    for (const TitleSetSummary& t : titleSets_) {
        if (t.number == number)
            return &t;
    }
    return nullptr;
}

const TitleSet* Source::parsed(int number) const
{
    const auto it = parsed_.find(number);
    return it == parsed_.end() ? nullptr : &it->second;
}

}  // namespace pelvano
