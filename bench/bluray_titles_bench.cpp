// What libbluray costs for the work "list a Blu-ray disc and load its main
// playlist": every playlist read (bd_get_titles), then the main title's
// information (bd_get_title_info). Timed against disc_list_bench by
// bluray_bench.sh.
#include <libbluray/bluray.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s BDMV-FOLDER-OR-IMAGE\n", argv[0]);
        return 2;
    }
    BLURAY* bd = bd_open(argv[1], nullptr);
    if (!bd)
        return 1;
    const uint32_t titles = bd_get_titles(bd, TITLES_ALL, 0);
    const int main = bd_get_main_title(bd);
    BLURAY_TITLE_INFO* info = main >= 0 ? bd_get_title_info(bd, static_cast<uint32_t>(main), 0) : nullptr;
    if (info)
        std::printf("%u playlists, %05u, %u chapters\n", titles, info->playlist, info->chapter_count);
    const int status = info ? 0 : 1;
    bd_free_title_info(info);
    bd_close(bd);
    return status;
}
