#include "engine/MemberStream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <unistd.h>

#include "TestPackages.h"
#include "engine/MemberDefect.h"
#include "platform/FileIo.h"

namespace tavrin {
namespace {

using namespace test;

// Fails every read of the file once `allowed` reads went through.
class FailingReads : public platform::FileIo {
public:
    explicit FailingReads(int allowed) : allowed_(allowed) {}
    ssize_t Read(int fd, void* buffer, std::size_t size) override
    {
        if (allowed_-- > 0)
            return FileIo::Read(fd, buffer, size);
        errno = EIO;
        return -1;
    }
    ssize_t ReadAt(int fd, void* buffer, std::size_t size, off_t offset) override
    {
        if (allowed_-- > 0)
            return FileIo::ReadAt(fd, buffer, size, offset);
        errno = EIO;
        return -1;
    }

private:
    int allowed_;
};

struct Reading {
    std::vector<MemberRead> statuses;
    Bytes decoded;
    int systemError = 0;
};

Reading ReadAll(const std::string& path, std::uint32_t compressed, std::uint32_t declared, std::uint32_t room)
{
    Reading reading;
    MemberStream stream(path, -1, 0, compressed, declared);
    EXPECT_TRUE(stream.IsOpen());
    std::vector<unsigned char> buffer(room);
    for (int calls = 0; calls < 1000; ++calls) {
        const MemberReadResult read = stream.Read(buffer.data(), room);
        reading.statuses.push_back(read.status);
        reading.decoded.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
        if (read.status != MemberRead::NeedsMoreRoom || read.bytes == 0)
            break;
    }
    reading.systemError = stream.SystemError();
    return reading;
}

TEST(MemberStream, EachReadSaysWhyItStopped)
{
    TempFolder tmp;
    const Bytes text(5000, 'x');
    const Bytes deflated = Deflate(text + "the end");
    const auto size = static_cast<std::uint32_t>(text.size() + 7);
    const auto packed = static_cast<std::uint32_t>(deflated.size());
    WriteFile(tmp / "whole", deflated);
    WriteFile(tmp / "cut", deflated.substr(0, deflated.size() / 2));
    WriteFile(tmp / "junk", Bytes(40, '\xff'));
    using R = MemberRead;
    const struct {
        const char* what;
        const char* file;
        std::uint32_t declared;
        std::uint32_t room;
        std::vector<MemberRead> statuses;
        std::size_t decoded;
    } cases[] = {
        {"room for all", "whole", size, size, {R::Complete}, size},
        {"room in pieces", "whole", size, 2048, {R::NeedsMoreRoom, R::NeedsMoreRoom, R::Complete}, size},
        {"size declared too large", "whole", size + 100, 8192, {R::StreamEnded}, size},
        {"package cut inside", "cut", size, 8192, {R::InputEndedEarly}, 0},
        {"no deflate data", "junk", size, 8192, {R::DataError}, 0},
    };
    for (const auto& c : cases) {
        const Reading reading = ReadAll(tmp / c.file, packed, c.declared, c.room);
        EXPECT_EQ(reading.statuses, c.statuses) << c.what;
        EXPECT_EQ(reading.decoded.size(), c.decoded) << c.what;
        if (c.decoded == size) {
            EXPECT_EQ(reading.decoded, text + "the end") << c.what;
        }
    }
}

TEST(MemberStream, AFailedReadIsTheSystemsErrorNotTheEndOfThePackage)
{
    TempFolder tmp;
    // Bytes that do not compress, more than a whole-member read takes at once, so the
    // stream needs more than one read of input.
    Bytes noise(3000000, '\0');
    std::uint32_t state = 12345;
    for (char& c : noise)
        c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    const Bytes deflated = Deflate(noise);
    WriteFile(tmp / "p", deflated);
    FailingReads io(1); // the first chunk of input arrives, the next read fails
    platform::FileIo* previous = platform::FileIo::Install(&io);
    const Reading reading = ReadAll(tmp / "p", static_cast<std::uint32_t>(deflated.size()), 3000000, 100000);
    platform::FileIo::Install(previous);
    ASSERT_FALSE(reading.statuses.empty());
    EXPECT_EQ(reading.statuses.back(), MemberRead::ReadError);
    EXPECT_EQ(reading.systemError, EIO);
}

TEST(MemberStream, AStreamThatCannotOpenSaysSo)
{
    MemberStream missing("/nonexistent/p.odb", -1, 0, 10, 10);
    EXPECT_FALSE(missing.IsOpen());
    unsigned char byte = 0;
    EXPECT_EQ(missing.Read(&byte, 1).status, MemberRead::ReadError);
}

TEST(MemberDefect, EveryDefectHasItsOwnCodeAndWords)
{
    std::set<std::string> codes;
    for (int i = static_cast<int>(MemberDefect::None); i <= static_cast<int>(MemberDefect::CrcMismatch); ++i) {
        const auto defect = static_cast<MemberDefect>(i);
        EXPECT_TRUE(codes.insert(DefectCode(defect)).second) << DefectCode(defect);
        if (defect != MemberDefect::None) {
            EXPECT_STRNE(DefectText(defect), "") << DefectCode(defect);
        }
    }
    // Codes are read by scripts: these must not change.
    EXPECT_STREQ(DefectCode(MemberDefect::CrcMismatch), "crc-mismatch");
    EXPECT_STREQ(DefectCode(MemberDefect::SizesLost), "sizes-lost");
    EXPECT_EQ(DefectText(MemberDefect::ReadFailed, "Input/output error"), "reading the package failed: Input/output error");
}

} // namespace
} // namespace tavrin
