#include "zip/ZipArchive.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

#include "ArchiveReader.h"
#include "ScratchFolder.h"
#include "platform/FileIo.h"
#include "zip/CompressionPool.h"
#include "zip/MemoryFile.h"
#include "zip/Zip64Limits.h"

using namespace tavrin::zip;

namespace {

std::string Le32(std::uint32_t value)
{
    char bytes[9];
    std::snprintf(bytes, sizeof bytes, "%02x%02x%02x%02x", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF, value >> 24);
    return bytes;
}

std::uint32_t FromLe32Hex(const std::string& hex)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint32_t>(std::stoul(hex.substr(static_cast<std::size_t>(i) * 2, 2), nullptr, 16));
    return value;
}

std::string CrcHex(const std::string& data)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    return text;
}

std::string Sized(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

void SetTimes(const std::string& path, std::int64_t accessTime, std::int64_t modificationTime)
{
    const struct timespec times[2] = {{static_cast<time_t>(accessTime), 0}, {static_cast<time_t>(modificationTime), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::uint64_t FileSize(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// Stands in for a disk that fills up: writes succeed until the byte budget is spent,
// then take what is left and fail with ENOSPC. Reads can be made to fail with EIO.
class FullDisk : public tavrin::platform::FileIo {
public:
    std::size_t budget = SIZE_MAX;
    bool failReads = false;

    ssize_t Write(int fd, const void* data, std::size_t size) override
    {
        if (budget == 0) {
            errno = ENOSPC;
            return -1;
        }
        const ssize_t written = FileIo::Write(fd, data, std::min(size, budget));
        if (written > 0 && budget != SIZE_MAX)
            budget -= static_cast<std::size_t>(written);
        return written;
    }
    ssize_t Read(int fd, void* buffer, std::size_t size) override
    {
        if (failReads) {
            errno = EIO;
            return -1;
        }
        return FileIo::Read(fd, buffer, size);
    }
};

class InstalledFileIo {
public:
    explicit InstalledFileIo(tavrin::platform::FileIo& io) : previous_(tavrin::platform::FileIo::Install(&io)) {}
    ~InstalledFileIo() { tavrin::platform::FileIo::Install(previous_); }

private:
    tavrin::platform::FileIo* previous_;
};

// Collects everything written into a pipe, as a consumer of a streamed archive would.
class PipeSink {
public:
    PipeSink()
    {
        EXPECT_EQ(pipe(ends_), 0);
        reader_ = std::thread([this] {
            char chunk[8192];
            ssize_t got;
            while ((got = read(ends_[0], chunk, sizeof chunk)) > 0)
                bytes_.append(chunk, static_cast<std::size_t>(got));
        });
    }
    ~PipeSink() { Finish(); }
    int WriteEnd() const { return ends_[1]; }
    const std::string& Finish()
    {
        if (ends_[1] >= 0) {
            close(ends_[1]);
            ends_[1] = -1;
            reader_.join();
            close(ends_[0]);
        }
        return bytes_;
    }

private:
    int ends_[2] = {-1, -1};
    std::thread reader_;
    std::string bytes_;
};

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* zone = std::getenv("TZ"))
            oldZone_ = zone;
        setenv("TZ", "UTC0", 1); // CreateZipArchive re-reads the zone
    }
    void TearDown() override
    {
        if (oldZone_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", oldZone_.c_str(), 1);
        tzset();
    }

    void ExpectSoundArchive(const std::string& path, const ReadArchive& read)
    {
        EXPECT_EQ(read.exitStatus, 0) << read.output;
        EXPECT_EQ(read.testzip, "ok") << read.output;
        std::string output;
        EXPECT_EQ(TestWithUnzip(path, output), 0) << output;
    }

    ScratchFolder scratch_;
    std::string oldZone_;
};

constexpr std::int64_t kFeb2001 = 981173106;   // 2001-02-03 04:05:06 UTC
constexpr std::int64_t kMar2002 = 1015000000;

} // namespace

TEST_F(ZipArchiveTest, MembersReadBackByAnIndependentReader)
{
    const std::string content = [] {
        std::string xml;
        for (int i = 0; i < 300; ++i)
            xml += "<table:table-row><table:table-cell>" + std::to_string(i) + "</table:table-cell></table:table-row>\n";
        return xml;
    }();
    const struct {
        const char* memberName;
        std::string data;
        std::string storedName; // bytes in the archive
        int method;
        int flags;
    } cases[] = {
        {"content.xml", content, "content.xml", 8, 2},
        // Deflating gains nothing on these: stored.
        {"mimetype", "application/vnd.oasis.opendocument.base", "mimetype", 0, 0},
        {"noise.bin", Sized(70000, 1), "noise.bin", 0, 0},
        {"empty.txt", "", "empty.txt", 0, 0},
        {"Pictures\\x.ZIP", "PK\x03\x04 zipped already, zipped already, zipped already", "Pictures/x.ZIP", 0, 0},
        {"data.tar.gz", "\x1f\x8b\x08\x00 gzipped", "data.tar.gz", 0, 0},
        {"old.LzH", "lha", "old.LzH", 0, 0},
        {"a.zip/b", "the suffix is .zip/b, the suffix is .zip/b, the suffix is .zip/b", "a.zip/b", 8, 2},
        {"a\\b\\c.xml", "<c/><c/><c/><c/><c/><c/><c/><c/><c/><c/>", "a/b/c.xml", 8, 2},
        {"caf\xe9.txt", "Latin-1 name, Latin-1 name, Latin-1 name", "caf\xe9.txt", 8, 2},
    };
    const std::string archivePath = scratch_ / "out.zip";
    const std::time_t before = std::time(nullptr);
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    int index = 0;
    for (const auto& c : cases) {
        const std::string source = scratch_.Write("src/" + std::to_string(index++), c.data);
        chmod(source.c_str(), 0644);
        SetTimes(source, kMar2002, kFeb2001);
        ASSERT_EQ(AddToZipArchive(handle, c.memberName, source), ZipOk) << c.memberName;
    }
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), std::size(cases)) << read.output;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const ReadMember& m = read.members[i]; // in the order added
        SCOPED_TRACE(c.memberName);
        EXPECT_EQ(m["name"], ToHex(c.storedName));
        EXPECT_EQ(m["lname"], ToHex(c.storedName));
        EXPECT_EQ(m["made"], "0b17");
        EXPECT_EQ(m["needed"], "20");
        EXPECT_EQ(m["lneeded"], "20");
        EXPECT_EQ(m["method"], std::to_string(c.method));
        EXPECT_EQ(m["lmethod"], std::to_string(c.method));
        EXPECT_EQ(m["flags"], std::to_string(c.flags));
        EXPECT_EQ(m["lflags"], std::to_string(c.flags));
        EXPECT_EQ(m["crc"], CrcHex(c.data));
        EXPECT_EQ(m["lcrc"], CrcHex(c.data));
        EXPECT_EQ(m["usize"], std::to_string(c.data.size()));
        EXPECT_EQ(m["lusize"], std::to_string(c.data.size()));
        EXPECT_EQ(m["lcsize"], m["csize"]);
        if (c.method == 0) {
            EXPECT_EQ(m["csize"], std::to_string(c.data.size()));
        }
        if (c.data.size() <= 4096) {
            EXPECT_EQ(m["data"], ToHex(c.data));
        }
        EXPECT_EQ(m["datacrc"], CrcHex(c.data));
        EXPECT_EQ(m["dos"], "2a4320a3");
        EXPECT_EQ(m["ldos"], "2a4320a3");
        EXPECT_EQ(m["attr"], "81800000");
        EXPECT_EQ(m["internal"], "0");
        EXPECT_EQ(m["comment"], "0");
        EXPECT_EQ(m["descriptor"], "-");
        EXPECT_EQ(m["extra"], "5554050007" + Le32(kFeb2001));
        const std::string localExtra = m["lextra"];
        ASSERT_EQ(localExtra.size(), 34u);
        EXPECT_EQ(localExtra.substr(0, 26), "55540d0007" + Le32(kFeb2001) + Le32(kMar2002));
        // Creation: the birth time (just now) where the file system keeps one.
        const std::uint32_t created = FromLe32Hex(localExtra.substr(26));
        EXPECT_TRUE(created == kFeb2001 || (created >= before - 2 && created <= std::time(nullptr) + 2)) << created;
    }
    const ReadMember& empty = read.members[3];
    EXPECT_EQ(empty["csize"], "0");
    EXPECT_EQ(empty["raw"], "");
    EXPECT_EQ(empty["crc"], "00000000");
}

