// What LibreOffice and the desktop need of a rebuilt package, checked without
// LibreOffice: mimetype first and plain, a manifest that lists every member, and a
// content template that names the embedded engine.
#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

#include "../zip/ScratchFolder.h"
#include "engine/ContentXml.h"
#include "engine/ManifestRepair.h"
#include "platform/FileIo.h"
#include "zip/FolderZipper.h"
#include "zip/ZipArchive.h"

#include <cerrno>

using namespace tavrin;

namespace {

std::uint32_t U16(const std::string& bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

std::uint32_t U32(const std::string& bytes, std::size_t at)
{
    return U16(bytes, at) | U16(bytes, at + 2) << 16;
}

struct ArchiveMember {
    std::string name;
    std::size_t localOffset = 0;
    std::uint32_t method = 0;
    std::uint32_t localFlags = 0;
    std::uint32_t localExtra = 0;
    std::uint32_t centralExtra = 0;
};

// Reads the central directory and checks each local header against its entry, and
// that the members follow each other without gap or overlap.
std::vector<ArchiveMember> ReadSoundArchive(const std::string& bytes)
{
    const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(end, std::string::npos);
    if (end == std::string::npos)
        return {};
    const std::uint32_t count = U16(bytes, end + 10);
    std::size_t position = U32(bytes, end + 16);
    const std::size_t directoryStart = position;
    std::vector<ArchiveMember> members;
    std::size_t expectedOffset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(bytes.substr(position, 4), std::string("PK\x01\x02", 4));
        ArchiveMember member;
        const std::uint32_t nameLength = U16(bytes, position + 28);
        member.centralExtra = U16(bytes, position + 30);
        member.name = bytes.substr(position + 46, nameLength);
        member.method = U16(bytes, position + 10);
        member.localOffset = U32(bytes, position + 42);
        const std::size_t local = member.localOffset;
        EXPECT_EQ(local, expectedOffset) << member.name << ": gap or overlap before it";
        EXPECT_EQ(bytes.substr(local, 4), std::string("PK\x03\x04", 4)) << member.name;
        // version needed, flags, method, time, CRC, sizes, name length
        EXPECT_EQ(bytes.substr(local + 4, 24), bytes.substr(position + 6, 24)) << member.name;
        EXPECT_EQ(bytes.substr(local + 30, nameLength), member.name);
        member.localFlags = U16(bytes, local + 6);
        member.localExtra = U16(bytes, local + 28);
        expectedOffset = local + 30 + nameLength + member.localExtra + U32(bytes, position + 20);
        members.push_back(member);
        position += 46 + nameLength + member.centralExtra + U16(bytes, position + 32);
    }
    EXPECT_EQ(expectedOffset, directoryStart) << "gap before the central directory";
    return members;
}

std::vector<std::string> Names(const std::vector<ArchiveMember>& members)
{
    std::vector<std::string> names;
    for (const ArchiveMember& member : members)
        names.push_back(member.name);
    return names;
}

const std::string kMediaType = "application/vnd.oasis.opendocument.base";

void WritePackageFolder(const ScratchFolder& folder)
{
    folder.Write("pkg/META-INF/manifest.xml", "<manifest/>");
    folder.Write("pkg/content.xml", std::string(1500, 'c'));
    folder.Write("pkg/database/script", std::string(300, 's'));
    folder.Write("pkg/mimetype", kMediaType);
    folder.Write("pkg/zeta.xml", std::string(4000, 'z'));
}

} // namespace

