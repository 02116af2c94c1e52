#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"

namespace pelvano::cli {

// The option form of the command line (see help_text.h): runs it and returns
// the exit code, 0 written, 1 failed, 2 usage error. Relative paths are taken
// from the working directory as it is; the presets file is read, never
// written.
int RunCommandLine(const Application& app, const std::vector<std::string>& args, std::FILE* out,
                   std::FILE* err);

}  // namespace pelvano::cli