TEST_F(ZipArchiveTest, ExternalAttributesFromPermissionsNameAndProgramHeader)
{
    auto program = [](std::size_t size, std::uint32_t headerOffset, const std::string& signature) {
        std::string bytes(size, '\0');
        bytes[0] = 'M';
        bytes[1] = 'Z';
        for (int i = 0; i < 4; ++i)
            bytes[60 + static_cast<std::size_t>(i)] = static_cast<char>(headerOffset >> (8 * i));
        if (headerOffset + signature.size() <= size)
            bytes.replace(headerOffset, signature.size(), signature);
        return bytes;
    };
    const std::string pe("PE\0\0", 4);
    const struct {
        const char* name;
        mode_t mode;
        std::string data;
        const char* attributes;
    } cases[] = {
        {"plain.txt", 0644, "text", "81800000"},
        {"locked.txt", 0444, "text", "81000001"},
        {".hidden", 0600, "text", "81800002"},
        {"setup.exe", 0644, program(200, 64, pe), "81c00000"},
        {"locked.exe", 0555, program(200, 64, pe), "81400001"},
        {"win16.exe", 0644, program(200, 128, std::string("NE\0\0", 4)), "81c00000"},
        {"vxd.exe", 0644, program(200, 100, std::string("LE\0\0", 4)), "81c00000"},
        {"dos.exe", 0644, program(200, 64, std::string("MZ\0\0", 4)), "81c00000"},
        {"edge.exe", 0644, program(117, 64, pe), "81c00000"},          // 64 + 52 < 117
        {"header-too-far.exe", 0644, program(116, 64, pe), "81800000"}, // 64 + 52 = 116
        {"odd-signature.exe", 0644, program(200, 64, "PX\0\0"), "81800000"},
        {"pe-no-zeros.exe", 0644, program(200, 64, "PEab"), "81800000"},
        {"forty.exe", 0644, std::string("MZ") + std::string(38, '\0'), "81800000"},
        {"zm.exe", 0644, "ZM" + program(200, 64, pe).substr(2), "81800000"},
    };
    const std::string archivePath = scratch_ / "attributes.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    for (const auto& c : cases) {
        const std::string source = scratch_.Write(std::string("src/") + c.name, c.data);
        ASSERT_EQ(chmod(source.c_str(), c.mode), 0);
        ASSERT_EQ(AddToZipArchive(handle, c.name, source), ZipOk) << c.name;
    }
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), std::size(cases)) << read.output;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(read.members[i]["attr"], cases[i].attributes) << cases[i].name;
        EXPECT_EQ(read.members[i]["data"], ToHex(cases[i].data)) << cases[i].name;
    }
}

TEST_F(ZipArchiveTest, EmptyArchiveIsTheEndRecordAlone)
{
    const std::string archivePath = scratch_ / "empty.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);
    EXPECT_EQ(ToHex(ScratchFolder::Read(archivePath)), "504b0506" "0000" "0000" "0000" "0000" "00000000" "00000000" "0000");
    const ReadArchive read = ReadWithPython(archivePath);
    EXPECT_EQ(read.exitStatus, 0) << read.output;
    EXPECT_TRUE(read.members.empty());
}

