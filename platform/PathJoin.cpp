#include "platform/PathJoin.h"

#include <cstdlib>

namespace tavrin::platform {

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return WithTrailingSlash(folder) + name;
}

std::string WithTrailingSlash(const std::string& folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string TemporaryFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return WithoutTrailingSlashes(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp");
}

std::string FolderPrefixOf(const std::string& path)
{
    return path.substr(0, path.find_last_of('/') + 1);
}

} // namespace tavrin::platform
