#include "presets/preset_store.h"

#include "base/error.h"
#include "base/format.h"
#include "presets/profile_file.h"

namespace pelvano {

namespace {

constexpr const char* kPresetsSection = "Presets";
constexpr const char* kOptionsSection = "Options";
constexpr const char* kLastDirKey = "LastDir";
constexpr const char* kExactNtscKey = "ExactNTSC";
constexpr const char* kNameTemplateKey = "NameTemplate";

bool HasKey(const ProfileFile& file, const std::string& section, const std::string& key)
{
    // No value can hold a line break, so this fallback never comes back from a key.
    const std::string absent = "\n";
    return file.read(section, key, absent) != absent;
}

std::string KeyName(const char* stem, int index)
{
    return stem + std::to_string(index + 1);
}

}  // namespace

std::string PresetsFilePath(const std::string& executablePath)
{
    const size_t slash = executablePath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = executablePath.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return executablePath + ".INI";
    return executablePath.substr(0, dot) + ".INI";
}

PresetStore LoadPresets(const std::string& iniPath)
{
    ProfileFile file;
    try {
        file = ProfileFile::Load(iniPath);
    } catch (const Error&) {
        // Start-up says nothing about the presets file: defaults it is.
    }
    PresetStore store;
    for (int i = 0; i < kPresetCount; ++i) {
        Preset& preset = store.presets[static_cast<size_t>(i)];
        const std::string nameKey = KeyName("Preset", i);
        const std::string formatKey = KeyName("Format", i);
        const std::string headerKey = KeyName("Header", i);
        preset.name = file.read(kPresetsSection, nameKey, nameKey);
        preset.format = file.read(kPresetsSection, formatKey, formatKey);
        preset.header = file.read(kPresetsSection, headerKey, headerKey);
        preset.footer = file.read(kPresetsSection, KeyName("Footer", i), "");
    }
    store.lastDir = file.read(kOptionsSection, kLastDirKey, "");
    store.exactNtsc = file.read(kOptionsSection, kExactNtscKey, "0") == "1";
    store.nameTemplate = NameTemplateOf(file);
    return store;
}

std::optional<Preset> DefinedPreset(const ProfileFile& file, int number)
{
    const int i = number - 1;
    if (!HasKey(file, kPresetsSection, KeyName("Format", i)))
        return std::nullopt;
    Preset preset;
    preset.name = file.read(kPresetsSection, KeyName("Preset", i), KeyName("Preset", i));
    preset.format = file.read(kPresetsSection, KeyName("Format", i), "");
    preset.header = file.read(kPresetsSection, KeyName("Header", i), "");
    preset.footer = file.read(kPresetsSection, KeyName("Footer", i), "");
    return preset;
}

std::string NameTemplateOf(const ProfileFile& file)
{
    return file.read(kOptionsSection, kNameTemplateKey, std::string(kDefaultNameTemplate));
}

void SavePresets(const std::string& iniPath, const PresetStore& store, const std::string& lastDir)
{
    ProfileFile file;
    try {
        file = ProfileFile::Load(iniPath);
    } catch (const Error&) {
        // Never overwrite a file whose other lines we could not read.
        throw Error(Format("Unable to write to %s", iniPath.c_str()));
    }
    for (int i = 0; i < kPresetCount; ++i) {
        const Preset& preset = store.presets[static_cast<size_t>(i)];
        file.write(kPresetsSection, KeyName("Preset", i), preset.name);
        file.write(kPresetsSection, KeyName("Format", i), preset.format);
        file.write(kPresetsSection, KeyName("Header", i), preset.header);
        const std::string footerKey = KeyName("Footer", i);
        if (!preset.footer.empty() || HasKey(file, kPresetsSection, footerKey))
            file.write(kPresetsSection, footerKey, preset.footer);
    }
    file.write(kOptionsSection, kLastDirKey, lastDir);
    if (store.exactNtsc || HasKey(file, kOptionsSection, kExactNtscKey))
        file.write(kOptionsSection, kExactNtscKey, store.exactNtsc ? "1" : "0");
    if (store.nameTemplate != kDefaultNameTemplate || HasKey(file, kOptionsSection, kNameTemplateKey))
        file.write(kOptionsSection, kNameTemplateKey, store.nameTemplate);
    // Most runs change nothing; rewriting (and syncing) the same bytes would
    // only cost every batch run its time.
    if (!file.matchesLoadedFile())
        file.save(iniPath);
}

}  // namespace pelvano
