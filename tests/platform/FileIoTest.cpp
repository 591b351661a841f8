#include "platform/FileIo.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "ScratchDir.h"

using namespace tavrin::platform;

namespace {

// Passes reads and writes to the system in pieces of at most `piece` bytes, with an
// interruption before every other call, and fails writes once `writeBudget` bytes are
// used up.
class ChoppyFileIo : public FileIo {
public:
    ChoppyFileIo(std::size_t piece, std::size_t writeBudget, int failure)
        : piece_(piece), budget_(writeBudget), failure_(failure) {}

    ssize_t Write(int fd, const void* data, std::size_t size) override
    {
        if (interrupt_ = !interrupt_; interrupt_) {
            errno = EINTR;
            return -1;
        }
        if (budget_ == 0) {
            if (failure_ == 0)
                return 0;
            errno = failure_;
            return -1;
        }
        const ssize_t written = FileIo::Write(fd, data, std::min({size, piece_, budget_}));
        if (written > 0)
            budget_ -= static_cast<std::size_t>(written);
        return written;
    }

    ssize_t Read(int fd, void* buffer, std::size_t size) override
    {
        if (interrupt_ = !interrupt_; interrupt_) {
            errno = EINTR;
            return -1;
        }
        return FileIo::Read(fd, buffer, std::min(size, piece_));
    }

private:
    std::size_t piece_;
    std::size_t budget_;
    int failure_;
    bool interrupt_ = false;
};

class InstalledFileIo {
public:
    explicit InstalledFileIo(FileIo& io) : previous_(FileIo::Install(&io)) {}
    ~InstalledFileIo() { FileIo::Install(previous_); }

private:
    FileIo* previous_;
};

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pipe(ends_), 0); }
    void TearDown() override
    {
        close(ends_[0]);
        if (ends_[1] >= 0)
            close(ends_[1]);
    }
    std::string Drain()
    {
        close(ends_[1]);
        ends_[1] = -1;
        std::string all;
        char chunk[256];
        ssize_t got;
        while ((got = read(ends_[0], chunk, sizeof chunk)) > 0)
            all.append(chunk, static_cast<std::size_t>(got));
        return all;
    }
    int ends_[2] = {-1, -1};
};

const std::string kData = "0123456789abcdefghijklmnopqrstuvwxyz";

} // namespace

TEST_F(FileIoTest, WriteFullyCarriesOnAfterShortAndInterruptedWrites)
{
    ChoppyFileIo io(5, 1000, ENOSPC);
    InstalledFileIo installed(io);
    ASSERT_EQ(&FileIo::Current(), &io);
    EXPECT_TRUE(WriteFully(ends_[1], kData.data(), kData.size()));
    EXPECT_EQ(Drain(), kData);
}

TEST_F(FileIoTest, WriteFullyFailsWhenTheDeviceStopsTakingBytes)
{
    const struct {
        int failure;
        int expectedErrno;
    } cases[] = {{ENOSPC, ENOSPC}, {EIO, EIO}, {0, ENOSPC}}; // 0: write(2) returns 0 bytes
    for (const auto& c : cases) {
        ChoppyFileIo io(7, 10, c.failure);
        InstalledFileIo installed(io);
        errno = 0;
        EXPECT_FALSE(WriteFully(ends_[1], kData.data(), kData.size())) << c.failure;
        EXPECT_EQ(errno, c.expectedErrno) << c.failure;
    }
    EXPECT_EQ(Drain(), kData.substr(0, 10) + kData.substr(0, 10) + kData.substr(0, 10));
}

TEST_F(FileIoTest, ReadUpToGathersPiecesUntilTheEnd)
{
    ASSERT_TRUE(WriteFully(ends_[1], kData.data(), kData.size()));
    close(ends_[1]);
    ends_[1] = -1;

    ChoppyFileIo io(4, 0, 0);
    InstalledFileIo installed(io);
    char buffer[100] = {};
    EXPECT_EQ(ReadUpTo(ends_[0], buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), kData.substr(0, 10));
    EXPECT_EQ(ReadUpTo(ends_[0], buffer, sizeof buffer), static_cast<ssize_t>(kData.size() - 10));
    EXPECT_EQ(ReadUpTo(ends_[0], buffer, sizeof buffer), 0);
    EXPECT_EQ(ReadSome(-1, buffer, 1), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(FileIo, InstallReturnsThePreviousAndNullRestoresTheSystem)
{
    FileIo& system = FileIo::Current();
    ChoppyFileIo io(1, 1, EIO);
    EXPECT_EQ(FileIo::Install(&io), nullptr);
    EXPECT_EQ(&FileIo::Current(), &io);
    EXPECT_EQ(FileIo::Install(nullptr), &io);
    EXPECT_EQ(&FileIo::Current(), &system);
}

TEST(ReadWholeFile, ReadsRegularFilesWithinTheBoundAndNothingElse)
{
    ScratchDir dir;
    dir.Write("small", kData);
    dir.Write("empty", "");
    ::mkdir((dir / "folder").c_str(), 0700);
    ::mkfifo((dir / "fifo").c_str(), 0600); // nobody writes: a blocking read would hang
    ::symlink((dir / "small").c_str(), (dir / "link").c_str());
    const struct {
        const char* name;
        std::size_t bound;
        FileReadResult result;
        int error;
    } cases[] = {
        {"small", kData.size(), FileReadResult::Read, 0},
        {"small", SIZE_MAX, FileReadResult::Read, 0},
        {"small", kData.size() - 1, FileReadResult::TooLarge, 0},
        {"empty", 0, FileReadResult::Read, 0},
        {"missing", 100, FileReadResult::Failed, ENOENT},
        {"folder", 100, FileReadResult::Failed, EISDIR},
        {"fifo", 100, FileReadResult::Failed, EINVAL},
        {"link", 100, FileReadResult::Failed, ELOOP},
    };
    for (const auto& c : cases) {
        std::string text = "stale";
        errno = 0;
        EXPECT_EQ(ReadWholeFile(dir / c.name, text, c.bound), c.result) << c.name << " " << c.bound;
        if (c.result == FileReadResult::Failed) {
            EXPECT_EQ(errno, c.error) << c.name;
        } else if (c.result == FileReadResult::Read) {
            EXPECT_EQ(text, c.name == std::string("small") ? kData : "") << c.name;
        }
    }
}

TEST(ReadWholeFile, GathersChoppyReadsIntoBytes)
{
    ScratchDir dir;
    const std::string big(70000, 'q');
    dir.Write("big", big + kData);
    ChoppyFileIo io(999, 0, 0);
    InstalledFileIo installed(io);
    std::vector<unsigned char> bytes;
    ASSERT_EQ(ReadWholeFile(dir / "big", bytes, SIZE_MAX), FileReadResult::Read);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), big + kData);
}