TEST(PackageOrder, MimetypeComesFirstStoredWithoutExtraFieldWhenAsked)
{
    ScratchFolder scratch;
    WritePackageFolder(scratch);
    zip::FolderZipper zipper;
    zipper.SetMimetypeFirst(true);
    const zip::ZipFolderResult result = zipper.ZipFolder(scratch / "pkg", scratch / "out.odb");
    ASSERT_TRUE(result.complete) << result.error;
    EXPECT_EQ(result.membersWritten, 5);

    const std::string bytes = ScratchFolder::Read(scratch / "out.odb");
    const std::vector<ArchiveMember> members = ReadSoundArchive(bytes);
    EXPECT_EQ(Names(members), (std::vector<std::string>{"mimetype", "META-INF/manifest.xml", "content.xml",
                                                        "database/script", "zeta.xml"}));
    ASSERT_FALSE(members.empty());
    EXPECT_EQ(members[0].method, 0u);
    EXPECT_EQ(members[0].localFlags, 0u);
    EXPECT_EQ(members[0].localExtra, 0u);
    EXPECT_EQ(members[0].centralExtra, 0u);
    // What desktop file-type detection reads: the name at 30, the media type at 38.
    EXPECT_EQ(bytes.substr(30, 8 + kMediaType.size()), "mimetype" + kMediaType);
    for (std::size_t i = 1; i < members.size(); ++i) {
        EXPECT_EQ(members[i].localExtra, 17u) << members[i].name;
        EXPECT_EQ(members[i].method, 8u) << members[i].name;
    }
}

TEST(PackageOrder, PlainArchiverKeepsFolderOrderAndExtraFields)
{
    ScratchFolder scratch;
    WritePackageFolder(scratch);
    scratch.Write("pkg/sub/mimetype", "not the package's own");
    const zip::ZipFolderResult result = zip::FolderZipper().ZipFolder(scratch / "pkg", scratch / "out.zip");
    ASSERT_TRUE(result.complete) << result.error;
    const std::vector<ArchiveMember> members = ReadSoundArchive(ScratchFolder::Read(scratch / "out.zip"));
    EXPECT_EQ(Names(members), (std::vector<std::string>{"META-INF/manifest.xml", "content.xml", "database/script",
                                                        "mimetype", "sub/mimetype", "zeta.xml"}));
    for (const ArchiveMember& member : members)
        EXPECT_EQ(member.localExtra, 17u) << member.name;
}

TEST(PackageOrder, NoMimetypeFileMeansPlainOrderWithoutDuplicates)
{
    ScratchFolder scratch;
    scratch.Write("pkg/content.xml", "x");
    scratch.Write("pkg/sub/mimetype", "inner");
    zip::FolderZipper zipper;
    zipper.SetMimetypeFirst(true);
    ASSERT_TRUE(zipper.ZipFolder(scratch / "pkg", scratch / "out.odb").complete);
    EXPECT_EQ(Names(ReadSoundArchive(ScratchFolder::Read(scratch / "out.odb"))),
              (std::vector<std::string>{"content.xml", "sub/mimetype"}));
}

namespace {

// Reads of one chosen source descriptor fail after its first chunk.
class FailingSourceIo : public platform::FileIo {
public:
    int failingFd = -1;
    ssize_t Read(int fd, void* buffer, std::size_t size) override
    {
        if (fd == failingFd && readsDone_++ > 0) {
            errno = EIO;
            return -1;
        }
        return FileIo::Read(fd, buffer, size);
    }

private:
    int readsDone_ = 0;
};

} // namespace

