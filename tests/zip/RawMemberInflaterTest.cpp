#include "zip/RawMemberInflater.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <random>
#include <vector>
#include <zlib.h>

#include "ScratchFolder.h"
#include "platform/FileIo.h"

using namespace tavrin::zip;

namespace {

const char* const kHello = "01 0500 faff 68656c6c6f"; // one final stored block: "hello"

struct DecodeCase {
    const char* name;
    const char* stream;
    std::uint32_t compressedSize;
    std::uint32_t uncompressedSize;
    UnzipResult result;
    const char* output;       // what the call placed into the buffer (reported count)
    std::uint64_t decoded;    // bytes that reached the buffer, failed call included
};

class FailingReads : public tavrin::platform::FileIo {
public:
    ssize_t Read(int, void*, std::size_t) override
    {
        errno = EIO;
        return -1;
    }
    ssize_t ReadAt(int, void*, std::size_t, off_t) override
    {
        errno = EIO;
        return -1;
    }
};

class InstalledFileIo {
public:
    explicit InstalledFileIo(tavrin::platform::FileIo& io) : previous_(tavrin::platform::FileIo::Install(&io)) {}
    ~InstalledFileIo() { tavrin::platform::FileIo::Install(previous_); }

private:
    tavrin::platform::FileIo* previous_;
};

std::string RawDeflate(const std::string& data)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

class RawMemberInflaterTest : public ::testing::Test {
protected:
    RawMemberReader* Open(const std::string& bytes, std::uint64_t offset = 0)
    {
        const std::string path = scratch_.Write("member.raw", bytes);
        RawMemberReader* reader = nullptr;
        EXPECT_EQ(OpenRawMemberAt(path, offset, &reader), UnzipOk);
        return reader;
    }
    ScratchFolder scratch_;
};

} // namespace

TEST_F(RawMemberInflaterTest, HexStreamsGiveTheirExactResult)
{
    const DecodeCase cases[] = {
        {"stored block, exact size", kHello, 10, 5, UnzipOk, "hello", 5},
        {"two blocks", "00 0300 fcff 68656c 01 0200 fdff 6c6f", 15, 5, UnzipOk, "hello", 5},
        {"fixed Huffman block", "cb 48 cd c9 c9 07 00", 7, 5, UnzipOk, "hello", 5},
        {"bytes after the stream are ignored", "01 0500 faff 68656c6c6f 4a554e4b", 14, 5, UnzipOk, "hello", 5},
        {"stream longer than the size", kHello, 10, 3, UnzipOk, "hel", 3},
        {"stream shorter than the size", kHello, 10, 8, UnzipMoreData, "hello", 5},
        {"empty final block, size expected", "03 00", 2, 3, UnzipMoreData, "", 0},
        {"truncated stream, compressed size = file", "01 0500 faff 6865", 7, 5, UnzipFlateError, "", 2},
        {"invalid block type", "07", 1, 5, UnzipFlateError, "", 0},
        {"damage right after the member's last byte", "93 00 ff 10", 4, 1, UnzipOk, "\x18", 1},
        {"damage before the member's last byte", "93 00 ff 10", 4, 2, UnzipFlateError, "", 1},
        {"invalid literal/length code", "1b 03", 2, 5, UnzipFlateError, "", 0},
        {"stored lengths that disagree", "01 0500 8aff 68656c6c6f", 10, 5, UnzipFlateError, "", 0},
        {"no compressed bytes at all", "", 0, 5, UnzipFlateError, "", 0},
        {"compressed size beyond the file", "00 0500 faff 68656c6c6f", 100, 10, UnzipReadFailed, "", 5},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        RawMemberReader* reader = Open(Hex(c.stream));
        ASSERT_NE(reader, nullptr);
        std::vector<char> buffer(c.uncompressedSize + 1, '\0');
        MemberSizes sizes{c.compressedSize, c.uncompressedSize};
        EXPECT_EQ(InflateRawMember(reader, buffer.data(), c.uncompressedSize, &sizes), c.result);
        EXPECT_EQ(std::string(buffer.data(), sizes.compressedSize), c.output);
        EXPECT_EQ(RawMemberTotalProduced(reader), c.decoded);
        if (c.result != UnzipMoreData) { // finished members refuse further calls
            EXPECT_EQ(InflateRawMember(reader, buffer.data(), c.uncompressedSize, &sizes), UnzipBadArguments);
        }
        EXPECT_EQ(CloseRawMember(reader), UnzipOk);
    }
}

