#include "platform/FileInformation.h"

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tavrin::platform;
namespace fs = std::filesystem;

namespace {

class FileInformationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "platform-fileinfo-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string MakeFile(const std::string& name, const std::string& bytes, mode_t mode)
    {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        chmod(path.c_str(), mode);
        return path;
    }

    std::string folder_;
};

struct OpenFile {
    explicit OpenFile(const std::string& path, int flags = O_RDONLY) : fd(open(path.c_str(), flags)) {}
    ~OpenFile()
    {
        if (fd >= 0)
            close(fd);
    }
    int fd;
};

} // namespace

TEST_F(FileInformationTest, AttributesFollowPermissionNameAndKind)
{
    const struct {
        const char* name;
        mode_t mode;
        std::uint32_t attributes;
    } cases[] = {
        {"plain.txt", 0644, 0},
        {"locked.txt", 0444, FileAttributeReadOnly},
        {"others-may-write.txt", 0466, FileAttributeReadOnly},
        {".hidden", 0600, FileAttributeHidden},
        {".hidden-locked", 0400, FileAttributeHidden | FileAttributeReadOnly},
    };
    for (const auto& c : cases) {
        OpenFile file(MakeFile(c.name, "12345", c.mode));
        ASSERT_GE(file.fd, 0) << c.name;
        FileInformation info;
        ASSERT_EQ(ReadFileInformation(file.fd, c.name, info), 0) << c.name;
        EXPECT_EQ(info.attributes, c.attributes) << c.name;
        EXPECT_TRUE(info.isRegularFile) << c.name;
        EXPECT_FALSE(info.isDirectory) << c.name;
        EXPECT_EQ(info.size, 5u) << c.name;
    }

    OpenFile folder(folder_, O_RDONLY | O_DIRECTORY);
    FileInformation info;
    ASSERT_EQ(ReadFileInformation(folder.fd, "docs", info), 0);
    EXPECT_EQ(info.attributes, FileAttributeDirectory);
    EXPECT_TRUE(info.isDirectory);
    EXPECT_FALSE(info.isRegularFile);
}

TEST_F(FileInformationTest, TimesAreTheFileSystemsOwn)
{
    const std::time_t before = std::time(nullptr);
    const std::string path = MakeFile("dated.bin", std::string(70000, 'x'), 0644);
    const struct timespec times[2] = {{1000000000, 0}, {1200000000, 0}}; // access, modification
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    OpenFile file(path);
    FileInformation info;
    ASSERT_EQ(ReadFileInformation(file.fd, "dated.bin", info), 0);
    EXPECT_EQ(info.size, 70000u);
    EXPECT_EQ(info.accessTime, 1000000000);
    EXPECT_EQ(info.modificationTime, 1200000000);
    // Birth time where the file system keeps one (just now), else the modification time.
    const bool birthTimeOfNow = info.creationTime >= before - 2 && info.creationTime <= std::time(nullptr) + 2;
    EXPECT_TRUE(birthTimeOfNow || info.creationTime == info.modificationTime) << info.creationTime;
}

TEST(FileInformation, ClosedDescriptorGivesTheError)
{
    FileInformation info;
    EXPECT_EQ(ReadFileInformation(-1, "x", info), EBADF);
}
