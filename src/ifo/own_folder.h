#pragma once

namespace pelvano::detail {

// True on this thread while libdvdread opens an image file whose navigation
// files alone are read (they are never scrambled, so no CSS keys are
// wanted). The executable's stand-ins for two C library calls libdvdread
// makes on every open read it (src/app/dvdread_shortcuts.cpp).
inline thread_local bool gOpeningOwnFolder = false;

class OpeningOwnFolder {
public:
    OpeningOwnFolder() { gOpeningOwnFolder = true; }
    ~OpeningOwnFolder() { gOpeningOwnFolder = false; }
    OpeningOwnFolder(const OpeningOwnFolder&) = delete;
    OpeningOwnFolder& operator=(const OpeningOwnFolder&) = delete;
};

}  // namespace pelvano::detail