TEST_F(RawMemberInflaterTest, ShortBufferThenSecondCallCompletes)
{
    RawMemberReader* reader = Open(Hex(kHello));
    char buffer[8] = {};
    MemberSizes sizes{10, 5};
    ASSERT_EQ(InflateRawMember(reader, buffer, 2, &sizes), UnzipMoreData);
    EXPECT_EQ(std::string(buffer, sizes.compressedSize), "he");
    EXPECT_FALSE(RawMemberStreamEnded(reader));

    sizes = MemberSizes{999, 999}; // read on the first call only
    ASSERT_EQ(InflateRawMember(reader, buffer, sizeof buffer, &sizes), UnzipOk);
    EXPECT_EQ(std::string(buffer, sizes.compressedSize), "llo");
    EXPECT_EQ(InflateRawMember(reader, buffer, sizeof buffer, &sizes), UnzipBadArguments);
    EXPECT_EQ(CloseRawMember(reader), UnzipOk);
}

TEST_F(RawMemberInflaterTest, StreamEndTellsShortStreamFromFullBuffer)
{
    RawMemberReader* reader = Open(Hex(kHello));
    char buffer[16] = {};
    MemberSizes sizes{10, 16};
    ASSERT_EQ(InflateRawMember(reader, buffer, sizeof buffer, &sizes), UnzipMoreData);
    EXPECT_EQ(sizes.compressedSize, 5u);
    EXPECT_TRUE(RawMemberStreamEnded(reader));
    // Nothing more can come; the member stays open until closed.
    EXPECT_EQ(InflateRawMember(reader, buffer, sizeof buffer, &sizes), UnzipMoreData);
    EXPECT_EQ(sizes.compressedSize, 0u);
    EXPECT_EQ(CloseRawMember(reader), UnzipOk);
}

TEST_F(RawMemberInflaterTest, LargeMemberStreamsThroughASmallBuffer)
{
    std::mt19937 random(7);
    std::string data;
    while (data.size() < 3 * 1024 * 1024) {
        const auto word = random() % 5000;
        data += "row " + std::to_string(word) + (word % 3 == 0 ? ";\n" : ", ");
        if (word % 17 == 0)
            data += static_cast<char>(random());
    }
    const std::string compressed = RawDeflate(data);
    ASSERT_GT(compressed.size(), 16384u * 4);

    RawMemberReader* reader = Open("prefix before the member " + compressed, 25);
    std::string decoded;
    std::vector<char> buffer(1000);
    MemberSizes sizes{static_cast<std::uint32_t>(compressed.size()), static_cast<std::uint32_t>(data.size())};
    UnzipResult result;
    while ((result = InflateRawMember(reader, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &sizes)) == UnzipMoreData) {
        ASSERT_EQ(sizes.compressedSize, buffer.size());
        decoded.append(buffer.data(), sizes.compressedSize);
    }
    ASSERT_EQ(result, UnzipOk);
    decoded.append(buffer.data(), sizes.compressedSize);
    EXPECT_TRUE(decoded == data) << decoded.size() << " of " << data.size();
    EXPECT_EQ(CloseRawMember(reader), UnzipOk);
}

TEST_F(RawMemberInflaterTest, ReadFailureAndEmptyMember)
{
    FailingReads failingReads;
    char buffer[8];
    {
        RawMemberReader* reader = Open(Hex(kHello));
        InstalledFileIo installed(failingReads);
        MemberSizes sizes{10, 5};
        EXPECT_EQ(InflateRawMember(reader, buffer, 5, &sizes), UnzipReadFailed);
        EXPECT_EQ(sizes.compressedSize, 0u);
        EXPECT_EQ(RawMemberReadError(reader), EIO);
        EXPECT_EQ(CloseRawMember(reader), UnzipOk);
    }
    {
        // A file that ends inside the stream is no read error.
        RawMemberReader* reader = Open(Hex(kHello).substr(0, 7));
        MemberSizes sizes{10, 5};
        EXPECT_EQ(InflateRawMember(reader, buffer, 5, &sizes), UnzipReadFailed);
        EXPECT_EQ(RawMemberReadError(reader), 0);
        EXPECT_EQ(CloseRawMember(reader), UnzipOk);
    }
    {
        // Size 0 completes without reading the file (reads would fail here).
        RawMemberReader* reader = Open(Hex(kHello));
        InstalledFileIo installed(failingReads);
        MemberSizes sizes{10, 0};
        EXPECT_EQ(InflateRawMember(reader, buffer, 5, &sizes), UnzipOk);
        EXPECT_EQ(sizes.compressedSize, 0u);
        EXPECT_EQ(CloseRawMember(reader), UnzipOk);
    }
}