TEST_F(ZipArchiveTest, FailedSourceWritesNothingAndArchiveGoesOn)
{
    const std::string archivePath = scratch_ / "out.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(AddToZipArchive(handle, "a.txt", scratch_.Write("a.txt", "first")), ZipOk);
    const std::uint64_t sizeBefore = FileSize(archivePath);

    EXPECT_EQ(AddToZipArchive(handle, "missing.txt", scratch_ / "missing.txt"), ZipOpenFailed);
    EXPECT_EQ(ZipLastSystemError(handle), ENOENT);
    EXPECT_EQ(AddToZipArchive(handle, "folder", scratch_.Path()), ZipOpenFailed);
    EXPECT_EQ(ZipLastSystemError(handle), EISDIR);
    ASSERT_EQ(mkfifo((scratch_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(AddToZipArchive(handle, "fifo", scratch_ / "fifo"), ZipOpenFailed); // refused, not waited on
    EXPECT_EQ(FileSize(archivePath), sizeBefore);

    ASSERT_EQ(AddToZipArchive(handle, "c.txt", scratch_.Write("c.txt", "third")), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), 2u) << read.output;
    EXPECT_EQ(read.members[0]["data"], ToHex("first"));
    EXPECT_EQ(read.members[1]["name"], ToHex("c.txt"));
    EXPECT_EQ(read.members[1]["data"], ToHex("third"));
}

TEST_F(ZipArchiveTest, FolderEntriesAndMemorySources)
{
    const std::string archivePath = scratch_ / "out.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    const std::string note = "kept in memory, kept in memory, kept in memory";
    ASSERT_EQ(AddToZipArchive(handle, "docs", ZipSource::Folder()), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "sub\\inner\\", ZipSource::Folder()), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "note.txt", ZipSource::Memory(note.data(), static_cast<std::uint32_t>(note.size()))), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), 3u) << read.output;
    const char* folderNames[] = {"docs/", "sub/inner/"};
    for (int i = 0; i < 2; ++i) {
        const ReadMember& folder = read.members[static_cast<std::size_t>(i)];
        EXPECT_EQ(folder["name"], ToHex(folderNames[i]));
        EXPECT_EQ(folder["method"], "0");
        EXPECT_EQ(folder["flags"], "0");
        EXPECT_EQ(folder["crc"], "00000000");
        EXPECT_EQ(folder["csize"], "0");
        EXPECT_EQ(folder["usize"], "0");
        EXPECT_EQ(folder["attr"], "41c00010");
    }
    EXPECT_EQ(read.members[2]["method"], "8");
    EXPECT_EQ(read.members[2]["attr"], "80000000");
    EXPECT_EQ(read.members[2]["data"], ToHex(note));
}

TEST_F(ZipArchiveTest, OutputThatCannotSeekGetsDataDescriptors)
{
    const std::string content = std::string(5000, 'c') + "content";
    const std::string picture = Sized(40000, 2);
    const std::string content_path = scratch_.Write("content.xml", content);
    const std::string picture_path = scratch_.Write("pic.zip", picture);

    PipeSink sink;
    ZipHandle* handle = CreateZipArchive(sink.WriteEnd());
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(AddToZipArchive(handle, "content.xml", content_path), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "pic.zip", picture_path), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "docs", ZipSource::Folder()), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);
    const std::string archivePath = scratch_.Write("streamed.zip", sink.Finish());

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), 3u) << read.output;
    const struct {
        std::string data;
        const char* method;
        std::string localCompressedSize;
    } expected[] = {
        {content, "8", "0"},
        {picture, "0", std::to_string(picture.size())},
        {"", "0", "0"},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const ReadMember& m = read.members[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(m["flags"], "8");
        EXPECT_EQ(m["lflags"], "8");
        EXPECT_EQ(m["method"], expected[i].method);
        EXPECT_EQ(m["lcrc"], "00000000");
        EXPECT_EQ(m["lcsize"], expected[i].localCompressedSize);
        EXPECT_EQ(m["lusize"], std::to_string(expected[i].data.size()));
        EXPECT_EQ(m["crc"], CrcHex(expected[i].data));
        EXPECT_EQ(m["datacrc"], CrcHex(expected[i].data));
        const auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(expected[i].data.data()),
                                                          static_cast<uInt>(expected[i].data.size())));
        EXPECT_EQ(m["descriptor"], "504b0708" + Le32(crc) + Le32(static_cast<std::uint32_t>(std::stoul(m["csize"])))
                                       + Le32(static_cast<std::uint32_t>(expected[i].data.size())));
    }
}

// Memory deflated whole on the pool ahead of time goes out as the pool made it, to a
// file and to a pipe alike: deflated, stored when that gains nothing, and stored by a
// name that says so whatever was made of it.
TEST_F(ZipArchiveTest, MemoryDeflatedAheadOfTimeIsWrittenAsMade)
{
    const struct {
        std::string name;
        std::string data;
        const char* method;
    } cases[] = {
        {"forms/part.xml", std::string(3000, 'p') + "part", "8"},
        {"forms/noise.bin", Sized(3000, 7), "0"},
        {"forms/old.zip", std::string(3000, 'z'), "0"},
    };
    for (const bool toPipe : {false, true}) {
        SCOPED_TRACE(toPipe ? "pipe" : "file");
        // A pool of their own, not the one the writer deflates with: the writer waits
        // for each piece through the pool that makes it.
        const auto pool = std::make_shared<CompressionPool>(1);
        std::vector<MemoryFile> files;
        for (const auto& c : cases)
            files.emplace_back(c.data, pool);
        PipeSink sink;
        const std::string filePath = scratch_ / "early.zip";
        ZipHandle* handle = toPipe ? CreateZipArchive(sink.WriteEnd()) : CreateZipArchive(filePath);
        ASSERT_NE(handle, nullptr);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            ASSERT_NE(files[i].DeflatedEarly(), nullptr);
            ASSERT_EQ(AddToZipArchive(handle, cases[i].name, ZipSource::DeflatedEarly(files[i].DeflatedEarly(), files[i].DeflatingPool())), ZipOk);
        }
        ASSERT_EQ(CloseZipArchive(handle), ZipOk);
        const std::string archivePath = toPipe ? scratch_.Write("early-piped.zip", sink.Finish()) : filePath;

        const ReadArchive read = ReadWithPython(archivePath);
        ExpectSoundArchive(archivePath, read);
        ASSERT_EQ(read.members.size(), std::size(cases)) << read.output;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].name);
            EXPECT_EQ(read.members[i]["method"], cases[i].method);
            EXPECT_EQ(read.members[i]["datacrc"], CrcHex(cases[i].data));
            EXPECT_EQ(read.members[i]["crc"], CrcHex(cases[i].data));
            EXPECT_EQ(read.members[i]["usize"], std::to_string(cases[i].data.size()));
        }
    }
}

