#include "disc/bluray_files.h"

#include "base/format.h"
#include "disc/paths.h"

namespace pelvano {

namespace {

// The folder of `dir` named `name` (any case).
std::optional<std::string> SubFolder(Volume& volume, const std::string& dir, const char* name)
{
    for (const Volume::Entry& entry : volume.list(dir)) {
        if (entry.folder && SameNameNoCase(entry.name, name))
            return dir + "/" + entry.name;
    }
    return std::nullopt;
}

}  // namespace

int PlaylistOfName(const std::string& name)
{
    if (name.size() != 10 || !SameNameNoCase(name.substr(5), ".mpls"))
        return -1;
    int number = 0;
    for (size_t i = 0; i < 5; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

std::optional<std::string> PlaylistFolder(Volume& volume, const std::string& folderName)
{
    std::optional<std::string> bdmv, playlist;
    bool index = false;
    for (const Volume::Entry& entry : volume.list("")) {
        if (entry.folder && SameNameNoCase(entry.name, "BDMV"))
            bdmv = entry.name;
        else if (entry.folder && SameNameNoCase(entry.name, "PLAYLIST"))
            playlist = entry.name;
        else if (!entry.folder && SameNameNoCase(entry.name, "index.bdmv"))
            index = true;
    }
    if (bdmv)
        return SubFolder(volume, *bdmv, "PLAYLIST");
    // A BDMV folder itself, also when named otherwise ("." or a copy).
    if (playlist && (index || SameNameNoCase(folderName, "BDMV")))
        return playlist;
    return std::nullopt;
}

BlurayFiles ReadBlurayFiles(Volume& volume, const std::string& dir, const std::string& path, size_t limit)
{
    BlurayFiles files;
    for (const Volume::Entry& entry : volume.list(dir)) {
        const int number = PlaylistOfName(entry.name);
        // A name in two cases on a folder: the first listed.
        if (number < 0 || entry.folder || files.playlists.count(number))
            continue;
        try {
            std::string bytes = volume.read(dir + "/" + entry.name, limit + 1);
            if (bytes.size() > limit)
                throw Error(
                    Format("%s is larger than a playlist can be (%zu bytes)", entry.name.c_str(), limit));
            files.playlists.emplace(number, std::move(bytes));
        } catch (const Error& e) {
            files.playlists.emplace(number, Error(path, e.what()));
        }
    }
    files.inputs = volume.inputs();
    return files;
}

}  // namespace pelvano