TEST(PackageMembers, NoNameTwiceAndNoGapAfterAFailedMember)
{
    ScratchFolder scratch;
    std::string noise;
    for (int i = 0; i < 200000; ++i)
        noise += static_cast<char>((i * 7919) >> 3);
    const std::string failing = scratch.Write("failing.bin", noise);
    const int failingFd = ::open(failing.c_str(), O_RDONLY);
    ASSERT_GE(failingFd, 0);

    zip::ZipHandle* handle = zip::CreateZipArchive(scratch / "out.zip");
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(zip::AddToZipArchive(handle, "a/b.txt", zip::ZipSource::Memory("first", 5)), zip::ZipOk);
    EXPECT_EQ(zip::AddToZipArchive(handle, "a/b.txt", zip::ZipSource::Memory("again", 5)), zip::ZipBadArguments);
    EXPECT_EQ(zip::AddToZipArchive(handle, "a\\b.txt", zip::ZipSource::Memory("again", 5)), zip::ZipBadArguments);
    {
        FailingSourceIo io;
        io.failingFd = failingFd;
        platform::FileIo* previous = platform::FileIo::Install(&io);
        EXPECT_EQ(zip::AddToZipArchive(handle, "failing.bin", zip::ZipSource::Handle(failingFd)), zip::ZipReadFailed);
        platform::FileIo::Install(previous);
    }
    ::close(failingFd);
    ASSERT_EQ(zip::AddToZipArchive(handle, "last.txt", zip::ZipSource::Memory("last", 4)), zip::ZipOk);
    ASSERT_EQ(zip::CloseZipArchive(handle), zip::ZipOk);

    const std::string bytes = ScratchFolder::Read(scratch / "out.zip");
    EXPECT_EQ(Names(ReadSoundArchive(bytes)), (std::vector<std::string>{"a/b.txt", "last.txt"}));
    EXPECT_EQ(bytes.size() - bytes.rfind(std::string("PK\x05\x06", 4)), 22u) << "bytes after the end record";
}

TEST(ManifestReading, WellFormedManifestsGiveTheirEntries)
{
    const ManifestReading reading = ReadManifest(
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE manifest:manifest PUBLIC \"x\" \"Manifest.dtd\">\n"
        "<!-- written by hand -->\n<manifest:manifest xmlns:manifest=\"urn:x\">\n"
        " <manifest:file-entry manifest:full-path='/' manifest:version=\"1.3\" manifest:media-type=\"" +
        kMediaType + "\"/>\n <manifest:file-entry manifest:media-type=\"\" manifest:full-path=\"a&amp;b &#x4E2D;.bin\">"
        "<manifest:encryption-data/></manifest:file-entry>\n</manifest:manifest>\n");
    ASSERT_TRUE(reading.parsed);
    ASSERT_EQ(reading.entries.size(), 2u);
    EXPECT_EQ(reading.entries[0].fullPath, "/");
    EXPECT_EQ(reading.entries[0].version, "1.3");
    EXPECT_EQ(reading.entries[0].mediaType, kMediaType);
    EXPECT_EQ(reading.entries[1].fullPath, "a&b \xE4\xB8\xAD.bin");
}

TEST(ManifestReading, BrokenTextIsNotAManifest)
{
    const std::map<std::string, std::string> cases = {
        {"empty", ""},
        {"cut short", "<manifest:manifest><manifest:file-entry manifest:full-path=\"/\"/>"},
        {"cut inside a tag", "<manifest:manifest><manifest:file-entry manifest:full-pa"},
        {"wrong closing tag", "<manifest:manifest><a></b></manifest:manifest>"},
        {"unquoted attribute", "<manifest:manifest><manifest:file-entry manifest:full-path=x/></manifest:manifest>"},
        {"unknown entity", "<manifest:manifest>&nbsp;</manifest:manifest>"},
        {"text after the root", "<manifest:manifest/>junk"},
        {"two roots", "<manifest:manifest/><manifest:manifest/>"},
        {"another document", "<office:document-content/>"},
        {"zeros", std::string(64, '\0')},
        {"same attribute twice", "<manifest:manifest a=\"1\" a=\"2\"/>"},
    };
    for (const auto& [label, text] : cases) {
        const ManifestReading reading = ReadManifest(text);
        EXPECT_FALSE(reading.parsed) << label;
        EXPECT_TRUE(reading.entries.empty()) << label;
    }
}

class ManifestRepairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch_.Write("pkg/mimetype", kMediaType);
        scratch_.Write("pkg/content.xml", "<c/>");
        scratch_.Write("pkg/settings.xml", "<s/>");
        scratch_.Write("pkg/database/data", std::string(10, '\0'));
        scratch_.Write("pkg/database/script", "CREATE");
        scratch_.Write("pkg/forms/Obj11/content.xml", "<f/>");
        scratch_.Write("pkg/forms/Obj11/Pictures/1000.PNG", "png");
        scratch_.Write("pkg/forms/Obj11/Pictures/2000.jpeg", "jpeg");
    }

    std::string Folder() const { return scratch_ / "pkg"; }
    std::string Manifest() const { return ScratchFolder::Read(scratch_ / "pkg/META-INF/manifest.xml"); }

    std::map<std::string, std::string> Listed() const
    {
        const ManifestReading reading = ReadManifest(Manifest());
        EXPECT_TRUE(reading.parsed) << Manifest();
        std::map<std::string, std::string> types;
        for (const ManifestEntry& entry : reading.entries)
            types[entry.fullPath] = entry.mediaType;
        return types;
    }

    ScratchFolder scratch_;
};

TEST_F(ManifestRepairTest, LostManifestIsWrittenWithEveryMember)
{
    EXPECT_EQ(RepairManifest(Folder()), ManifestAction::WroteMissing);
    const std::map<std::string, std::string> expected = {
        {"/", kMediaType},
        {"content.xml", "text/xml"},
        {"settings.xml", "text/xml"},
        {"database/data", ""},
        {"database/script", ""},
        {"forms/Obj11/", "application/vnd.oasis.opendocument.text"},
        {"forms/Obj11/content.xml", "text/xml"},
        {"forms/Obj11/Pictures/1000.PNG", "image/png"},
        {"forms/Obj11/Pictures/2000.jpeg", "image/jpeg"},
    };
    EXPECT_EQ(Listed(), expected);
    EXPECT_NE(ManifestLogText(ManifestAction::WroteMissing).find("....\r\n"), std::string::npos);
}

TEST_F(ManifestRepairTest, UnreadableManifestIsReplaced)
{
    scratch_.Write("pkg/META-INF/manifest.xml", "<manifest:manifest><manifest:file-entry manifest:full-path=\"/\"");
    EXPECT_EQ(RepairManifest(Folder()), ManifestAction::WroteUnreadable);
    EXPECT_EQ(Listed().size(), 9u);
}

TEST_F(ManifestRepairTest, ManifestMissingMembersKeepsTheTypesItKnew)
{
    scratch_.Write("pkg/META-INF/manifest.xml",
                   "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
                   "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.3\" manifest:media-type=\"" +
                       kMediaType + "\"/>"
                   "<manifest:file-entry manifest:full-path=\"database/script\" manifest:media-type=\"text/plain\"/>"
                   "<manifest:file-entry manifest:full-path=\"Thumbnails/thumbnail.png\" manifest:media-type=\"image/png\"/>"
                   "</manifest:manifest>");
    EXPECT_EQ(RepairManifest(Folder()), ManifestAction::WroteIncomplete);
    const std::map<std::string, std::string> listed = Listed();
    EXPECT_EQ(listed.size(), 9u);
    EXPECT_EQ(listed.at("database/script"), "text/plain");
    EXPECT_EQ(listed.count("Thumbnails/thumbnail.png"), 0u) << "a member that is not there is not listed";
    EXPECT_NE(Manifest().find("manifest:version=\"1.3\""), std::string::npos);
}

