#pragma once

#include <cstdio>
#include <string>

namespace pelvano {

class Application;

// The number of a "-p%d" selector read the scanf way ("-p+2" is 2, "-p 3"
// is 3, "-p7x" is 7); 0 when the text does not match.
int ParsePresetSelector(const std::string& selector);

// Batch mode: writes the chapter list of preset n or the raw report to
// `outPath` and returns the exit code. Messages go to `err`.
int RunBatch(const Application& app, const std::string& ifoPath, const std::string& outPath,
             const std::string& selector, std::FILE* err);

}  // namespace pelvano