// The reader keeps the file the caller opened, whatever happens to its path or to the
// caller's own descriptor afterwards.
TEST_F(RawMemberInflaterTest, ReaderOnADescriptorOutlivesThePathAndTheCallersDescriptor)
{
    const std::string path = scratch_.Write("package.raw", "junk" + Hex(kHello));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    RawMemberReader* reader = nullptr;
    ASSERT_EQ(OpenRawMemberOnDescriptor(fd, 4, &reader), UnzipOk);
    ::close(fd);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    scratch_.Write("package.raw", "something else entirely"); // a new file at the same path
    char buffer[5];
    MemberSizes sizes{10, 5};
    EXPECT_EQ(InflateRawMember(reader, buffer, 5, &sizes), UnzipOk);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(CloseRawMember(reader), UnzipOk);
    EXPECT_EQ(OpenRawMemberOnDescriptor(-1, 0, &reader), UnzipBadArguments);
    EXPECT_EQ(reader, nullptr);
}

TEST_F(RawMemberInflaterTest, BadArgumentsAndMissingFile)
{
    RawMemberReader* reader = reinterpret_cast<RawMemberReader*>(&reader); // must be overwritten
    EXPECT_EQ(OpenRawMember(scratch_ / "missing.raw", &reader), UnzipOpenFailed);
    EXPECT_EQ(reader, nullptr);

    char buffer[4];
    MemberSizes sizes{10, 4};
    EXPECT_EQ(InflateRawMember(nullptr, buffer, 4, &sizes), UnzipBadArguments);
    EXPECT_EQ(CloseRawMember(nullptr), UnzipBadArguments);
    EXPECT_FALSE(RawMemberStreamEnded(nullptr));

    ASSERT_EQ(OpenRawMember(scratch_.Write("hello.raw", Hex(kHello)), &reader), UnzipOk);
    EXPECT_EQ(InflateRawMember(reader, buffer, 4, nullptr), UnzipBadArguments);
    EXPECT_EQ(InflateRawMember(reader, nullptr, 4, &sizes), UnzipBadArguments);
    // The reader is untouched by refused calls and still decodes.
    EXPECT_EQ(InflateRawMember(reader, buffer, 4, &sizes), UnzipOk);
    EXPECT_EQ(std::string(buffer, 4), "hell");
    EXPECT_EQ(CloseRawMember(reader), UnzipOk);
}

TEST_F(RawMemberInflaterTest, WholeMemberInOneCallAndStepByStepAgree)
{
    std::string text;
    for (int row = 0; text.size() < 300000; ++row)
        text += "INSERT INTO T VALUES(" + std::to_string(row) + ",'" + std::to_string(row * 31 % 977) + "')\n";
    const std::string packed = "some bytes before the member" + RawDeflate(text);
    const auto compressedSize = static_cast<std::uint32_t>(packed.size() - 28);
    const auto size = static_cast<std::uint32_t>(text.size());
    for (const std::uint32_t callLength : {size, std::uint32_t{65536}}) {
        SCOPED_TRACE(callLength);
        RawMemberReader* reader = Open(packed, 28);
        ASSERT_NE(reader, nullptr);
        std::string out;
        std::vector<char> buffer(callLength);
        UnzipResult result = UnzipMoreData;
        while (result == UnzipMoreData) {
            MemberSizes sizes{compressedSize, size};
            result = InflateRawMember(reader, buffer.data(), callLength, &sizes);
            out.append(buffer.data(), sizes.compressedSize);
        }
        EXPECT_EQ(result, UnzipOk);
        EXPECT_EQ(out, text);
        EXPECT_EQ(RawMemberTotalProduced(reader), text.size());
        EXPECT_EQ(CloseRawMember(reader), UnzipOk);
    }
}
