#include "engine/FirebirdBackupSalvage.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/FirebirdBackupRecords.h"
#include "engine/FirebirdRowCheck.h"
#include "platform/AtomicFileWriter.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIo.h"
#include "platform/SystemError.h"

namespace tavrin {
namespace {

using fbk::Framing;
using fbk::Place;

// The window grows to hold the longest record it meets, up to this: a blob record
// (a picture in a row) is the largest a LibreOffice database writes.
constexpr std::size_t kLargestWindow = std::size_t{64} << 20;
constexpr std::size_t kFirstWindow = std::size_t{1} << 16;
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
constexpr std::uint8_t kHighestAttributeCode = 100;
// gbak pads a backup with zeros to a multiple of this.
constexpr std::size_t kBackupBlock = 512;

// The unread part of the backup, from the record being read on.
class BackupWindow {
public:
    explicit BackupWindow(int fd) : fd_(fd) {}

    fbk::Span At(std::size_t offset) const
    {
        const std::size_t available = filled_ - begin_;
        if (offset > available)
            offset = available;
        return fbk::Span{buffer_.data() + begin_ + offset, available - offset, atEnd_};
    }

    // Reads more of the file: false at its end, at the largest window, or on an error.
    bool Grow()
    {
        if (atEnd_ || !error_.empty())
            return false;
        if (begin_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, filled_ - begin_);
            filled_ -= begin_;
            begin_ = 0;
        }
        if (filled_ == buffer_.size()) {
            if (buffer_.size() >= kLargestWindow)
                return false;
            buffer_.resize(buffer_.empty() ? kFirstWindow : buffer_.size() * 2);
        }
        const ssize_t got = platform::ReadUpTo(fd_, buffer_.data() + filled_, buffer_.size() - filled_);
        if (got < 0) {
            error_ = platform::LastSystemErrorText();
            return false;
        }
        filled_ += static_cast<std::size_t>(got);
        if (filled_ < buffer_.size())
            atEnd_ = true; // a short read of a regular file is its end
        return true;
    }

    void Advance(std::size_t count) { begin_ += count; }
    const std::string& Error() const { return error_; }

private:
    int fd_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;
    std::size_t filled_ = 0;
    bool atEnd_ = false;
    std::string error_;
};

class Salvager {
public:
    Salvager(int fd, const std::string& target) : window_(fd), out_(target, 0644) {}

    FirebirdSalvage Run()
    {
        fbk::BackupOptions options;
        Framing header;
        do
            header = fbk::FrameBackupHeader(window_.At(0), options);
        while (header.result == Framing::Result::NeedMore && window_.Grow());
        if (!window_.Error().empty())
            return Failed(window_.Error());
        if (header.result != Framing::Result::Whole) {
            result_.outcome = FirebirdSalvage::Outcome::NotABackup;
            return result_;
        }
        options_ = options;
        Keep(window_.At(0).bytes, header.length);
        window_.Advance(header.length);

        bool ended = false;
        bool damaged = false;
        for (;;) {
            Framing framing = FrameAt(0, place_);
            if (framing.result == Framing::Result::Broken) {
                // The last whole record before the damage frames alone.
                const Framing alone = FrameAt(0, place_, fbk::Lookahead::None);
                if (alone.result == Framing::Result::Whole)
                    framing = alone;
            }
            if (!window_.Error().empty())
                return Failed(window_.Error());
            if (framing.result == Framing::Result::Whole) {
                const std::uint8_t type = window_.At(0).bytes[0];
                TakeRecord(type, framing.length);
                place_ = fbk::PlaceAfter(type, place_);
                if (type == fbk::kBackupEnd) {
                    ended = true;
                    break;
                }
                continue;
            }
            damaged = true;
            if (window_.At(0).size == 0)
                break; // the file ends between two records
            if (!Resynchronise())
                break;
            if (!window_.Error().empty())
                return Failed(window_.Error());
        }
        if (!damaged && ended && result_.rowsWithDamagedValues == 0)
            return Whole();
        KeepPendingRow();
        if (!ended) {
            result_.endLost = true;
            if (place_ != Place::Definitions) {
                result_.tableDataCut = true;
                KeepByte(fbk::kRelationEnd);
            }
            KeepByte(fbk::kBackupEnd);
        }
        const std::size_t padding = (kBackupBlock - written_ % kBackupBlock) % kBackupBlock;
        pendingOut_.insert(pendingOut_.end(), padding, 0);
        if (!Flush() || !out_.Commit())
            return Failed(platform::SystemErrorText(out_.Error()));
        result_.outcome = FirebirdSalvage::Outcome::Salvaged;
        return result_;
    }

private:
    Framing FrameAt(std::size_t offset, Place place, fbk::Lookahead lookahead = fbk::Lookahead::NextRecord)
    {
        for (;;) {
            Framing framing = fbk::FrameRecord(window_.At(offset), place, options_, lookahead);
            if (framing.result != Framing::Result::NeedMore)
                return framing;
            if (!window_.Grow()) {
                framing.result = Framing::Result::Broken;
                return framing;
            }
        }
    }