// Rewriting a manifest for what it left out keeps every entry that is still there as it
// was written: its size and encryption data make the streams of a password-protected
// package readable. Only the entries of members that are gone are dropped.
TEST_F(ManifestRepairTest, RewriteKeepsEverySurvivingEntryAsItWas)
{
    const std::string encrypted =
        "<m:file-entry m:full-path=\"database/script\" m:media-type=\"\" m:size=\"6\">\n"
        "  <m:encryption-data m:checksum-type=\"SHA1/1K\" m:checksum=\"aGVsbG8=\">\n"
        "   <m:algorithm m:algorithm-name=\"Blowfish CFB\" m:initialisation-vector=\"aXY=\"/>\n"
        "   <m:key-derivation m:key-derivation-name=\"PBKDF2\" m:iteration-count=\"1024\" m:salt=\"c2FsdA==\"/>\n"
        "  </m:encryption-data>\n"
        " </m:file-entry>";
    const std::string root = "<m:file-entry m:full-path=\"/\" m:version=\"1.2\" m:media-type=\"" + kMediaType + "\"/>";
    const std::string data = "<m:file-entry m:full-path=\"database/data\" m:media-type=\"\" m:size=\"10\"/>";
    const std::string gone = "<m:file-entry m:full-path=\"Thumbnails/thumbnail.png\" m:media-type=\"image/png\"/>";
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<m:manifest xmlns:m=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
                             "m:version=\"1.2\">\n";
    scratch_.Write("pkg/META-INF/manifest.xml",
                   head + " " + root + "\n " + encrypted + "\n " + gone + "\n " + data + "\n</m:manifest>\n");
    EXPECT_EQ(RepairManifest(Folder()), ManifestAction::WroteIncomplete);
    const std::string text = Manifest();
    EXPECT_EQ(text.rfind(head + " " + root + "\n " + encrypted + "\n " + data + "\n", 0), 0u) << text;
    EXPECT_EQ(text.find("thumbnail"), std::string::npos) << text;
    const std::map<std::string, std::string> listed = Listed();
    EXPECT_EQ(listed.size(), 9u);
    EXPECT_EQ(listed.at("forms/Obj11/Pictures/1000.PNG"), "image/png");
    // Entries added under a root of another prefix bring their own declaration.
    EXPECT_NE(text.find("<manifest:file-entry xmlns:manifest="), std::string::npos) << text;
}

TEST_F(ManifestRepairTest, CompleteManifestIsLeftAlone)
{
    ASSERT_EQ(RepairManifest(Folder()), ManifestAction::WroteMissing);
    const std::string first = Manifest();
    scratch_.Write("pkg/META-INF/manifest.xml", first + "\n<!-- kept -->\n");
    EXPECT_EQ(RepairManifest(Folder()), ManifestAction::KeptExisting);
    EXPECT_EQ(Manifest(), first + "\n<!-- kept -->\n");
    EXPECT_TRUE(ManifestLogText(ManifestAction::KeptExisting).empty());
}

TEST(PackageMimetype, LostMimetypeIsWrittenAndAnExistingOneKept)
{
    ScratchFolder scratch;
    scratch.Write("lost/content.xml", "<c/>");
    scratch.Write("odd/mimetype", "application/zip");
    EXPECT_TRUE(WriteMissingMimetype(scratch / "lost"));
    EXPECT_EQ(ScratchFolder::Read(scratch / "lost/mimetype"), kMediaType);
    EXPECT_FALSE(WriteMissingMimetype(scratch / "lost"));
    EXPECT_FALSE(WriteMissingMimetype(scratch / "odd"));
    EXPECT_EQ(ScratchFolder::Read(scratch / "odd/mimetype"), "application/zip");
}

TEST(ContentTemplate, NamesTheEmbeddedEngine)
{
    ScratchFolder scratch;
    scratch.Write("hsqldb/database/script", "CREATE");
    scratch.Write("firebird/database/firebird.fbk", "fbk");
    scratch.Write("fdb/database/firebird.fdb", "fdb");
    ASSERT_EQ(RegenerateContentXml(scratch / "hsqldb"), ContentXmlAction::WroteTemplate);
    EXPECT_EQ(ScratchFolder::Read(scratch / "hsqldb/content.xml"), std::string(ContentXmlTemplate()));
    for (const char* folder : {"firebird", "fdb"}) {
        ASSERT_EQ(RegenerateContentXml(scratch / folder), ContentXmlAction::WroteTemplate) << folder;
        std::string expected(ContentXmlTemplate());
        expected.replace(expected.find("sdbc:embedded:hsqldb"), 20, "sdbc:embedded:firebird");
        EXPECT_EQ(ScratchFolder::Read(scratch / folder + "/content.xml"), expected) << folder;
    }
}
