// The raw member inflater against zlib's own inflate of the same bytes.
//
// Input: 4 bytes of claimed decoded size (little-endian), 2 bytes choosing the size of
// the caller's buffer, then the raw DEFLATE stream. The inflater is driven the way the
// extraction drives it (repeated calls while it asks for more room) and must agree
// with the reference: never more than the claimed size, the same bytes as far as both
// got, success exactly when the stream yields the claimed size.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/FuzzTarget.h"
#include "fuzz/InputFile.h"
#include "fuzz/ScratchFolder.h"
#include "zip/RawMemberInflater.h"

using namespace tavrin;
using namespace tavrin::fuzz;

namespace {

struct Reference {
    std::vector<unsigned char> bytes; // decoded, at most the claimed size
    bool complete = false;            // the claimed size was reached
};

// Decodes into `reference`, whose buffer is reused from one input to the next.
void InflateWithZlib(const std::uint8_t* stream, std::size_t length, std::uint32_t claimed, Reference& reference)
{
    reference.bytes.clear();
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        FuzzFailure("zlib could not start");
    z.next_in = const_cast<Bytef*>(stream);
    z.avail_in = static_cast<uInt>(length);
    unsigned char chunk[16384];
    while (reference.bytes.size() < claimed) {
        const std::size_t room = std::min<std::size_t>(sizeof chunk, claimed - reference.bytes.size());
        z.next_out = chunk;
        z.avail_out = static_cast<uInt>(room);
        const int status = inflate(&z, Z_NO_FLUSH);
        reference.bytes.insert(reference.bytes.end(), chunk, chunk + (room - z.avail_out));
        if (status != Z_OK)
            break;
    }
    inflateEnd(&z);
    reference.complete = reference.bytes.size() == claimed;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return 0;
    static ScratchFolder scratch;
    static InputFile member(scratch / "member");
    const std::uint32_t claimed = Le32(data);
    const std::uint32_t room = 1u + static_cast<std::uint32_t>(data[4] | data[5] << 8);
    const std::uint8_t* stream = data + 6;
    const std::size_t length = size - 6;
    member.Replace(stream, length);

    zip::RawMemberReader* reader = nullptr;
    if (zip::OpenRawMember(member.path(), &reader) != zip::UnzipOk || reader == nullptr)
        FuzzFailure("the member file could not be opened");
    std::vector<unsigned char> buffer(room);
    // Reused: a stream may decode to megabytes, which need not be allocated anew each time.
    static std::vector<unsigned char> produced;
    produced.clear();
    zip::UnzipResult result = zip::UnzipOk;
    // Every call that asks for more room has produced something, and the total is
    // bounded by the claimed size, so this loop ends.
    for (;;) {
        zip::MemberSizes sizes{static_cast<std::uint32_t>(length), claimed};
        result = zip::InflateRawMember(reader, buffer.data(), room, &sizes);
        if (result != zip::UnzipOk && result != zip::UnzipMoreData && sizes.compressedSize != 0)
            FuzzFailure("a failed call reports produced bytes");
        if (sizes.compressedSize > room)
            FuzzFailure("more bytes produced than the buffer holds");
        produced.insert(produced.end(), buffer.begin(), buffer.begin() + sizes.compressedSize);
        if (produced.size() > claimed)
            FuzzFailure("more bytes produced than the member's size");
        if (result != zip::UnzipMoreData || sizes.compressedSize == 0 || zip::RawMemberStreamEnded(reader))
            break;
    }
    if (zip::RawMemberTotalProduced(reader) < produced.size())
        FuzzFailure("the total produced is less than what the calls returned");
    zip::CloseRawMember(reader);

    static Reference reference;
    InflateWithZlib(stream, length, claimed, reference);
    const std::size_t common = std::min(produced.size(), reference.bytes.size());
    if (common > 0 && std::memcmp(produced.data(), reference.bytes.data(), common) != 0)
        FuzzFailure("decoded bytes differ from zlib's");
    const bool ours = result == zip::UnzipOk && produced.size() == claimed;
    if (ours != reference.complete)
        FuzzFailure(ours ? "success where zlib did not reach the claimed size"
                         : "failure where zlib decoded the claimed size");
    if (result == zip::UnzipOk && produced.size() != claimed)
        FuzzFailure("success with fewer bytes than the member's size");
    return 0;
}
