// Writes a BDMV folder with the test suite's playlist writer: the film of
// the tests ("film"), or COUNT playlists as a disc's list of them looks:
// films and extras of one to four play items, every frame rate, multi-angle
// items, a repeat now and then and short clips.
//
//   make_bluray DIR film|COUNT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/format.h"
#include "mpls_writer.h"

using pelvano::test::MplsSpec;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DIR film|COUNT\n", argv[0]);
        return 2;
    }
    if (std::string(argv[2]) == "film") {
        pelvano::test::WriteBdmv(argv[1], pelvano::test::Film());
        return 0;
    }
    constexpr uint32_t S = 45000;
    constexpr uint8_t kRates[] = {1, 2, 3, 4, 6, 7};
    std::vector<MplsSpec> playlists;
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i) {
        if (i % 7 == 6) {  // the same items again, as discs keep them for each language
            playlists.push_back(playlists.back());
            continue;
        }
        MplsSpec spec;
        const uint32_t length = i % 5 == 4 ? 8 * S : (60 + 37 * i) * S;  // some under 10 s
        const int items = 1 + i % 4;
        for (int k = 0; k < items; ++k) {
            pelvano::test::MplsItem item{
                pelvano::Format("%05d", 10 * i + k), 600 * S, 600 * S + length / items, {}};
            item.rate = kRates[i % 6];
            if (i % 3 == 2 && k == 0)
                item.angles = {pelvano::Format("%05d", 10 * i + 9)};
            spec.items.push_back(item);
            for (uint32_t at = 0; at < length / items; at += 300 * S)
                spec.marks.push_back({static_cast<uint16_t>(k), item.in + at});
        }
        playlists.push_back(spec);
    }
    pelvano::test::WriteBdmv(argv[1], playlists);
    return 0;
}
