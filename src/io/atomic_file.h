#pragma once

#include <string>

namespace pelvano {

enum class ReplaceOutcome {
    Replaced,      // the new bytes are in place
    CannotCreate,  // nothing was written: the old file (if any) is as it was
    WriteFailed,   // writing failed part way: the old file (if any) is as it was
};

struct ReplaceOptions {
    bool sync = true;              // fsync the data and the folder
    bool refuseNoWriteBit = true;  // a file with no write bit at all stops root too
};

// Replaces the regular file `path` (or creates it) with `bytes` through a
// temporary file in the same folder and a rename, so that a failure never
// leaves a mix of old and new bytes. Keeps the permission bits (and, where
// allowed, the owner) of the file it replaces and follows a symbolic link to
// its target. An existing file the user may not write is refused. On
// failure the temporary file is removed.
ReplaceOutcome ReplaceFile(const std::string& path, const std::string& bytes,
                           const ReplaceOptions& options = {});

// ReplaceFile with every failure thrown as Error(failureMessage).
void ReplaceFileAtomically(const std::string& path, const std::string& bytes,
                           const std::string& failureMessage);

}  // namespace pelvano
