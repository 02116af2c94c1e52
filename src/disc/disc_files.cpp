#include "disc/disc_files.h"

#include "disc/disc_volume.h"
#include "disc/paths.h"

namespace pelvano {

std::variant<DvdFiles, BlurayFiles> ReadDiscFiles(const std::string& path, size_t ifoLimit,
                                                  size_t playlistLimit)
{
    DiscVolume disc = OpenDiscVolume(path);
    if (const std::optional<std::string> dir =
            PlaylistFolder(*disc.volume, disc.folder ? BaseName(path) : ""))
        return ReadBlurayFiles(*disc.volume, *dir, path, playlistLimit);
    return ReadDvdFiles(*disc.volume, path, disc.folder, ifoLimit);
}

}  // namespace pelvano