TEST_F(ZipArchiveTest, StoredMemberOfUnknownSizeToAPipe)
{
    // Read whole before its header goes out, a short member gets its real size there;
    // a longer one has its header out before its end is read, and a pipe cannot take
    // back the size announced in it.
    int small[2];
    ASSERT_EQ(pipe(small), 0);
    ASSERT_EQ(write(small[1], "abc", 3), 3);
    close(small[1]);
    int large[2];
    ASSERT_EQ(pipe(large), 0);
    const std::string long_data = Sized(600000, 9);
    std::thread feeder([&] {
        EXPECT_EQ(write(large[1], long_data.data(), long_data.size()), static_cast<ssize_t>(long_data.size()));
        close(large[1]);
    });

    PipeSink sink;
    ZipHandle* handle = CreateZipArchive(sink.WriteEnd());
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(AddToZipArchive(handle, "x.gz", ZipSource::Handle(small[0])), ZipOk);
    EXPECT_EQ(AddToZipArchive(handle, "long.gz", ZipSource::Handle(large[0])), ZipMethodChanged);
    feeder.join();
    close(small[0]);
    close(large[0]);
    ASSERT_EQ(AddToZipArchive(handle, "after.txt", ZipSource::Folder()), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);
    const std::string archivePath = scratch_.Write("streamed.zip", sink.Finish());

    const ReadArchive read = ReadWithPython(archivePath);
    EXPECT_EQ(read.testzip, "ok") << read.output;
    ASSERT_EQ(read.members.size(), 2u) << read.output;
    EXPECT_EQ(read.members[0]["name"], ToHex("x.gz"));
    EXPECT_EQ(read.members[0]["lcsize"], "3");
    EXPECT_EQ(read.members[0]["data"], ToHex("abc"));
    EXPECT_EQ(read.members[1]["name"], ToHex("after.txt/"));
}

TEST_F(ZipArchiveTest, NamesInUtf8CarryTheUtf8Flag)
{
    const struct {
        const char* name;
        bool flagged;
    } cases[] = {
        {"plain.txt", false},
        {"caf\xc3\xa9.png", true},                 // two-byte sequence
        {"\xe6\x97\xa5\xe6\x9c\xac/\xe2\x82\xac.xml", true}, // three-byte sequences, in a folder
        {"\xf0\x9f\x98\x80.txt", true},            // four-byte sequence
        {"caf\xe9.txt", false},                    // Latin-1
        {"over\xc0\xaflong", false},               // overlong '/'
        {"surrogate\xed\xa0\x80", false},
        {"cut\xe2\x82", false},
        {"beyond\xf4\x90\x80\x80", false},         // past U+10FFFF
    };
    const std::string archivePath = scratch_ / "names.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    const std::string data = "named data, named data, named data";
    for (const auto& c : cases)
        ASSERT_EQ(AddToZipArchive(handle, c.name, ZipSource::Memory(data.data(), static_cast<std::uint32_t>(data.size()))), ZipOk)
            << c.name;
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    EXPECT_EQ(read.testzip, "ok") << read.output;
    ASSERT_EQ(read.members.size(), std::size(cases)) << read.output;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const int flags = std::stoi(read.members[i]["flags"]);
        EXPECT_EQ((flags & 0x800) != 0, cases[i].flagged);
        EXPECT_EQ(read.members[i]["lflags"], read.members[i]["flags"]);
        EXPECT_EQ(read.members[i]["lname"], ToHex(cases[i].name));
    }
    // A reader that honours the flag shows the names as the text they are.
    std::string listing;
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).namelist()[1])' "
                             + ShellQuoted(archivePath),
                         listing),
              0);
    EXPECT_EQ(listing, "caf\xc3\xa9.png\n");
}

TEST_F(ZipArchiveTest, HandleSourcesRecordTheBytesActuallyRead)
{
    int source[2];
    ASSERT_EQ(pipe(source), 0);
    const std::string delivered = Sized(600, 3);
    ASSERT_EQ(write(source[1], delivered.data(), delivered.size()), 600);
    close(source[1]);

    const std::string fileData = "read from its first byte";
    const int fileFd = open(scratch_.Write("on-disk.txt", fileData).c_str(), O_RDONLY);
    ASSERT_EQ(lseek(fileFd, 0, SEEK_END), static_cast<off_t>(fileData.size()));

    const std::string archivePath = scratch_ / "out.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(AddToZipArchive(handle, "piped.bin", ZipSource::Handle(source[0], 1000)), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "on-disk.txt", ZipSource::Handle(fileFd)), ZipOk);
    EXPECT_EQ(AddToZipArchive(handle, "closed", ZipSource::Handle(-1)), ZipBadArguments);
    EXPECT_EQ(AddToZipArchive(handle, "none", ZipSource::Memory(nullptr, 5)), ZipBadArguments);
    EXPECT_EQ(AddToZipArchive(handle, "none", ZipSource::Memory("x", 0)), ZipBadArguments);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);
    EXPECT_NE(fcntl(fileFd, F_GETFD), -1) << "a caller's descriptor stays open";
    close(fileFd);
    close(source[0]);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), 2u) << read.output;
    EXPECT_EQ(read.members[0]["usize"], "600");
    EXPECT_EQ(read.members[0]["data"], ToHex(delivered));
    EXPECT_EQ(read.members[0]["attr"], "80000000");
    EXPECT_EQ(read.members[1]["data"], ToHex(fileData));
    EXPECT_EQ(read.members[1]["attr"], "81800000");
}

