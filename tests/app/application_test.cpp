// Where a copy of the program keeps its presets and finds its read-me: beside
// the executable for a portable copy, the user's configuration folder and the
// shipped data for an installed one. (An unwritable program folder needs a
// user other than root: tests/install/install_test.sh covers it.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "app/application.h"
#include "presets/profile_file.h"
#include "test_util.h"

namespace pelvano::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kShippedPresets = "; shipped\r\n[Presets]\r\nPreset1=Shipped one\r\n";

// A program folder deep enough that the installed data folder beside it
// still lies inside the temporary folder, whatever the install layout.
class ProgramCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        exe_ = root_.path() / "prefix/lib/x/y/pelvano";
        fs::create_directories(exe_.parent_path());
        WriteFile(exe_.string(), "");
        dataDir_ = Application::PathsFor(exe_.string()).dataDir;
        ASSERT_EQ(dataDir_.rfind(root_.path().string() + "/", 0), 0u) << dataDir_;
        home_ = root_.file("home");
        SetEnv("HOME", home_);
        SetEnv("XDG_CONFIG_HOME", std::nullopt);
    }

    void TearDown() override
    {
        for (const auto& [name, value] : saved_)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }

    void SetEnv(const std::string& name, const std::optional<std::string>& value)
    {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }

    void Install(const std::string& name, const std::string& bytes)
    {
        fs::create_directories(dataDir_);
        WriteFile(dataDir_ + name, bytes);
    }

    std::string Beside(const std::string& name) const { return (exe_.parent_path() / name).string(); }

    TempDir root_;
    fs::path exe_;
    std::string dataDir_;
    std::string home_;
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(ProgramCopy, PresetsFileByLayoutAndEnvironment)
{
    struct Case {
        const char* what;
        bool besideFile;
        bool shippedDefaults;
        std::optional<std::string> xdgConfigHome;
        std::string expected;  // "beside" or a path under the temporary folder
    };
    const std::string xdg = root_.file("xdg");
    const Case cases[] = {
        {"portable copy with its presets file", true, true, std::nullopt, "beside"},
        {"first start of a copy that is not installed", false, false, std::nullopt, "beside"},
        {"installed", false, true, std::nullopt, home_ + "/.config/pelvano/pelvano.INI"},
        {"installed, XDG_CONFIG_HOME set", false, true, xdg, xdg + "/pelvano/pelvano.INI"},
        {"installed, relative XDG_CONFIG_HOME is ignored", false, true, "rel",
         home_ + "/.config/pelvano/pelvano.INI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Beside("pelvano.INI"));
        fs::remove_all(dataDir_);
        if (c.besideFile)
            WriteFile(Beside("pelvano.INI"), "");
        if (c.shippedDefaults)
            Install("pelvano.INI", kShippedPresets);
        SetEnv("XDG_CONFIG_HOME", c.xdgConfigHome);

        const AppPaths paths = Application::PathsFor(exe_.string());
        if (c.expected == "beside") {
            EXPECT_EQ(paths.iniPath, Beside("pelvano.INI"));
            EXPECT_EQ(paths.defaultsPath, "");
        } else {
            EXPECT_EQ(paths.iniPath, c.expected);
            EXPECT_EQ(paths.defaultsPath, dataDir_ + "pelvano.INI");
        }
    }
}

TEST_F(ProgramCopy, InstalledCopyStartsFromTheShippedPresetsAndKeepsItsOwn)
{
    Install("pelvano.INI", kShippedPresets);
    const Application app(Application::PathsFor(exe_.string()));
    const std::string own = home_ + "/.config/pelvano/pelvano.INI";
    ASSERT_EQ(app.paths().iniPath, own);

    PresetStore store = app.readPresets();
    EXPECT_EQ(store.presets[0].name, "Shipped one");
    EXPECT_EQ(store.presets[1].name, "Preset2");
    EXPECT_FALSE(fs::exists(home_)) << "reading creates nothing";

    // The first save makes the folder and the file, from the shipped one.
    store.presets[0].name = "Mine";
    app.savePresets(store);
    const std::string saved = ReadFile(own);
    EXPECT_EQ(saved.rfind("; shipped\r\n[Presets]\r\nPreset1=Mine\r\n", 0), 0u) << saved;
    EXPECT_EQ(ProfileFile::Load(own).read("Options", "LastDir", "?"), fs::current_path().string());
    EXPECT_EQ(ReadFile(dataDir_ + "pelvano.INI"), kShippedPresets);
    EXPECT_FALSE(fs::exists(Beside("pelvano.INI")));

    // From then on the user's file is read.
    EXPECT_EQ(Application(Application::PathsFor(exe_.string())).readPresets().presets[0].name, "Mine");
}

TEST_F(ProgramCopy, ReadmeBesideTheExecutableElseTheInstalledOne)
{
    struct Case {
        bool beside;
        bool installed;
        bool expectInstalled;
    };
    for (const Case c : {Case{true, true, false}, Case{false, true, true}, Case{false, false, false}}) {
        SCOPED_TRACE(std::to_string(c.beside) + std::to_string(c.installed));
        fs::remove(Beside("Readme.txt"));
        fs::remove_all(dataDir_);
        if (c.beside)
            WriteFile(Beside("Readme.txt"), "here");
        if (c.installed)
            Install("Readme.txt", "installed");
        const Application app(Application::PathsFor(exe_.string()));
        EXPECT_EQ(app.readmePath(), c.expectInstalled ? dataDir_ + "Readme.txt" : Beside("Readme.txt"));
    }
}

// The folders are worked out from the text of the path, as std::filesystem
// would: the executable's folder kept as written, the data folder normalised.
TEST(ApplicationPaths, FoldersOfAnyExecutablePath)
{
    for (const std::string exe :
         {"/opt/pelvano/pelvano", "/pelvano", "pelvano", "build//pelvano", "./pelvano", "/a/b//c/./pelvano",
          "/a/../b/pelvano", "../../x/pelvano", "a/b/"}) {
        SCOPED_TRACE(exe);
        const AppPaths paths = Application::PathsFor(exe);
        std::string appDir = fs::path(exe).parent_path().string();
        if (appDir.empty() || appDir.back() != '/')
            appDir += '/';
        std::string dataDir = (fs::path(appDir) / PELVANO_DATA_FROM_APPDIR).lexically_normal().string();
        if (dataDir.back() != '/')
            dataDir += '/';
        EXPECT_EQ(paths.appDir, appDir);
        EXPECT_EQ(paths.dataDir, dataDir);
    }
}

}  // namespace
}  // namespace pelvano::test
