#!/usr/bin/env bash
# The installed program, as an ordinary user would meet it:
#   tests/install/install_test.sh BUILD_DIR
# installs BUILD_DIR into a temporary prefix, runs the installed program as an
# unprivileged user and compares its output with a portable copy of the build,
# checks that the prefix is left as installed, validates the desktop entry and
# the AppStream metadata, and builds the Debian package and checks its contents.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:?usage: $0 BUILD_DIR}")
source_tree=$PWD
ifo=$source_tree/examples/VTS_01_0.IFO

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

work=$(mktemp -d /tmp/pelvano-install.XXXXXX)
chmod 755 "$work"
created_user=
cleanup() {
    rm -rf "$work"
    [ -z "$created_user" ] || userdel "$created_user" 2>/dev/null || true
}
trap cleanup EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# --- Layout ----------------------------------------------------------------------
[ "$(readlink "$prefix/bin/pelvano")" = ../lib/pelvano/pelvano ] && [ -x "$prefix/bin/pelvano" ] \
    && pass "bin/pelvano links to the private folder" || fail "bin/pelvano is not a link to ../lib/pelvano/pelvano"
# Every module the build puts beside the executable goes with it.
modules=$(cd "$build" && ls libpelvano_*.so)
for f in $(printf 'lib/pelvano/%s ' $modules) share/pelvano/pelvano.INI share/pelvano/Readme.txt \
         share/doc/pelvano/Readme.txt share/doc/pelvano/copyright share/applications/pelvano.desktop \
         share/icons/hicolor/scalable/apps/pelvano.svg share/icons/hicolor/48x48/apps/pelvano.png \
         share/man/man1/pelvano.1 share/bash-completion/completions/pelvano; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -e "$prefix/lib/pelvano/pelvano.INI" ] && fail "a presets file beside the installed executable"

desktop-file-validate "$prefix/share/applications/pelvano.desktop" \
    && pass "desktop entry valid" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.metainfo.xml >/dev/null \
    && pass "AppStream metadata valid" || fail "appstreamcli validate"

# --- Runs as an unprivileged user --------------------------------------------------
# The prefix belongs to root as a system folder would; the user gets a fresh home.
user=$(id -un)
as_user() { env -i HOME="$home" PATH=/usr/bin:/bin "$@"; }
if [ "$(id -u)" = 0 ]; then
    user=pelvano-install-test
    if ! id "$user" >/dev/null 2>&1; then
        if useradd --system --no-create-home --shell /usr/sbin/nologin "$user"; then
            created_user=$user
        else
            echo "SKIP: cannot create an unprivileged user (useradd failed); the runs as a user are not tested"
            user=
        fi
    fi
    as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin "$@"; }
fi

listing() { (cd "$prefix" && find . -printf '%p %y %m %l\n' | sort && find . -type f -print0 | sort -z | xargs -0 sha256sum); }

