#pragma once

// The text of --help. resources/pelvano.1 and resources/bash-completion/pelvano
// say the same; a test keeps their option lists equal.
namespace pelvano::cli {

inline constexpr const char* kHelpText = R"(Usage: pelvano [OPTION]... SOURCE
Write the chapter list, the raw report or a listing of a DVD title or a Blu-ray
playlist to standard output or to a file.

SOURCE is a title-set IFO file (VTS_nn_0.IFO or .BUP), a VIDEO_TS folder or the
folder above it, a Blu-ray playlist file (nnnnn.mpls), a BDMV folder or the
folder above it, an ISO image, or a DVD or Blu-ray drive (/dev/sr0). Relative
paths are taken from the current folder.

  -l, --list              list the disc's titles, then the title sets and their
                          program chains (a Blu-ray: its playlists, with their
                          length, chapters, play items, angles and rate), and
                          write nothing else; the defaults are marked with '*'.
                          Takes no option but --json, --all and --output
      --json              with --list: the listing as one JSON object
                          (frame_rate in thousandths as text, fps a number)
      --all               with --list: also the playlists that repeat another's
                          play items and those under 10 s
  -p, --preset=N          chapter list through preset N, 1..10 (default 1);
                          the presets file must hold its FormatN key (a
                          missing HeaderN or FooterN is empty)
      --format=TEXT       chapter list through this format line instead of a
                          preset ("\n" is a line break)
      --header=TEXT       header for --format (default empty)
      --footer=TEXT       footer for --format, written after the last chapter
                          (default empty)
      --names=FILE        chapter names for %n and %nx: a UTF-8 text of one name
                          per line in chapter order (an empty line keeps the
                          template's name), or a chapter file as preset 1
                          writes it; names past the last chapter are ignored
                          with a warning
      --name-template=TEXT  the name of a chapter without one of its own, a
                          format line itself (default: NameTemplate of the
                          presets file, else "Chapter %C")
  -r, --report            the raw report as plain text instead of the chapter list
  -t, --title=N           disc title N, numbered as lsdvd, dvdxchap and
                          HandBrake number them: its title set and the program
                          chain its first chapter is in (not with -s or -c)
  -s, --title-set=N       title set N (default: the one holding the longest
                          program chain)
  -c, --pgc=N             program chain N, numbered from 1 as the window's Title
                          list shows it (default: the longest)
      --playlist=N        Blu-ray playlist N (nnnnn.mpls; default: the longest,
                          the lowest number of equal ones); not with -t, -s
                          or -c
      --fps=RATE          frame rate in frames per second: 25, 29.97,
                          30000/1001 ...; a whole number from 1000 up is in
                          thousandths, as in the window: 25000, 29970 ...
                          (default: the title's, or the --keyframes file's)
      --frame-offset=N    frames added to the frame numbers (%f, %ef) of every
                          chapter (default 0)
      --ms-offset=N       milliseconds added to the times (%hh %mm %ss %cc %ff
                          %ms %t and their %e forms) of every chapter
                          (default 0)
      --chapter-cells=LIST  cells that start chapters, numbered from 1
                          ("1,4,7-9"), instead of the program map
      --skip-cells=LIST   cells left out of the timestamps, besides the other
                          angles of angle blocks
      --keep-short-last   keep a last chapter shorter than 5 s
      --exact-ntsc        NTSC times from the frame counts at 30000/1001 frames
                          a second instead of nominal seconds (PAL titles are
                          not changed); the window's stored setting does not
                          apply here
      --keyframes=FILE    snap frame numbers to the key frames of this video file
                          (AVI, Matroska .mkv/.webm, MP4/MOV .mp4/.m4v/.mov)
  -o, --output=FILE       write to FILE, replacing it as a whole; "-" or no -o:
                          standard output
      --presets=FILE      read the presets from FILE instead of pelvano.INI
                          beside the program; neither is ever written
  -h, --help              show this help and exit
  -V, --version           show the version and exit

Short options take their value attached or as the next argument (-p2, -p 2),
long ones after '=' or as the next argument (--preset=2, --preset 2); a long
option may be shortened to any prefix that names it alone.
--report, --preset and --format exclude each other, and --report takes no
--names or --name-template.

Which form runs: this one when the first argument begins with '-', any
argument begins with '--', or any argument but the third of exactly three
begins with '-' (pelvano VTS_01_0.IFO -p 2). Otherwise the positional forms:
  pelvano                 the window
  pelvano SOURCE [...]    the window with SOURCE loaded (one, two, four or
                          more arguments, none beginning with '-'); without a
                          display: exit status 1
  pelvano IFO OUT -pN     writes preset N's chapter list to OUT (any other third
                          argument: the raw report); relative paths are taken
                          from the program's folder, and the presets file is
                          written back
The --chapter-cells and --skip-cells numbers must exist in the program chain.

Exit status: 0 written; 1 the source, title set, program chain, a cell or the
presets file cannot be found or read, or the output cannot be written (an
existing output file is then left as it was); 2 a usage error.
)";

}  // namespace pelvano::cli
