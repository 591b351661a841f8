#include "engine/MemberStream.h"

namespace tavrin {

MemberStream::MemberStream(const std::string& packagePath, int packageFd, std::uint64_t dataOffset,
                           std::uint32_t compressedSize, std::uint32_t uncompressedSize)
    : compressedSize_(compressedSize), uncompressedSize_(uncompressedSize)
{
    const zip::UnzipResult opened = packageFd >= 0 ? zip::OpenRawMemberOnDescriptor(packageFd, dataOffset, &reader_)
                                                   : zip::OpenRawMemberAt(packagePath, dataOffset, &reader_);
    if (opened != zip::UnzipOk)
        reader_ = nullptr;
}

MemberStream::~MemberStream()
{
    if (reader_ != nullptr)
        zip::CloseRawMember(reader_);
}

MemberReadResult MemberStream::Read(unsigned char* buffer, std::uint32_t length)
{
    if (reader_ == nullptr)
        return {MemberRead::ReadError, 0};
    zip::MemberSizes sizes{compressedSize_, uncompressedSize_};
    const zip::UnzipResult result = zip::InflateRawMember(reader_, buffer, length, &sizes);
    totalDecoded_ = zip::RawMemberTotalProduced(reader_);
    switch (result) {
    case zip::UnzipOk: return {MemberRead::Complete, sizes.compressedSize};
    case zip::UnzipMoreData:
        if (zip::RawMemberStreamEnded(reader_))
            return {MemberRead::StreamEnded, sizes.compressedSize};
        return {MemberRead::NeedsMoreRoom, sizes.compressedSize};
    case zip::UnzipReadFailed:
        systemError_ = zip::RawMemberReadError(reader_);
        return {systemError_ != 0 ? MemberRead::ReadError : MemberRead::InputEndedEarly, 0};
    case zip::UnzipNoMemory: return {MemberRead::NoMemory, 0};
    default: return {MemberRead::DataError, 0};
    }
}

std::uint64_t MemberStream::TotalDecoded() const
{
    return totalDecoded_;
}

} // namespace tavrin
