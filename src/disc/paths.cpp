#include "disc/paths.h"

#include <strings.h>

#include "base/format.h"

namespace pelvano {

std::string BaseName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool SameNameNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string IfoName(int titleSet, const char* extension)
{
    return titleSet == 0 ? Format("VIDEO_TS.%s", extension) : Format("VTS_%02d_0.%s", titleSet, extension);
}

int TitleSetOfName(const std::string& name)
{
    for (const char* extension : {"IFO", "BUP"}) {
        if (SameNameNoCase(name, IfoName(0, extension)))
            return 0;
    }
    const auto digit = [&](size_t i) { return name[i] >= '0' && name[i] <= '9' ? name[i] - '0' : -1; };
    if (name.size() != 12 || digit(4) < 0 || digit(5) < 0)
        return -1;
    const int number = digit(4) * 10 + digit(5);
    if (number < 1)
        return -1;
    for (const char* extension : {"IFO", "BUP"}) {
        if (SameNameNoCase(name, IfoName(number, extension)))
            return number;
    }
    return -1;
}

std::string PathInFolder(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.empty() || path.front() == '/')
        return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

}  // namespace pelvano
