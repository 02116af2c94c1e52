// libdvdread does two costly things on every open that mean nothing for the
// folder the IFO reader makes for one load: it searches every library folder
// for libdvdcss (CSS keys are for video files; a navigation file is never
// scrambled), and reads the whole mount table to see whether the folder is a
// mounted disc (a folder made by mkdtemp a moment ago never is). Together
// they are a fifth of a command-line run. The executable's own definitions
// of the two C library calls come first for every library, so they answer
// "not there" for exactly those two requests while that folder is opened,
// and pass every other call through unchanged.
#include <dlfcn.h>
#include <paths.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ifo/own_folder.h"

namespace {

bool OwnFolderAsks(const char* asked, const char* name)
{
    return pelvano::detail::gOpeningOwnFolder && asked && std::strcmp(asked, name) == 0;
}

}  // namespace

extern "C" {

void* dlopen(const char* file, int mode)
{
    using Real = void* (*)(const char*, int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "dlopen"));
    if (OwnFolderAsks(file, "libdvdcss.so.2"))
        return nullptr;
    // A tail call: the C library sees the real caller, whose library
    // search path a bare name resolves against.
    return real(file, mode);
}

FILE* fopen(const char* path, const char* mode)
{
    using Real = FILE* (*)(const char*, const char*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "fopen"));
    if (OwnFolderAsks(path, _PATH_MOUNTED)) {
        errno = ENOENT;
        return nullptr;
    }
    return real(path, mode);
}

}  // extern "C"
