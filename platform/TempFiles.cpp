#include "platform/TempFiles.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrin::platform {

namespace {

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string TempFolder()
{
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return WithoutTrailingSlashes(fromEnvironment);
    return "/tmp";
}

CreatedFile CreateTempFile(const std::string& folder)
{
    static const std::string suffix = ".tmp";
    std::string pattern = WithoutTrailingSlashes(folder) + "/OPCXXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    CreatedFile created;
    // mkostemps creates the file with mode 0600 whatever the umask.
    created.fd = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (created.fd < 0) {
        created.error = errno;
        return created;
    }
    created.path.assign(name.data());
    return created;
}

CreatedFile CreateUniqueFile(const std::string& folder, const std::string& prefix,
                             const std::string& suffix, mode_t mode)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;
    std::mt19937_64 generator(entropy());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);

    const std::string base = WithoutTrailingSlashes(folder) + "/" + prefix;
    CreatedFile created;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = base;
        for (int i = 0; i < 8; ++i)
            candidate += alphabet[pick(generator)];
        candidate += suffix;
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            created.fd = fd;
            created.path = std::move(candidate);
            created.error = 0;
            return created;
        }
        created.error = errno;
        if (errno != EEXIST)
            return created;
    }
    return created;
}

} // namespace tavrin::platform
