#include "TestPackages.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "engine/HeldFolder.h"

namespace tavrin::test {

namespace fs = std::filesystem;

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "tavrin-engine-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code error;
    // Tests make folders read-only on purpose; give them back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(path_, error);
}

Bytes Le16(std::uint32_t value)
{
    return Bytes{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

Bytes Le32(std::uint32_t value)
{
    return Le16(value & 0xFFFF) + Le16(value >> 16);
}

Bytes LocalHeader(const std::string& name, std::uint16_t method, std::uint32_t compressed, std::uint32_t uncompressed,
                  const Bytes& extra, std::uint16_t flags, std::uint32_t crc)
{
    return std::string("PK\3\4", 4) + Le16(20) + Le16(flags) + Le16(method) + Le16(0) + Le16(0x21) + Le32(crc) +
           Le32(compressed) + Le32(uncompressed) + Le16(static_cast<std::uint32_t>(name.size())) +
           Le16(static_cast<std::uint32_t>(extra.size())) + name + extra;
}

std::uint32_t Crc32(const Bytes& data)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

Bytes Descriptor(std::uint32_t compressed, std::uint32_t uncompressed, bool withSignature)
{
    return (withSignature ? std::string("PK\7\x08", 4) : std::string()) + Le32(0x12345678) + Le32(compressed) +
           Le32(uncompressed);
}

Bytes Deflate(const Bytes& data, int level)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Bytes StoredMember(const std::string& name, const Bytes& data)
{
    const auto size = static_cast<std::uint32_t>(data.size());
    return LocalHeader(name, 0, size, size) + data;
}

Bytes DeflatedMember(const std::string& name, const Bytes& data)
{
    const Bytes packed = Deflate(data);
    return LocalHeader(name, 8, static_cast<std::uint32_t>(packed.size()), static_cast<std::uint32_t>(data.size())) +
           packed;
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> FilesUnder(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file())
            files.push_back(fs::relative(it->path(), folder).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> PackageFolderFiles(const std::string& folder)
{
    std::vector<std::string> files = FilesUnder(folder);
    if (const std::shared_ptr<const HeldFolder> held = HeldFolder::Of(folder))
        for (const auto& [name, bytes] : held->files())
            files.push_back(name);
    std::sort(files.begin(), files.end());
    return files;
}

void WriteOutHeldMembers(const std::string& folder)
{
    if (const std::shared_ptr<const HeldFolder> held = HeldFolder::Of(folder))
        for (const auto& [name, file] : held->files()) {
            fs::create_directories(fs::path(folder) / fs::path(name).parent_path());
            WriteFile(folder + "/" + name, std::string(file.Bytes()));
        }
}

} // namespace tavrin::test