TEST_F(ZipArchiveTest, FileTimesAreShiftedAndClamped)
{
    const struct {
        const char* zone;
        std::int64_t modified;
        const char* dos;
        std::uint32_t stamp;
    } cases[] = {
        {"UTC0", kFeb2001, "2a4320a3", kFeb2001},
        {"JST-9", kFeb2001, "2a4368a3", kFeb2001},           // DOS time in local time, 13:05:06
        {"UTC0", -14182940, "00210000", 73060},              // 1969-07-20 20:17:40: 1970-01-01 20:17:40
        {"UTC0", 2219900889, "78a63904", 2145856089},        // 2040-05-06 07:08:09: 2037-12-31 07:08:09
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.modified);
        setenv("TZ", c.zone, 1);
        const std::string source = scratch_.Write("dated.txt", "dated");
        SetTimes(source, c.modified, c.modified);
        const std::string archivePath = scratch_ / "dated.zip";
        ZipHandle* handle = CreateZipArchive(archivePath);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(AddToZipArchive(handle, "dated.txt", source), ZipOk);
        ASSERT_EQ(CloseZipArchive(handle), ZipOk);

        const ReadArchive read = ReadWithPython(archivePath);
        ASSERT_EQ(read.members.size(), 1u) << read.output;
        EXPECT_EQ(read.members[0]["ldos"], c.dos);
        EXPECT_EQ(read.members[0]["dos"], c.dos);
        EXPECT_EQ(read.members[0]["lextra"].substr(0, 26), "55540d0007" + Le32(c.stamp) + Le32(c.stamp));
        EXPECT_EQ(read.members[0]["extra"], "5554050007" + Le32(c.stamp));
    }
}

TEST_F(ZipArchiveTest, RefusesBadHandlesNamesAndTargets)
{
    ZipResult failure = ZipOk;
    EXPECT_EQ(CreateZipArchive(scratch_ / "no/such/folder.zip", &failure), nullptr);
    EXPECT_EQ(failure, ZipOpenFailed);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(CreateZipArchive(-1, &failure), nullptr);
    EXPECT_EQ(failure, ZipDuplicateFailed);

    EXPECT_EQ(AddToZipArchive(nullptr, "a", ZipSource::Folder()), ZipBadArguments);
    EXPECT_EQ(CloseZipArchive(nullptr), ZipBadArguments);
    ZipHandle reader{1, nullptr};
    EXPECT_EQ(AddToZipArchive(&reader, "a", ZipSource::Folder()), ZipWrongHandleKind);
    EXPECT_EQ(CloseZipArchive(&reader), ZipWrongHandleKind);

    const std::string archivePath = scratch_ / "names.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    const std::string longest(65535, 'n');
    const std::string longFolder = std::string(65534, 'f');
    EXPECT_EQ(AddToZipArchive(handle, "", ZipSource::Memory("x", 1)), ZipBadArguments);
    EXPECT_EQ(AddToZipArchive(handle, longest + "n", ZipSource::Memory("x", 1)), ZipBadArguments);
    EXPECT_EQ(AddToZipArchive(handle, longest, ZipSource::Folder()), ZipBadArguments); // no room for '/'
    ASSERT_EQ(AddToZipArchive(handle, longest, ZipSource::Memory("x", 1)), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, longFolder, ZipSource::Folder()), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath); // Info-ZIP cuts names at 4 KiB
    EXPECT_EQ(read.testzip, "ok") << read.output.substr(0, 500);
    ASSERT_EQ(read.members.size(), 2u) << read.output.substr(0, 500);
    EXPECT_EQ(read.members[0]["name"], ToHex(longest));
    EXPECT_EQ(read.members[0]["data"], ToHex("x"));
    EXPECT_EQ(read.members[1]["name"], ToHex(longFolder + "/"));
}

namespace {

// Lowers the values from which ZIP64 records are written, for one test.
class LoweredZip64Limits {
public:
    LoweredZip64Limits(std::uint64_t field, std::uint64_t members) : saved_(CurrentZip64Limits())
    {
        CurrentZip64Limits() = Zip64Limits{field, members};
    }
    ~LoweredZip64Limits() { CurrentZip64Limits() = saved_; }

private:
    Zip64Limits saved_;
};

std::string Compressible(std::size_t size)
{
    std::string text;
    for (int row = 0; text.size() < size; ++row)
        text += "INSERT INTO \"T\" VALUES(" + std::to_string(row) + ",'row " + std::to_string(row * 7919 % 1000) + "')\n";
    text.resize(size);
    return text;
}

// Every member's name, size and CRC as Python, Info-ZIP and libarchive each read them.
void ExpectThreeReadersAgree(const std::string& archivePath, const std::string& expectedListing)
{
    std::string output;
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c 'import sys, zipfile, binascii\n"
                         "z = zipfile.ZipFile(sys.argv[1])\n"
                         "assert z.testzip() is None\n"
                         "for i in z.infolist(): print(i.filename, i.file_size, \"%08x\" % binascii.crc32(z.read(i)))' "
                             + ShellQuoted(archivePath),
                         output),
              0)
        << output;
    EXPECT_EQ(output, expectedListing);
    EXPECT_EQ(TestWithUnzip(archivePath, output), 0) << output;
    EXPECT_EQ(RunCommand("bsdtar -xOf " + ShellQuoted(archivePath) + " >/dev/null", output), 0) << output;
}

} // namespace

