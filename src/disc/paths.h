#pragma once

#include <string>

namespace pelvano {

// The last component of a path, trailing slashes ignored ("a/VIDEO_TS/" ->
// "VIDEO_TS").
std::string BaseName(std::string path);

// The folder a path's last component lies in: "a/b" for "a/b/c", "/" for
// "/c", "." for a bare name.
std::string FolderOf(const std::string& path);

// Whether two names are equal but for the case of ASCII letters, as disc
// file systems and libdvdread compare them.
bool SameNameNoCase(const std::string& a, const std::string& b);

// "VIDEO_TS.IFO" for 0, "VTS_nn_0.IFO" for title set nn; `extension` "BUP"
// names the backup copy.
std::string IfoName(int titleSet, const char* extension = "IFO");

// The title set a navigation file's name stands for: nn for VTS_nn_0.IFO or
// VTS_nn_0.BUP (any case, nn 01..99), 0 for VIDEO_TS.IFO/.BUP, -1 for any
// other name.
int TitleSetOfName(const std::string& name);

// `path` as looked up in `folder` (with or without a trailing slash): as it
// is when absolute or when no folder is given.
std::string PathInFolder(const std::string& path, const std::string& folder);

}  // namespace pelvano