if [ -n "$user" ]; then
    home=$work/home
    portable=$work/portable
    mkdir -p "$home" "$portable"
    # The build's executable with the shipped presets beside it, in a folder the
    # user may write: the portable layout, as in the build folder.
    cp "$build/pelvano" "$build"/libpelvano_*.so "$source_tree/resources/pelvano.INI" "$portable/"
    chown -R "$user" "$home" "$portable"
    before=$(listing)

    : >"$work/err"
    for selector in -p1 -p7 -p0; do
        as_user "$portable/pelvano" "$ifo" "$home/portable$selector.txt" "$selector" 2>>"$work/err" \
            || fail "portable run $selector: exit code $?"
        as_user "$prefix/bin/pelvano" "$ifo" "$home/installed$selector.txt" "$selector" 2>>"$work/err" \
            || fail "installed run $selector: exit code $?"
        if [ -s "$home/installed$selector.txt" ] && cmp -s "$home/portable$selector.txt" "$home/installed$selector.txt"; then
            pass "batch $selector: the installed program writes what the build writes"
        else
            fail "batch $selector: output differs from the build's"
        fi
    done
    if [ -s "$work/err" ]; then
        fail "messages on standard error:"; cat "$work/err"
    fi

    ini=$home/.config/pelvano/pelvano.INI
    if [ -f "$ini" ] && grep -q '^Preset1=Matroska / OGM chapters' "$ini" && grep -q '^LastDir=/' "$ini"; then
        pass "~/.config/pelvano/pelvano.INI created from the shipped presets, with LastDir"
    else
        fail "~/.config/pelvano/pelvano.INI missing or not started from the shipped presets"
    fi
    grep -q "^LastDir=$portable" "$portable/pelvano.INI" \
        && pass "portable copy keeps its presets beside the executable" || fail "portable presets file not written"

    # The GNU-style command line, as a user who never ran the program: the
    # presets come from the shipped defaults, and none are written.
    home=$work/home-cli
    mkdir -p "$home" && chown "$user" "$home"
    as_user "$prefix/bin/pelvano" --preset=1 --output="$home/new-form.txt" "$ifo" 2>"$work/err" \
        || fail "command-line run: exit code $?"
    [ -s "$work/err" ] && { fail "command-line run wrote to standard error:"; cat "$work/err"; }
    cmp -s "$work/home/portable-p1.txt" "$home/new-form.txt" \
        && pass "command line: the installed program writes what the build writes" \
        || fail "command line: output differs from the build's"
    # Key frames come through the video module beside the real executable.
    avi=$source_tree/tests/fixtures/avi/kf23976.avi
    as_user "$portable/pelvano" --keyframes="$avi" --preset=3 --output="$home/kf-portable.txt" "$ifo" \
        2>>"$work/err" || fail "portable --keyframes run: exit code $?"
    as_user "$prefix/bin/pelvano" --keyframes="$avi" --preset=3 --output="$home/kf-installed.txt" "$ifo" \
        2>>"$work/err" || fail "installed --keyframes run: exit code $?"
    [ -s "$work/err" ] && { fail "--keyframes runs wrote to standard error:"; cat "$work/err"; }
    [ -s "$home/kf-installed.txt" ] && cmp -s "$home/kf-portable.txt" "$home/kf-installed.txt" \
        && pass "command line with key frames: the installed program loads its video module" \
        || fail "command line with key frames: output differs from the build's"
    [ -e "$home/.config/pelvano" ] && fail "the command line wrote a presets file"
    home=$work/home

    [ "$before" = "$(listing)" ] && pass "prefix unchanged by the runs" || fail "the runs changed the prefix"
fi

# --- Debian package ----------------------------------------------------------------
if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$build" && cpack -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
    deb=$(ls "$work"/package/*.deb)
    contents=$(dpkg-deb -c "$deb")
    grep -q '\./usr/bin/pelvano -> \.\./lib/pelvano/pelvano$' <<<"$contents" || fail ".deb: no usr/bin/pelvano link"
    grep -q '\./usr/lib/pelvano/pelvano$' <<<"$contents" || fail ".deb: no executable"
    for module in $modules; do
        grep -q "\./usr/lib/pelvano/$module\$" <<<"$contents" || fail ".deb: no $module"
    done
    for f in share/pelvano/pelvano.INI share/applications/pelvano.desktop share/man/man1/pelvano.1; do
        grep -q "\./usr/$f\$" <<<"$contents" || fail ".deb: no $f"
    done
    grep -Eq '(_test|_tests|_bench|fuzz)' <<<"$contents" && fail ".deb ships test, benchmark or fuzz files"
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libudfread0 libqt6widgets6 libqt6gui6 libqt6core6; do
        grep -q "$lib" <<<"$depends" || fail ".deb Depends lacks $lib: $depends"
    done
    grep -q libdvdread <<<"$depends" && fail ".deb depends on libdvdread: $depends"
    version=$(sed -n 's/^project(Pelvano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail ".deb version is not $version"
    pass "Debian package $(basename "$deb"): contents and Depends"
else
    echo "SKIP: dpkg-dev is not installed; the Debian package is not built"
fi

if [ "$failures" -gt 0 ]; then
    echo "install test: $failures failure(s)"
    exit 1
fi
echo "install test: passed"