TEST_F(ZipArchiveTest, Zip64RecordsWhereValuesDoNotFitTheirFields)
{
    // From 100,000 bytes on a size or offset, and from 4 members on the count, takes
    // ZIP64 records here, as 4 GiB and 65,535 members do in real archives.
    LoweredZip64Limits lowered(100000, 4);
    const std::string small = "fits, fits, fits, fits";
    const std::string text = Compressible(700000);  // read in pieces; usize needs ZIP64, csize does not
    const std::string noise = Sized(150000, 11);    // stored: both sizes need ZIP64
    const std::string textPath = scratch_.Write("text.sql", text);
    const std::string noisePath = scratch_.Write("noise.bin", noise);

    const auto crcOf = [](const std::string& data) {
        return CrcHex(data);
    };
    const std::string listing = "small.txt 22 " + crcOf(small) + "\ntext.sql 700000 " + crcOf(text) + "\nnoise.bin 150000 "
        + crcOf(noise) + "\nlate.txt 22 " + crcOf(small) + "\n";

    for (const bool toPipe : {false, true}) {
        SCOPED_TRACE(toPipe ? "pipe" : "file");
        const std::string archivePath = scratch_ / (toPipe ? "piped64.zip" : "zip64.zip");
        PipeSink sink;
        ZipHandle* handle = toPipe ? CreateZipArchive(sink.WriteEnd()) : CreateZipArchive(archivePath);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(AddToZipArchive(handle, "small.txt", ZipSource::Memory(small.data(), static_cast<std::uint32_t>(small.size()))), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "text.sql", textPath), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "noise.bin", noisePath), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "late.txt", ZipSource::Memory(small.data(), static_cast<std::uint32_t>(small.size()))), ZipOk);
        ASSERT_EQ(CloseZipArchive(handle), ZipOk);
        if (toPipe)
            scratch_.Write("piped64.zip", sink.Finish());
        ExpectThreeReadersAgree(archivePath, listing);

        const ReadArchive read = ReadWithPython(archivePath);
        ASSERT_EQ(read.members.size(), 4u) << read.output;
        // Only what does not fit goes into ZIP64 fields.
        EXPECT_EQ(read.members[0]["needed"], "20");
        EXPECT_EQ(read.members[0]["lextra"].substr(0, 4), "5554");
        EXPECT_EQ(read.members[1]["lneeded"], "45");
        EXPECT_EQ(read.members[1]["lusize"], "4294967295");
        EXPECT_EQ(read.members[1]["lextra"].substr(0, 8), "01001000");
        EXPECT_EQ(read.members[1]["method"], "8");
        EXPECT_LT(std::stoul(read.members[1]["csize"]), 100000u);
        EXPECT_EQ(read.members[2]["method"], "0");
        EXPECT_GE(std::stoul(read.members[3]["offset"]), 100000u);
        const std::string bytes = ScratchFolder::Read(archivePath);
        EXPECT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos) << "ZIP64 end record";
        EXPECT_NE(bytes.find(std::string("PK\x06\x07", 4)), std::string::npos) << "ZIP64 end locator";
        EXPECT_EQ(ToHex(bytes.substr(bytes.size() - 22, 12)), "504b0506" "0000" "0000" "ffff" "ffff");
    }
}

TEST_F(ZipArchiveTest, Zip64OnlyFromTheMemberCountAndOffsetsThatNeedIt)
{
    const std::string archivePath = scratch_ / "members.zip";
    for (const int count : {65534, 65535}) {
        SCOPED_TRACE(count);
        ZipHandle* handle = CreateZipArchive(archivePath);
        ASSERT_NE(handle, nullptr);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(AddToZipArchive(handle, std::to_string(i), ZipSource::Folder()), ZipOk) << i;
        ASSERT_EQ(CloseZipArchive(handle), ZipOk);
        const std::string bytes = ScratchFolder::Read(archivePath);
        EXPECT_EQ(bytes.find(std::string("PK\x06\x06", 4)) != std::string::npos, count == 65535);
        std::string output;
        EXPECT_EQ(RunCommand("/usr/bin/python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                             "print(len(z.infolist()), z.infolist()[-1].filename, z.testzip())' " + ShellQuoted(archivePath),
                             output), 0);
        EXPECT_EQ(output, std::to_string(count) + " " + std::to_string(count - 1) + "/ None\n");
        EXPECT_EQ(TestWithUnzip(archivePath, output), 0) << output.substr(0, 300);
        EXPECT_EQ(RunCommand("bsdtar -tf " + ShellQuoted(archivePath) + " | wc -l", output), 0);
        EXPECT_EQ(output, std::to_string(count) + "\n");
    }

    // An archive that starts 256 bytes short of 4 GiB into a (sparse) file: its first
    // member's offset still fits, the second's and the central directory's do not.
    const std::string sparsePath = scratch_ / "late-start.bin";
    const int fd = open(sparsePath.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(lseek(fd, 0xFFFFFF00LL, SEEK_SET), 0xFFFFFF00LL);
    ZipHandle* handle = CreateZipArchive(fd);
    ASSERT_NE(handle, nullptr);
    const std::string data = Sized(300, 4);
    EXPECT_EQ(AddToZipArchive(handle, "first.zip", ZipSource::Memory(data.data(), 300)), ZipOk);
    EXPECT_EQ(AddToZipArchive(handle, "second.zip", ZipSource::Memory(data.data(), 300)), ZipOk);
    EXPECT_EQ(CloseZipArchive(handle), ZipOk);
    close(fd);
    std::string output;
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                         "print([(i.filename, i.header_offset) for i in z.infolist()], z.testzip())' " + ShellQuoted(sparsePath),
                         output), 0);
    EXPECT_EQ(output, "[('first.zip', 4294967040), ('second.zip', 4294967396)] None\n");
    EXPECT_EQ(TestWithUnzip(sparsePath, output), 0) << output;
}

