#include "platform/TempFiles.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "ScopedEnvironment.h"

using namespace tavrin::platform;
namespace fs = std::filesystem;

namespace {

class TempFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "platform-tempfiles-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    static mode_t ModeOf(const std::string& path)
    {
        struct stat info{};
        EXPECT_EQ(lstat(path.c_str(), &info), 0);
        return info.st_mode & 07777;
    }

    std::string folder_;
};

} // namespace

TEST(TempFolder, FollowsTmpdirElseSlashTmp)
{
    const struct {
        const char* tmpdir;
        const char* expected;
    } cases[] = {
        {nullptr, "/tmp"},
        {"", "/tmp"},
        {"/var/scratch", "/var/scratch"},
        {"/var/scratch//", "/var/scratch"},
    };
    for (const auto& c : cases) {
        ScopedEnvironment tmpdir("TMPDIR", c.tmpdir);
        EXPECT_EQ(TempFolder(), c.expected) << (c.tmpdir ? c.tmpdir : "(unset)");
    }
}

TEST_F(TempFilesTest, TempFileIsNewPrivateAndNamedOpcTmp)
{
    const mode_t oldMask = umask(0);
    CreatedFile first = CreateTempFile(folder_ + "/");
    CreatedFile second = CreateTempFile(folder_);
    umask(oldMask);

    ASSERT_TRUE(first.IsOpen()) << first.error;
    ASSERT_TRUE(second.IsOpen()) << second.error;
    EXPECT_NE(first.path, second.path);
    const std::regex shape(std::regex_replace(folder_, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + R"(/OPC[A-Za-z0-9]{6}\.tmp)");
    EXPECT_TRUE(std::regex_match(first.path, shape)) << first.path;
    EXPECT_EQ(ModeOf(first.path), 0600u);
    EXPECT_EQ(fcntl(first.fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    close(first.fd);
    close(second.fd);
}

TEST_F(TempFilesTest, MissingFolderGivesTheError)
{
    CreatedFile created = CreateTempFile(folder_ + "/missing");
    EXPECT_FALSE(created.IsOpen());
    EXPECT_TRUE(created.path.empty());
    EXPECT_EQ(created.error, ENOENT);

    created = CreateUniqueFile(folder_ + "/missing", ".x", ".part", 0666);
    EXPECT_FALSE(created.IsOpen());
    EXPECT_EQ(created.error, ENOENT);
}

TEST_F(TempFilesTest, UniqueFileHonoursModeAndUmaskAndShape)
{
    const mode_t oldMask = umask(022);
    CreatedFile created = CreateUniqueFile(folder_, ".Sales.odb.", ".part", 0666);
    umask(oldMask);

    ASSERT_TRUE(created.IsOpen()) << created.error;
    const std::string name = fs::path(created.path).filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(\.Sales\.odb\.[A-Za-z0-9]{8}\.part)"))) << name;
    EXPECT_EQ(fs::path(created.path).parent_path().string(), folder_);
    EXPECT_EQ(ModeOf(created.path), 0644u);
    close(created.fd);
}