    // A row is kept with the blobs that follow it, once the record after them is whole.
    void TakeRecord(std::uint8_t type, std::size_t length)
    {
        const std::uint8_t* bytes = window_.At(0).bytes;
        if (type == fbk::kRow) {
            KeepPendingRow();
            droppingRow_ = rowCheck_.CheckRow(bytes, length, options_.compressed) == FirebirdRowCheck::Verdict::Damaged;
            if (droppingRow_) {
                ++result_.rowsDropped;
                ++result_.rowsWithDamagedValues;
            } else {
                pendingRow_.assign(bytes, bytes + length);
            }
        } else if (type == fbk::kBlob) {
            if (!droppingRow_)
                pendingRow_.insert(pendingRow_.end(), bytes, bytes + length);
        } else {
            KeepPendingRow();
            droppingRow_ = false;
            rowCheck_.Definition(bytes, length);
            Keep(bytes, length);
        }
        window_.Advance(length);
    }

    void KeepPendingRow()
    {
        if (pendingRow_.empty())
            return;
        Keep(pendingRow_.data(), pendingRow_.size());
        ++result_.rowsKept;
        pendingRow_.clear();
    }

    // Skips the record that did not frame, and everything up to the next place where
    // records frame again. False when the file ends first.
    bool Resynchronise()
    {
        ++result_.stretchesSkipped;
        const fbk::Span damagedSpan = window_.At(0);
        if (place_ == Place::AfterRow && damagedSpan.bytes[0] == fbk::kBlob) {
            // A blob of the row before is damaged: the row goes with it.
            if (!pendingRow_.empty())
                ++result_.rowsDropped;
            pendingRow_.clear();
        } else if (fbk::LooksLikeRowStart(damagedSpan)) {
            ++result_.rowsDropped;
        }
        for (;;) {
            window_.Advance(1);
            ++result_.bytesSkipped;
            if (window_.At(0).size < 16 && !window_.Grow() && window_.At(0).size == 0)
                return false;
            if (!window_.Error().empty())
                return false;
            bool closesTable = false;
            if (Candidate(closesTable)) {
                droppingRow_ = false;
                if (closesTable) {
                    KeepPendingRow();
                    KeepByte(fbk::kRelationEnd);
                    place_ = Place::Definitions;
                } else if (place_ == Place::AfterRow) {
                    place_ = Place::TableData;
                }
                return true;
            }
            if (fbk::LooksLikeRowStart(window_.At(0)))
                ++result_.rowsDropped;
        }
    }

    // Whether records frame again from here. Inside a table's rows that is a row, the
    // end of the rows or the next table's rows (`closesTable`: the end is written for
    // it); elsewhere any definition record followed by another.
    bool Candidate(bool& closesTable)
    {
        const fbk::Span span = window_.At(0);
        const std::uint8_t type = span.bytes[0];
        if (place_ != Place::Definitions) {
            if (type == fbk::kRow)
                return fbk::LooksLikeRowStart(span) && FrameAt(0, Place::TableData).result == Framing::Result::Whole;
            // The end of the rows is one byte, so what follows it must show more: the next
            // table's rows, or a longer run of definitions than elsewhere.
            if (type == fbk::kRelationEnd)
                return FrameAt(0, Place::TableData).result == Framing::Result::Whole &&
                       (StartsKnownTable(1) || DefinitionsFollowFrom(1, 3));
            if (type == fbk::kTableData && DefinitionsFollowFrom(0)) {
                closesTable = true;
                return true;
            }
            return false;
        }
        if (type == fbk::kBackupEnd)
            return OnlyZerosAfterEnd();
        return DefinitionsFollowFrom(0);
    }