TEST_F(ZipArchiveTest, MembersLongerThanAPieceAreOneStream)
{
    // Several pieces compressed apart make one deflate stream; one that gains nothing
    // is stored, and the member after it starts where the stored bytes end.
    const std::string text = Compressible(1500000);
    std::string mixed = Sized(300000, 12) + Compressible(400000); // first piece incompressible
    const std::string noise = Sized(600000, 13);
    const std::string after = Compressible(1000);
    const std::string archivePath = scratch_ / "pieces.zip";
    for (const bool writeBehind : {false, true}) {
        SCOPED_TRACE(writeBehind);
        ZipHandle* handle = CreateZipArchive(archivePath);
        ASSERT_NE(handle, nullptr);
        SetZipArchiveWriteBehind(handle, writeBehind);
        ASSERT_EQ(AddToZipArchive(handle, "text.sql", scratch_.Write("text.sql", text)), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "mixed.bin", scratch_.Write("mixed.bin", mixed)), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "noise.bin", scratch_.Write("noise.bin", noise)), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "after.sql", scratch_.Write("after.sql", after)), ZipOk);
        ASSERT_EQ(CloseZipArchive(handle), ZipOk);

        ExpectThreeReadersAgree(archivePath, "text.sql 1500000 " + CrcHex(text) + "\nmixed.bin 700000 " + CrcHex(mixed)
                                                 + "\nnoise.bin 600000 " + CrcHex(noise) + "\nafter.sql 1000 " + CrcHex(after) + "\n");
        const ReadArchive read = ReadWithPython(archivePath);
        ASSERT_EQ(read.members.size(), 4u) << read.output;
        EXPECT_EQ(read.members[0]["method"], "8");
        EXPECT_LT(std::stoul(read.members[0]["csize"]), text.size() / 4);
        EXPECT_EQ(read.members[1]["method"], "8");
        EXPECT_EQ(read.members[2]["method"], "0");
        EXPECT_EQ(read.members[2]["lmethod"], "0");
        EXPECT_EQ(read.members[2]["csize"], "600000");
        EXPECT_EQ(read.members[3]["offset"], std::to_string(std::stoul(read.members[2]["offset"]) + 30 + 9 + 17 + 600000));
        // Nothing of the longer deflated form is left behind the end record.
        EXPECT_EQ(ToHex(ScratchFolder::Read(archivePath).substr(FileSize(archivePath) - 22, 4)), "504b0506");
    }
}

TEST_F(ZipArchiveTest, WriteBehindOutputFailureEndsTheArchive)
{
    FullDisk disk;
    InstalledFileIo installed(disk);
    const std::string archivePath = scratch_ / "out.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    SetZipArchiveWriteBehind(handle, true);
    const std::string text = Compressible(2000000);
    ASSERT_EQ(AddToZipArchive(handle, "first.txt", ZipSource::Memory("first", 5)), ZipOk);
    disk.budget = 5000; // runs out in the large member
    ZipResult result = ZipOk;
    int added = 0;
    for (; added < 20 && result == ZipOk; ++added)
        result = AddToZipArchive(handle, "part" + std::to_string(added), ZipSource::Memory(text.data(), static_cast<std::uint32_t>(text.size())));
    EXPECT_EQ(result, ZipWriteFailed);
    EXPECT_EQ(ZipLastSystemError(handle), ENOSPC);
    disk.budget = SIZE_MAX; // space is freed, yet members reported added were lost
    EXPECT_EQ(AddToZipArchive(handle, "later.txt", ZipSource::Memory("later", 5)), ZipWriteFailed);
    EXPECT_EQ(CloseZipArchive(handle), ZipWriteFailed);
    EXPECT_EQ(errno, ENOSPC);
}

TEST_F(ZipArchiveTest, FullDiskFailsTheMemberAndKeepsOffsetsRight)
{
    FullDisk disk;
    InstalledFileIo installed(disk);
    const std::string archivePath = scratch_ / "out.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(AddToZipArchive(handle, "first.txt", ZipSource::Memory("first", 5)), ZipOk);

    const std::string noise = Sized(100000, 5);
    disk.budget = 1000; // the disk fills up in the middle of the data
    EXPECT_EQ(AddToZipArchive(handle, "noise.bin", ZipSource::Memory(noise.data(), 100000)), ZipWriteFailed);
    EXPECT_EQ(ZipLastSystemError(handle), ENOSPC);
    disk.budget = 10; // ... in the middle of the local header
    EXPECT_EQ(AddToZipArchive(handle, "header.txt", ZipSource::Memory("header", 6)), ZipWriteFailed);

    disk.budget = SIZE_MAX; // space is freed; the partial bytes stay, unlisted
    ASSERT_EQ(AddToZipArchive(handle, "last.txt", ZipSource::Memory("last", 4)), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), 2u) << read.output;
    EXPECT_EQ(read.members[0]["data"], ToHex("first"));
    EXPECT_EQ(read.members[1]["data"], ToHex("last"));
    // Counted back from the end: end record, two central headers, last member.
    const std::uint64_t lastSize = 30 + 8 + 17 + std::stoul(read.members[1]["csize"]);
    EXPECT_EQ(read.members[1]["offset"], std::to_string(FileSize(archivePath) - 22 - (46 + 9 + 9) - (46 + 8 + 9) - lastSize));

    handle = CreateZipArchive(scratch_ / "unfinished.zip");
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(AddToZipArchive(handle, "a.txt", ZipSource::Memory("a", 1)), ZipOk);
    disk.budget = 30; // the central directory does not fit
    EXPECT_EQ(CloseZipArchive(handle), ZipWriteFailed);
    EXPECT_EQ(errno, ENOSPC);
}

