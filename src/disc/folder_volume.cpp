#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/error.h"
#include "base/format.h"
#include "base/posix_io.h"
#include "disc/paths.h"
#include "disc/volume.h"

namespace pelvano {

namespace {

class FolderVolume : public Volume {
public:
    explicit FolderVolume(std::string root) : root_(std::move(root)) {}

    std::vector<Entry> list(const std::string& dir) override
    {
        std::vector<Entry> entries;
        DIR* d = opendir(where(dir).c_str());
        if (!d)
            return entries;
        while (const dirent* entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            bool folder = entry->d_type == DT_DIR;
            // Some file systems do not say; a link to a folder is one.
            struct stat st;
            if ((entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) &&
                ::stat((where(dir) + "/").append(name).c_str(), &st) == 0)
                folder = S_ISDIR(st.st_mode);
            entries.push_back({name, folder});
        }
        closedir(d);
        return entries;
    }

    std::string read(const std::string& file, size_t limit) override
    {
        const std::string path = where(file);
        std::string bytes;
        try {
            bytes = ReadRegularFile(path, limit);
        } catch (const Error& e) {
            const std::string name = BaseName(file);
            throw Error(e.reason() == kNotRegular
                            ? name + " is " + e.reason()
                            : Format("%s cannot be read (%s)", name.c_str(), e.reason().c_str()));
        }
        inputs_.push_back(path);
        return bytes;
    }

private:
    std::string where(const std::string& below) const { return below.empty() ? root_ : root_ + "/" + below; }

    std::string root_;
};

}  // namespace

std::unique_ptr<Volume> OpenFolderVolume(const std::string& folder)
{
    return std::make_unique<FolderVolume>(folder);
}

}  // namespace pelvano
