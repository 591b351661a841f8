// Small helpers for engine tests: temporary folders, byte-level package building, file reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::test {

// A fresh private folder under the temporary folder, removed with its contents at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

using Bytes = std::string;

// Little-endian fields and local headers written by hand, so every field can be damaged.
Bytes Le16(std::uint32_t value);
Bytes Le32(std::uint32_t value);
Bytes LocalHeader(const std::string& name, std::uint16_t method, std::uint32_t compressed, std::uint32_t uncompressed,
                  const Bytes& extra = {}, std::uint16_t flags = 0, std::uint32_t crc = 0);
// The CRC-32 of `data`, as a header records it.
std::uint32_t Crc32(const Bytes& data);
Bytes Descriptor(std::uint32_t compressed, std::uint32_t uncompressed, bool withSignature = true);
// The raw DEFLATE stream (no zlib header) of `data`.
Bytes Deflate(const Bytes& data, int level = 6);
// A stored or deflated member: local header plus data.
Bytes StoredMember(const std::string& name, const Bytes& data);
Bytes DeflatedMember(const std::string& name, const Bytes& data);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Relative paths of every regular file under `folder`, sorted.
std::vector<std::string> FilesUnder(const std::string& folder);
// The members a package folder holds: its files and the members held in memory for
// it, relative paths sorted.
std::vector<std::string> PackageFolderFiles(const std::string& folder);
// Writes the members held in memory for a package folder into it as files, for checks
// that read the folder's files.
void WriteOutHeldMembers(const std::string& folder);

} // namespace tavrin::test
