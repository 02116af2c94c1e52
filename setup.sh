#!/usr/bin/env bash
# Set-up, build, run and test Pelvano on Debian 12.
#   ./setup.sh run     install what is missing, build, run on the sample title set
#   ./setup.sh test    install what is missing, build, run the whole test suite (plain, installed, ASan/UBSan, fuzz smoke)
#   ./setup.sh lint    check formatting and the core's static analysis (after a build)
#   ./setup.sh bench   install the benchmarks' tools, build, run the benchmarks
#   ./setup.sh package install what is missing, build, make the Debian package (build/pelvano_*.deb)
#   ./setup.sh build [DIR] [cmake options...]
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
    libdvdread-dev libudfread-dev libbluray-dev libavformat-dev libavcodec-dev libavutil-dev
    ffmpeg x264 libx11-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-apps imagemagick librsvg2-bin libxkbcommon-dev
    clang libclang-rt-14-dev clang-format clang-tidy
    genisoimage python3 jq
    ffmpeg mkvtoolnix
    dpkg-dev file desktop-file-utils appstream
)

BENCH_PACKAGES=(hyperfine ogmtools python3 lsdvd dvdauthor)

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

install_deps() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build() {
    local dir=${1:-build}
    shift || true
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# Formatting and the core's static checks (.clang-format, .clang-tidy).
lint() {
    local dir=$1
    echo "== clang-format"
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
    echo "== clang-tidy (the core)"
    git ls-files -z 'src/*.cpp' ':!src/app/gui/*' | xargs -0 -P"$(nproc)" -n4 clang-tidy -p "$dir" --quiet 2>/dev/null
}

run_tests() {
    local dir=$1
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300)
}

case "${1:-}" in
    run)
        install_deps
        build build
        sample="$PWD/examples/VTS_01_0.IFO"
        if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
            exec ./build/pelvano "$sample"
        fi
        echo "No display: the sample's chapter list (preset 1) follows."
        exec ./build/pelvano "$sample" /dev/stdout -p1
        ;;
    test)
        install_deps
        build build
        lint build
        run_tests build
        echo "== The installed program: install, run as a user, Debian package"
        tests/install/install_test.sh build
        echo "== Fuzz targets: a short run of each on its corpus"
        fuzz/run_smoke.sh build-fuzz 30
        echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
        build build-asan -DPELVANO_SANITIZE=ON
        run_tests build-asan
        ;;
    lint)
        install_deps
        build build
        lint build
        ;;
    bench)
        install_deps "${BENCH_PACKAGES[@]}"
        build build
        ./build/bench/keyframes_bench
        bench/batch_bench.sh build/pelvano 30
        bench/start_bench.sh build 15
        ;;
    package)
        install_deps
        build build
        (cd build && cpack)
        ;;
    build)
        install_deps
        shift
        build "$@"
        ;;
    *)
        sed -n '2,8p' "$0"
        exit 2
        ;;
esac
