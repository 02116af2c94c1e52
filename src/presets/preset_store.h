#pragma once

#include <array>
#include <string>

namespace pelvano {

struct Preset {
    std::string name;
    std::string format;
    std::string header;
};

constexpr int kPresetCount = 10;

struct PresetStore {
    std::array<Preset, kPresetCount> presets;
    std::string lastDir;
};

// The executable's path with its extension replaced by ".INI".
std::string PresetsFilePath(const std::string& executablePath);

// Never fails: absent values take their defaults (the key names, "" for LastDir).
PresetStore LoadPresets(const std::string& iniPath);

// Writes the thirty preset keys and LastDir := lastDir; other lines stay.
// Throws Error("Unable to write to %s").
void SavePresets(const std::string& iniPath, const PresetStore& store, const std::string& lastDir);

}  // namespace pelvano