TEST_F(ZipArchiveTest, SourceThatCannotBeReadFailsTheMember)
{
    FullDisk disk;
    const std::string source = scratch_.Write("unreadable.txt", "data");
    ZipHandle* handle = CreateZipArchive(scratch_ / "out.zip");
    ASSERT_NE(handle, nullptr);
    {
        InstalledFileIo installed(disk);
        disk.failReads = true;
        EXPECT_EQ(AddToZipArchive(handle, "unreadable.txt", source), ZipReadFailed);
        EXPECT_EQ(ZipLastSystemError(handle), EIO);
    }
    ASSERT_EQ(AddToZipArchive(handle, "readable.txt", source), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);
    const ReadArchive read = ReadWithPython(scratch_ / "out.zip");
    EXPECT_EQ(read.testzip, "ok") << read.output;
    ASSERT_EQ(read.members.size(), 1u);
    EXPECT_EQ(read.members[0]["name"], ToHex("readable.txt"));
}

TEST_F(ZipArchiveTest, HandleTargetCountsOffsetsFromTheFilesStart)
{
    const std::string stub(100, 'S'); // e.g. a self-extractor stub in front of the archive
    const struct {
        const char* name;
        int flags;
        const char* memberFlags; // an appending descriptor cannot go back: descriptors
    } cases[] = {{"positioned.zip", O_RDWR, "2"}, {"appending.zip", O_WRONLY | O_APPEND, "8"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string archivePath = scratch_.Write(c.name, stub);
        const int fd = open(archivePath.c_str(), c.flags);
        ASSERT_EQ(lseek(fd, 0, SEEK_END), 100);
        ZipHandle* handle = CreateZipArchive(fd);
        ASSERT_NE(handle, nullptr);
        const std::string one = "one one one one one one one one", two = "two two two two two two two two";
        ASSERT_EQ(AddToZipArchive(handle, "one.txt", ZipSource::Memory(one.data(), static_cast<std::uint32_t>(one.size()))), ZipOk);
        ASSERT_EQ(AddToZipArchive(handle, "two.txt", ZipSource::Memory(two.data(), static_cast<std::uint32_t>(two.size()))), ZipOk);
        ASSERT_EQ(CloseZipArchive(handle), ZipOk);
        EXPECT_NE(fcntl(fd, F_GETFD), -1) << "the caller's descriptor stays open";
        close(fd);

        const ReadArchive read = ReadWithPython(archivePath);
        ExpectSoundArchive(archivePath, read);
        ASSERT_EQ(read.members.size(), 2u) << read.output;
        EXPECT_EQ(read.members[0]["offset"], "100");
        EXPECT_EQ(read.members[0]["lsig"], "04034b50");
        EXPECT_EQ(read.members[1]["lsig"], "04034b50");
        EXPECT_EQ(read.members[1]["data"], ToHex("two two two two two two two two"));
        EXPECT_EQ(read.members[1]["flags"], c.memberFlags);
        EXPECT_EQ(ScratchFolder::Read(archivePath).substr(0, 100), stub);
    }
}

namespace {

// Deflates at the writer's level to exactly its own length.
const std::string kDeflatesToItsOwnLength = "CREATE TABLE T(ID INT)";

} // namespace

TEST_F(ZipArchiveTest, DeflatedDataAsLongAsItsSourceIsStoredInstead)
{
    z_stream probe{};
    ASSERT_EQ(deflateInit2(&probe, 8, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    unsigned char packed[64];
    probe.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(kDeflatesToItsOwnLength.data()));
    probe.avail_in = static_cast<uInt>(kDeflatesToItsOwnLength.size());
    probe.next_out = packed;
    probe.avail_out = sizeof packed;
    ASSERT_EQ(deflate(&probe, Z_FINISH), Z_STREAM_END);
    ASSERT_EQ(probe.total_out, kDeflatesToItsOwnLength.size()) << "the sample no longer deflates to its own length";
    deflateEnd(&probe);

    const std::string filePath = scratch_ / "script";
    {
        const int fd = open(filePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, kDeflatesToItsOwnLength.data(), kDeflatesToItsOwnLength.size()),
                  static_cast<ssize_t>(kDeflatesToItsOwnLength.size()));
        close(fd);
    }
    const std::string archivePath = scratch_ / "out.zip";
    ZipHandle* handle = CreateZipArchive(archivePath);
    ASSERT_NE(handle, nullptr);
    const std::string after = "a member after it, a member after it, a member after it";
    ASSERT_EQ(AddToZipArchive(handle, "from-file", filePath), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "from-memory", ZipSource::Memory(kDeflatesToItsOwnLength.data(), static_cast<std::uint32_t>(kDeflatesToItsOwnLength.size()))), ZipOk);
    ASSERT_EQ(AddToZipArchive(handle, "after", ZipSource::Memory(after.data(), static_cast<std::uint32_t>(after.size()))), ZipOk);
    ASSERT_EQ(CloseZipArchive(handle), ZipOk);

    const ReadArchive read = ReadWithPython(archivePath);
    ExpectSoundArchive(archivePath, read);
    ASSERT_EQ(read.members.size(), 3u) << read.output;
    for (int i = 0; i < 2; ++i) {
        const ReadMember& member = read.members[static_cast<std::size_t>(i)];
        EXPECT_EQ(member["method"], "0") << i;
        EXPECT_EQ(member["lmethod"], "0") << i;
        EXPECT_EQ(member["flags"], "0") << i;
        EXPECT_EQ(member["lflags"], "0") << i;
        EXPECT_EQ(member["csize"], std::to_string(kDeflatesToItsOwnLength.size())) << i;
        EXPECT_EQ(member["raw"], ToHex(kDeflatesToItsOwnLength)) << i;
        EXPECT_EQ(member["crc"], CrcHex(kDeflatesToItsOwnLength)) << i;
        EXPECT_EQ(member["data"], ToHex(kDeflatesToItsOwnLength)) << i;
    }
    EXPECT_EQ(read.members[2]["method"], "8");
    EXPECT_EQ(read.members[2]["data"], ToHex(after));
}
