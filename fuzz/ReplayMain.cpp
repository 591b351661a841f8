// Runs a harness over saved inputs without libFuzzer: every file named on the command
// line, and every file inside every folder named there. CTest runs the committed
// corpora this way, so a build without clang still replays every crash found so far.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzTarget.h"
#include "fuzz/ScratchFolder.h"

namespace {

void AddInputs(const std::string& path, std::vector<std::string>& inputs)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return;
    }
    if (!S_ISDIR(info.st_mode)) {
        inputs.push_back(path);
        return;
    }
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        AddInputs(path + "/" + name, inputs);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i)
        AddInputs(argv[i], inputs);
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE-OR-FOLDER...  (no input found)\n", argv[0]);
        return 2;
    }
    for (const std::string& input : inputs) {
        const std::vector<unsigned char> bytes = tavrin::fuzz::ReadWholeFile(input);
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed without a failure\n", inputs.size());
    return 0;
}
