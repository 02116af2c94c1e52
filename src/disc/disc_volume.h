#pragma once

#include <memory>
#include <string>

#include "disc/volume.h"

namespace pelvano {

// The file system of what the user pointed at: a folder as it is, an image
// file or a drive through UDF.
struct DiscVolume {
    std::unique_ptr<Volume> volume;
    bool folder = false;
};

// Throws Error naming the path when it is no folder, file or drive, or a
// folder that cannot be read.
DiscVolume OpenDiscVolume(const std::string& path);

}  // namespace pelvano
