// Lists every title set of a disc source and loads the default one (or
// every playlist of a Blu-ray and its default), through the same core calls
// as the window: the work "list the disc" costs. Timed against lsdvd by
// disc_bench.sh, against libbluray by bluray_bench.sh.
#include <cstdio>

#include "base/error.h"
#include "chapters/playlist_loader.h"
#include "chapters/source.h"
#include "chapters/title_loader.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOURCE\n", argv[0]);
        return 2;
    }
    try {
        const pelvano::Source source = pelvano::Source::Open(argv[1]);
        if (source.isBluray()) {
            const pelvano::LoadResult load =
                pelvano::LoadPlaylist(source, source.defaultPlaylist(), pelvano::LoadRequest());
            std::printf("%zu playlists, %05d, %s chapters\n", source.playlists().size(),
                        source.defaultPlaylist(), load.chapterTotal.c_str());
            return load.model ? 0 : 1;
        }
        const pelvano::LoadResult load =
            pelvano::LoadTitle(source, source.defaultTitleSet(), pelvano::LoadRequest());
        size_t pgcs = 0;
        for (const pelvano::TitleSetSummary& set : source.titleSets())
            pgcs += set.pgcs.size();
        std::printf("%zu title sets, %zu PGCs; default: title set %d, %s chapters\n",
                    source.titleSets().size(), pgcs, source.defaultTitleSet(), load.chapterTotal.c_str());
        return load.model ? 0 : 1;
    } catch (const pelvano::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