    // `records` definition records with attributes from `offset` on, each whole (the
    // last one with the record after it): random bytes rarely frame twice. A table's
    // rows must be those of a table the definitions named.
    bool DefinitionsFollowFrom(std::size_t offset, int records = 2)
    {
        Place place = Place::Definitions;
        for (int record = 0; record < records; ++record) {
            const fbk::Span here = window_.At(offset);
            if (here.size == 0)
                return record > 0 && here.reachesEnd;
            const std::uint8_t type = here.bytes[0];
            if (record > 0 && type == fbk::kBackupEnd)
                return true;
            if (type == fbk::kTableData)
                return StartsKnownTable(offset);
            const Framing framing = FrameAt(offset, place);
            if (framing.result != Framing::Result::Whole || (record == 0 && framing.length < 4) ||
                type == fbk::kBackupEnd || !PlausibleCodes(offset, framing.length))
                return false;
            place = fbk::PlaceAfter(type, place);
            if (place != Place::Definitions)
                return true; // an index or row after a table's start framed with it
            offset += framing.length;
        }
        return true;
    }

    // Firebird 3 numbers the attributes of every record type from 1 upwards, well below
    // this; random bytes that frame as a record mostly carry larger codes.
    bool PlausibleCodes(std::size_t offset, std::size_t length)
    {
        const std::uint8_t* bytes = window_.At(offset).bytes;
        if (length <= 2)
            return true; // one-byte records, or none but the end code
        const std::vector<fbk::Attribute> attributes = fbk::RecordAttributes(bytes, length);
        if (attributes.empty())
            return false;
        for (const fbk::Attribute& attribute : attributes)
            if (attribute.code > kHighestAttributeCode)
                return false;
        return true;
    }

    bool StartsKnownTable(std::size_t offset)
    {
        const fbk::Span here = window_.At(offset);
        if (here.size == 0 || here.bytes[0] != fbk::kTableData)
            return false;
        const Framing framing = FrameAt(offset, Place::Definitions);
        if (framing.result != Framing::Result::Whole)
            return false;
        const std::vector<fbk::Attribute> attributes = fbk::RecordAttributes(window_.At(offset).bytes, framing.length);
        return rowCheck_.KnowsTable(fbk::TextOf(attributes, 1));
    }

    // The end record of a backup is followed by its zero padding only.
    bool OnlyZerosAfterEnd()
    {
        while (window_.At(0).size < kBackupBlock + 1 && window_.Grow()) {
        }
        const fbk::Span span = window_.At(0);
        const std::size_t checked = span.size < kBackupBlock + 1 ? span.size : kBackupBlock + 1;
        if (checked < kBackupBlock + 1 && !span.reachesEnd)
            return false;
        for (std::size_t at = 1; at < checked; ++at)
            if (span.bytes[at] != 0)
                return false;
        return true;
    }

    void Keep(const std::uint8_t* bytes, std::size_t length)
    {
        pendingOut_.insert(pendingOut_.end(), bytes, bytes + length);
        written_ += length;
        if (pendingOut_.size() >= kWriteChunk)
            Flush();
    }

    void KeepByte(std::uint8_t byte) { Keep(&byte, 1); }

    bool Flush()
    {
        const bool written = out_.Write(pendingOut_.data(), pendingOut_.size());
        pendingOut_.clear();
        return written;
    }

    FirebirdSalvage Whole()
    {
        result_.outcome = FirebirdSalvage::Outcome::Whole;
        return result_; // the writer, never committed, removes its work file
    }

    FirebirdSalvage Failed(const std::string& error)
    {
        result_.outcome = FirebirdSalvage::Outcome::Failed;
        result_.error = error;
        return result_;
    }

    BackupWindow window_;
    platform::AtomicFileWriter out_;
    fbk::BackupOptions options_;
    Place place_ = Place::Definitions;
    std::vector<std::uint8_t> pendingRow_; // a whole row and its blobs, not yet kept
    bool droppingRow_ = false;             // the row read last had damaged values: its blobs go too
    FirebirdRowCheck rowCheck_;
    std::vector<std::uint8_t> pendingOut_;
    std::uint64_t written_ = 0;
    FirebirdSalvage result_;
};

} // namespace

FirebirdSalvage SalvageFirebirdBackup(const std::string& source, const std::string& target)
{
    const platform::FileDescriptor file(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!file.IsOpen()) {
        FirebirdSalvage failed;
        failed.error = platform::LastSystemErrorText();
        return failed;
    }
    return Salvager(file.Get(), target).Run();
}

} // namespace tavrin
