#pragma once

#include <array>
#include <optional>
#include <string>

#include "output/format_engine.h"

namespace pelvano {

class ProfileFile;

struct Preset {
    std::string name;
    std::string format;  // a line break is the two characters "\n"
    std::string header;
    std::string footer = {};  // written after the last chapter; "" when the file has none
};

constexpr int kPresetCount = 10;

struct PresetStore {
    std::array<Preset, kPresetCount> presets;  // index i is preset number i + 1
    std::string lastDir;
    bool exactNtsc = false;                                        // [Options] ExactNTSC
    std::string nameTemplate = std::string(kDefaultNameTemplate);  // [Options] NameTemplate
};

// The executable's path with its extension replaced by ".INI". The extension
// is the text from the last "." of the file name; a name without one gets
// ".INI" appended.
std::string PresetsFilePath(const std::string& executablePath);

// Never fails: a missing or unreadable file, section or key takes its
// default (the key name, e.g. "Format3"; "" for LastDir). Changing to
// lastDir is the caller's business.
PresetStore LoadPresets(const std::string& iniPath);

// Preset `number` as the command line takes it from `file`: nothing when
// the file has no FormatN key; a missing HeaderN or FooterN is empty.
std::optional<Preset> DefinedPreset(const ProfileFile& file, int number);

// The file's NameTemplate, kDefaultNameTemplate when it has none.
std::string NameTemplateOf(const ProfileFile& file);

// Writes the thirty preset keys (Preset1, Format1, Header1, ... Header10)
// and LastDir := lastDir into the file as it stands, in one replacement of
// the whole file; other lines stay. FooterN follows HeaderN, ExactNTSC and
// NameTemplate follow LastDir only where they have something to say (a footer
// that is not empty, the option on, a template that is not the default) or
// are in the file already, so a file that never used them keeps its bytes. Throws Error("Unable to write to
// %s") with iniPath, and then leaves the file untouched.
void SavePresets(const std::string& iniPath, const PresetStore& store, const std::string& lastDir);

}  // namespace pelvano
