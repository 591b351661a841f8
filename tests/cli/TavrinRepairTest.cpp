// tavrin-repair as a user runs it: exit status, what it prints, what it leaves behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

const std::string kFixtures = TAVRIN_TEST_DATA_DIR "/fixtures";

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class TavrinRepair : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavrin-cli-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "tmp");
        fs::create_directories(root / "out");
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs in `root` with TMPDIR at root/tmp; output and errors are kept.
    int Run(const std::string& arguments)
    {
        const std::string command = "cd " + Quote(root.string()) + " && TMPDIR=" + Quote((root / "tmp").string()) +
                                    " " + Quote(TAVRIN_REPAIR_EXE) + " " + arguments + " >stdout.txt 2>stderr.txt";
        const int status = std::system(command.c_str());
        out = Slurp(root / "stdout.txt");
        err = Slurp(root / "stderr.txt");
        fs::remove(root / "stdout.txt");
        fs::remove(root / "stderr.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string Fixture(const std::string& name) { return Quote(kFixtures + "/" + name); }

    fs::path root;
    std::string out;
    std::string err;
};

TEST_F(TavrinRepair, ExitStatusSaysWhetherEveryFileWasRepairedAndSaved)
{
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {
        {"-o out " + Fixture("intact.odb") + " " + Fixture("no-central-directory.odb"), 0},
        {"-o out " + Fixture("intact.odb") + " " + Fixture("not-a-zip.odb"), 1},
        {"-o out " + Fixture("intact.odb") + " missing.odb", 1},
        {"-o out " + Fixture("flipped-bytes-in-deflated-member.odb"), 3}, // saved, but a member is cut
        {"", 2},
        {"--frobnicate " + Fixture("intact.odb"), 2},
        {"-o", 2},
        {"-o no-such-folder " + Fixture("intact.odb"), 2},
        {"--help", 0},
        {"--version", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Run(c.arguments), c.status) << c.arguments << "\n" << err;

    EXPECT_EQ(Run("-o no-such-folder " + Fixture("intact.odb")), 2);
    EXPECT_EQ(err, "tavrin-repair: no-such-folder: No such file or directory (the output folder must exist)\n"
                   "Try 'tavrin-repair --help' for more information.\n");
    EXPECT_EQ(Run("--version"), 0);
    EXPECT_EQ(out.rfind("tavrin-repair ", 0), 0u);
}

TEST_F(TavrinRepair, WritesTheRebuiltPackageAndMediaIntoTheOutputFolder)
{
    ASSERT_EQ(Run("--output out " + Fixture("intact.odb")), 0) << err;
    EXPECT_EQ(Entries(root / "out"), (std::vector<std::string>{"TAVRINREP_intact.odb", "intact.odb_MediaContent"}));
    EXPECT_EQ(Entries(root / "out/intact.odb_MediaContent"),
              (std::vector<std::string>{"10000000000000300000003086E1B2C4.png", "thumbnail.png"}));
    const std::string test = "unzip -tqq " + Quote((root / "out/TAVRINREP_intact.odb").string()) + " >/dev/null";
    EXPECT_EQ(std::system(test.c_str()), 0);
    // The log lines as the batches word them, without carriage returns or colours (not a terminal).
    const std::string path = kFixtures + "/intact.odb";
    EXPECT_NE(out.find(path + " file is open....\n"), std::string::npos);
    EXPECT_NE(out.find(path + "  Repaired....\n"), std::string::npos);
    EXPECT_NE(out.find(path + " saving of file done....\n"), std::string::npos);
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_EQ(out.find('\033'), std::string::npos);
    EXPECT_EQ(out.find("% complete"), std::string::npos);
    EXPECT_NE(err.find("Saved file(s) location is:\nout\n"), std::string::npos);
    // The private workspace is gone.
    EXPECT_TRUE(Entries(root / "tmp").empty());

    ASSERT_EQ(Run("-q --no-media -o out " + Fixture("content-xml-missing.odb")), 0) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_FALSE(fs::exists(root / "out/content-xml-missing.odb_MediaContent"));
    EXPECT_TRUE(fs::exists(root / "out/TAVRINREP_content-xml-missing.odb"));
}

// On a terminal (a pseudo-terminal from script(1)) the lines are coloured and the
// progress is drawn and cleared in place.
TEST_F(TavrinRepair, TerminalGetsColoursAndProgressInPlace)
{
    const std::string inner = "cd " + Quote(root.string()) + " && " + Quote(TAVRIN_REPAIR_EXE) + " -o out " +
                              Fixture("intact.odb");
    const std::string command = "script -qfec " + Quote(inner) + " /dev/null >" + Quote((root / "tty.txt").string());
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string tty = Slurp(root / "tty.txt");
    EXPECT_NE(tty.find("\033[1;32m" + kFixtures + "/intact.odb  Repaired....\033[0m"), std::string::npos);
    EXPECT_NE(tty.find("Total files progress: 100.00% complete. Estimated completion: "), std::string::npos);
    EXPECT_NE(tty.find("File progress: 100.00% complete. Estimated completion: "), std::string::npos);
    EXPECT_NE(tty.find("\r\033[K"), std::string::npos);

    const std::string plain = "script -qfec " + Quote(inner + " --no-color --force") + " /dev/null >" +
                              Quote((root / "tty.txt").string());
    ASSERT_EQ(std::system(plain.c_str()), 0);
    EXPECT_EQ(Slurp(root / "tty.txt").find("\033[1;32m"), std::string::npos);
}

TEST_F(TavrinRepair, FailedPackagesLeaveNoOutput)
{
    EXPECT_EQ(Run("-q -o out " + Fixture("not-a-zip.odb") + " " + Fixture("empty.odb") + " missing.odb"), 1);
    EXPECT_TRUE(Entries(root / "out").empty());
    EXPECT_TRUE(Entries(root / "tmp").empty());
}

TEST_F(TavrinRepair, ResultThatCannotBeMovedIntoPlaceFailsTheRunAndLeavesNoStaging)
{
    std::ofstream(root / "out/intact.odb_MediaContent") << "a file where the media folder goes";
    // The package is saved, its pictures are not: a loss, said even under -q.
    EXPECT_EQ(Run("-q -o out " + Fixture("intact.odb")), 3);
    EXPECT_NE(err.find("tavrin-repair: out/intact.odb_MediaContent: already exists; give --force to add the pictures "
                       "to it (2 picture(s) not copied)\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("intact.odb: saved with losses (2 member(s) or picture(s) not recovered whole)\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(Entries(root / "out"), (std::vector<std::string>{"TAVRINREP_intact.odb", "intact.odb_MediaContent"}));
    EXPECT_EQ(Slurp(root / "out/intact.odb_MediaContent"), "a file where the media folder goes");
}

TEST_F(TavrinRepair, ListPrintsMembersAndExtractsNothing)
{
    ASSERT_EQ(Run("--list " + Fixture("intact.odb")), 0) << err;
    EXPECT_EQ(out.rfind(kFixtures + "/intact.odb: 10 member(s)\n", 0), 0u);
    EXPECT_NE(out.find("           118          710         2176  content.xml\n"), std::string::npos);
    // Members that lost their sizes are listed with the sizes their streams gave.
    ASSERT_EQ(Run("--list " + Fixture("data-descriptors-without-signature.odb")), 0) << err;
    EXPECT_NE(out.find(": 10 member(s)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("          2829         2473         4096  database/data\n"), std::string::npos) << out;
    EXPECT_TRUE(Entries(root / "out").empty());
    EXPECT_TRUE(Entries(root / "tmp").empty());
    EXPECT_EQ(Run("--list missing.odb"), 1);
    EXPECT_EQ(err, "tavrin-repair: missing.odb: No such file or directory\n");
}

// A member name is bytes from a damaged file: listing it must not send escape sequences
// to the terminal or start a line of its own.
TEST_F(TavrinRepair, ListShowsControlCharactersInNamesAsEscapes)
{
    const std::string name = "a\x1b[2J\nb";
    std::string header("PK\3\4", 4);
    // version 20, no flags, stored, no time, CRC 0, both sizes 1, the name, no extra field
    const unsigned char fields[26] = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                                      static_cast<unsigned char>(name.size()), 0, 0, 0};
    header.append(reinterpret_cast<const char*>(fields), sizeof fields);
    std::ofstream(root / "named.odb", std::ios::binary) << header << name << "x";
    ASSERT_EQ(Run("--list named.odb"), 0) << err;
    EXPECT_NE(out.find("  a\\x1b[2J\\x0ab\n"), std::string::npos) << out;
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

// The report is checked with Python's own JSON reader, field by field.
TEST_F(TavrinRepair, JsonReportDescribesEveryPackage)
{
    // One deflated member whose data does not inflate: nothing of it can come back.
    const char lost[] = "PK\3\4\x14\0\0\0\x08\0\0\0\x21\0\0\0\0\0\x08\0\0\0\x64\0\0\0\x0d\0\0\0"
                        "database/data\xff\xff\xff\xff\xff\xff\xff\xff";
    std::ofstream(root / "lost.odb", std::ios::binary).write(lost, sizeof lost - 1);
    ASSERT_EQ(Run("--json -o out " + Fixture("hole-of-zeros.odb") + " " + Fixture("not-a-zip.odb") + " gone.odb lost.odb"),
              1);
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys
d = json.load(open(sys.argv[1]))
assert d["schema_version"] == 2 and d["output"] == "out" and d["exit_status"] == 1, d
a, b, c, e = d["packages"]
assert a["result"] == "saved-with-losses" and a["output"] == "out/TAVRINREP_hole-of-zeros.odb", a
assert a["members_found"] == 9 and a["members_written"] == 8, a
assert a["members_not_recovered"] == ["settings.xml"], a
assert a["content_xml"] == "original" and a["media_folder"] == "out/hole-of-zeros.odb_MediaContent", a
assert a["documents_listed"] == [] and a["renamed"] == [] and a["renamed_not_listed"] == 0, a
m = a["members"][0]
assert set(m) == {"name", "compressed_size", "uncompressed_size", "data_offset", "sizes_from", "outcome",
                  "bytes_written", "recorded_crc", "crc_check"}, m
assert m["name"] == "mimetype" and m["recorded_crc"] == "f70d9ff8" and m["crc_check"] == "matches", m
assert m["sizes_from"] == "local-header", m
assert a["nothing_found"] is None and a["lost_members_not_listed"] == 0, a
assert b["result"] == "save-failed" and b["members_found"] == 0 and b["output"] is None, b
assert b["error"] == "nothing was recovered", b
assert b["nothing_found"] == "no ZIP member header in its 2149 bytes, it is not a database package", b
assert c["path"] == "gone.odb" and c["result"] == "open-failed", c
assert c["error"] == "No such file or directory", c
assert e["result"] == "nothing-recovered" and e["output"] is None, e
assert e["error"] == "none of the 1 members found could be recovered", e
assert e["members_not_recovered"] == ["database/data"] and e["members"][0]["outcome"] == "not-inflated", e
assert e["members"][0]["defect"] == "data-damaged", e
)";
    std::ofstream(root / "check.py") << check;
    const std::string command =
        "/usr/bin/python3 " + Quote((root / "check.py").string()) + " " + Quote((root / "report.json").string());
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
    // The log goes to stderr so that stdout holds the report alone.
    EXPECT_NE(err.find("  Repaired....\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "out/TAVRINREP_lost.odb"));

    // A file with no member in it is no package, for the list too.
    ASSERT_EQ(Run("--list --json " + Fixture("empty.odb")), 1);
    EXPECT_EQ(out, "{\"schema_version\": 2, \"packages\": [\n  {\"path\": \"" + kFixtures +
                       "/empty.odb\", \"opened\": true, \"error\": \"no package member found, it is not a database "
                       "package\", \"members\": []}\n]}\n");
}

// Two packages in one file: each is rebuilt, published and reported on its own, the
// second beside the first as TAVRINREP_<stem>-2.odb, under the same never-replace rule.
TEST_F(TavrinRepair, TwoPackagesInOneFileGiveTwoOutputsAndTheReportNamesBoth)
{
    ASSERT_EQ(Run("--json -o out " + Fixture("two-packages-concatenated.odb")), 0) << err;
    EXPECT_EQ(Entries(root / "out"),
              (std::vector<std::string>{"TAVRINREP_two-packages-concatenated-2.odb", "TAVRINREP_two-packages-concatenated.odb",
                                        "two-packages-concatenated.odb_MediaContent"}));
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys, zipfile
p = json.load(open(sys.argv[1]))["packages"][0]
assert p["packages_in_file"] == 2 and p["package"] == 1 and p["result"] == "saved", p
assert p["copies_set_aside"] == [] and p["copy_paths_not_listed"] == 0, p
assert p["members_found"] == 10 and p["output"] == "out/TAVRINREP_two-packages-concatenated.odb", p
(q,) = p["further_packages"]
assert q["package"] == 2 and q["packages_in_file"] == 2 and q["result"] == "saved", q
assert q["output"] == "out/TAVRINREP_two-packages-concatenated-2.odb" and q["media_folder"] is None, q
assert q["further_packages"] == [] and q["members_not_recovered"] == [], q
assert [m["name"] for m in q["members"]] == ["mimetype", "content.xml", "database/script", "database/properties",
                                              "META-INF/manifest.xml"], q
assert all(m["data_offset"] >= 7531 and m["crc_check"] == "matches" for m in q["members"]), q
second = zipfile.ZipFile(q["output"])
assert second.testzip() is None and b"Suppliers form" in second.read("content.xml"), second.namelist()
assert b"Suppliers form" not in zipfile.ZipFile(p["output"]).read("content.xml")
)";
    std::ofstream(root / "check.py") << check;
    const std::string command = "cd " + Quote(root.string()) + " && /usr/bin/python3 check.py report.json";
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
    EXPECT_NE(err.find("the file holds 2 packages, each is rebuilt on its own"), std::string::npos) << err;

    // The second output of an earlier run is kept without --force, and replaced with it.
    const std::string earlier = Slurp(root / "out/TAVRINREP_two-packages-concatenated-2.odb");
    fs::remove(root / "out/TAVRINREP_two-packages-concatenated.odb");
    std::ofstream(root / "out/TAVRINREP_two-packages-concatenated-2.odb") << "older";
    EXPECT_EQ(Run("-q -o out " + Fixture("two-packages-concatenated.odb")), 1);
    EXPECT_EQ(Slurp(root / "out/TAVRINREP_two-packages-concatenated-2.odb"), "older");
    EXPECT_TRUE(fs::exists(root / "out/TAVRINREP_two-packages-concatenated.odb"));
    EXPECT_NE(err.find("out/TAVRINREP_two-packages-concatenated-2.odb: already exists; give --force to replace it"),
              std::string::npos)
        << err;
    EXPECT_EQ(Run("-q --force -o out " + Fixture("two-packages-concatenated.odb")), 0) << err;
    // The same members again (only the times recorded in the archive may differ).
    EXPECT_EQ(Slurp(root / "out/TAVRINREP_two-packages-concatenated-2.odb").size(), earlier.size());
}

// A package that lost content.xml gets the template, which names the form it still holds.
TEST_F(TavrinRepair, JsonReportNamesTheDocumentsTheNewContentXmlLists)
{
    ASSERT_EQ(Run("--json -q -o out " + Fixture("content-xml-missing.odb")), 0) << err;
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys
(p,) = json.load(open(sys.argv[1]))["packages"]
assert p["content_xml"] == "template", p
assert p["documents_listed"] == [{"kind": "form", "name": "Obj11", "folder": "forms/Obj11", "name_from": "folder"}], p
)";
    std::ofstream(root / "check.py") << check;
    const std::string command =
        "/usr/bin/python3 " + Quote((root / "check.py").string()) + " " + Quote((root / "report.json").string());
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
}

// A member whose name is not UTF-8 is saved under a readable name, and the report says so.
TEST_F(TavrinRepair, JsonReportListsRenamedMembers)
{
    // A stored member "caf\xE9.txt" holding "menu", no CRC recorded.
    const char package[] = "PK\3\4\x0a\0\0\0\0\0\0\0\x21\0\0\0\0\0\x04\0\0\0\x04\0\0\0\x08\0\0\0"
                           "caf\xE9.txtmenu";
    std::ofstream(root / "latin1.odb", std::ios::binary).write(package, sizeof package - 1);
    ASSERT_EQ(Run("--json -q -o out latin1.odb"), 0) << err;
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys
(p,) = json.load(open(sys.argv[1]))["packages"]
# The name as the package stores it: the byte that is no UTF-8 as a surrogate escape.
assert p["renamed"] == [{"from": "caf\udce9.txt", "to": "caf%E9.txt"}] and p["renamed_not_listed"] == 0, p
assert p["members"][0]["name"].encode("utf-8", "surrogateescape") == b"caf\xe9.txt", p
)";
    std::ofstream(root / "check.py") << check;
    const std::string command =
        "/usr/bin/python3 " + Quote((root / "check.py").string()) + " " + Quote((root / "report.json").string());
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
}

// What was done to an embedded database after extraction is in the report, one entry
// per change, the same as its log line.
TEST_F(TavrinRepair, JsonReportListsTheDatabaseCompletions)
{
    ASSERT_EQ(Run("--json -o out " + Fixture("truncated-in-member.odb") + " " + Fixture("intact.odb")), 3) << err;
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys
cut, intact = json.load(open(sys.argv[1]))["packages"]
assert intact["database_completion"] == [], intact
(done,) = cut["database_completion"]
assert done["action"] == "data-kept" and done["member"] == "database/data", done
assert done["rows_may_be_lost"] is True, done
assert done["detail"] in sys.argv[2], (done, sys.argv[2])
)";
    std::ofstream(root / "check.py") << check;
    const std::string command = "/usr/bin/python3 " + Quote((root / "check.py").string()) + " " +
                                Quote((root / "report.json").string()) + " " + Quote(err);
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
}

TEST_F(TavrinRepair, KeepWorkspaceKeepsTheExtractedPackagesButRefusesAFullFolder)
{
    ASSERT_EQ(Run("-q -o out --keep-workspace ws " + Fixture("intact.odb")), 0) << err;
    EXPECT_TRUE(fs::exists(root / "ws/intact.odb.0/content.xml"));
    EXPECT_TRUE(Entries(root / "tmp").empty());
    // Members a repair would keep in memory until the save are files in a kept workspace.
    fs::create_directories(root / "out2");
    ASSERT_EQ(Run("-q -o out2 --keep-workspace ws2 " + Fixture("colon-and-dotdot-names.odb")), 0) << err;
    EXPECT_TRUE(fs::exists(root / "ws2/colon-and-dotdot-names.odb.0/forms/escape2.txt"));
    EXPECT_EQ(Run("-q -o out --keep-workspace ws " + Fixture("intact.odb")), 2);
    EXPECT_NE(err.find("must be new or empty"), std::string::npos);
    EXPECT_TRUE(fs::exists(root / "ws/intact.odb.0/content.xml"));
}

TEST_F(TavrinRepair, SameFileNameTwiceGivesTwoOutputs)
{
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    fs::copy_file(kFixtures + "/intact.odb", root / "a/Base.odb");
    fs::copy_file(kFixtures + "/content-xml-short.odb", root / "b/Base.odb");
    ASSERT_EQ(Run("-o out a/Base.odb b/Base.odb"), 0) << err;
    EXPECT_NE(out.find("b/Base.odb saving of file starts as TAVRINREP_Base (2).odb"), std::string::npos);
    EXPECT_EQ(Entries(root / "out"), (std::vector<std::string>{"Base (2).odb_MediaContent", "Base.odb_MediaContent",
                                                               "TAVRINREP_Base (2).odb", "TAVRINREP_Base.odb"}));
}

// Several files at once give what one at a time gives: the log (each file's lines in
// one block, the blocks in the order the files were given), the report, and archives of
// the same members; names that collide are given as one at a time gives them.
TEST_F(TavrinRepair, SeveralFilesAtOnceGiveTheLogReportAndOutputsOfOneAtATime)
{
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    fs::copy_file(kFixtures + "/intact.odb", root / "a/Base.odb");
    fs::copy_file(kFixtures + "/content-xml-short.odb", root / "b/Base.odb");
    fs::copy_file(kFixtures + "/not-a-zip.odb", root / "Base (2).odb");
    const std::string files = "a/Base.odb " + Fixture("intact.odb") + " " + Fixture("not-a-zip.odb") +
                              " missing.odb " + Fixture("flipped-bytes-in-deflated-member.odb") + " b/Base.odb " +
                              Fixture("two-packages-concatenated.odb") + " 'Base (2).odb' " + Fixture("intact.odb") +
                              " " + Fixture("hole-of-zeros.odb") + " " + Fixture("empty.odb");
    // The outputs by content: an archive's member names, sizes and CRCs (its times are
    // those of its making), a folder's entries.
    const std::string list = R"(
import os, sys, zipfile
for name in sorted(os.listdir(sys.argv[1])):
    path = os.path.join(sys.argv[1], name)
    if os.path.isdir(path):
        print(name, sorted(os.listdir(path)))
    else:
        print(name, [(i.filename, i.file_size, i.CRC, i.compress_type) for i in zipfile.ZipFile(path).infolist()])
)";
    std::ofstream(root / "list.py") << list;
    auto outputs = [&] {
        const std::string command = "/usr/bin/python3 " + Quote((root / "list.py").string()) + " " +
                                    Quote((root / "out").string()) + " >" + Quote((root / "list.txt").string());
        EXPECT_EQ(std::system(command.c_str()), 0);
        return Slurp(root / "list.txt");
    };

    ASSERT_EQ(Run("--json -j 1 -o out " + files), 1) << err;
    const std::string report = out;
    const std::string log = err;
    const std::string archives = outputs();
    EXPECT_NE(log.find("b/Base.odb saving of file starts as TAVRINREP_Base (2).odb"), std::string::npos) << log;
    EXPECT_NE(log.find("intact.odb saving of file starts as TAVRINREP_intact (2).odb"), std::string::npos) << log;
    EXPECT_NE(archives.find("TAVRINREP_Base (2).odb [("), std::string::npos) << archives;

    for (const char* jobs : {"2", "4", "11"}) {
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        EXPECT_EQ(Run("--json -o out " + files + " --jobs " + jobs), 1) << jobs << "\n" << err;
        EXPECT_EQ(out, report) << jobs;
        EXPECT_EQ(err, log) << jobs;
        EXPECT_EQ(outputs(), archives) << jobs;
        EXPECT_TRUE(Entries(root / "tmp").empty()) << jobs;
    }

    // On a terminal, files in hand at once show the total progress alone.
    const std::string inner = "cd " + Quote(root.string()) + " && " + Quote(TAVRIN_REPAIR_EXE) +
                              " -j 2 --force -o out " + files + " >log.txt";
    const std::string command = "script -qfec " + Quote(inner) + " /dev/null >" + Quote((root / "tty.txt").string());
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status; // some files are not saved
    const std::string tty = Slurp(root / "tty.txt");
    EXPECT_NE(tty.find("Total files progress: 100.00% complete."), std::string::npos) << tty;
    EXPECT_EQ(tty.find("File progress:"), std::string::npos) << tty;
}

// A run killed outright leaves its staging folder in the output folder: the next run
// there removes those of runs that are gone, and nothing else.
TEST_F(TavrinRepair, StagingFoldersOfKilledRunsAreClearedByTheNextRun)
{
    const std::string setUp = R"(
import fcntl, os, subprocess, sys, time
out = "out"
def staging(name, lock):
    os.mkdir(os.path.join(out, name), 0o700)
    with open(os.path.join(out, name, "TAVRINREP_x.odb"), "w") as part:
        part.write("half written")
    if lock is None:
        return None
    held = open(os.path.join(out, name, ".lock"), "w")
    if lock:
        fcntl.flock(held, fcntl.LOCK_EX)
    return held
staging(".tavrin-repair-dead01", False)          # killed: its lock is free
live = staging(".tavrin-repair-live01", True)    # a run still working
staging(".tavrin-repair-nolk01", None)           # killed before it made its lock, long ago
old = time.time() - 3600
os.utime(os.path.join(out, ".tavrin-repair-nolk01"), (old, old))
staging(".tavrin-repair-nolk02", None)           # perhaps a run making its lock right now
staging(".tavrin-repair-other-name", False)      # not a name of ours
os.mkdir("elsewhere")
with open("elsewhere/.lock", "w") as keep:
    keep.write("")
os.symlink(os.path.abspath("elsewhere"), os.path.join(out, ".tavrin-repair-link01"))
os.mkdir(os.path.join(out, ".tavrin-repair-lock01"), 0o700)
os.symlink(os.path.abspath("elsewhere/.lock"), os.path.join(out, ".tavrin-repair-lock01", ".lock"))
sys.exit(subprocess.call(sys.argv[1:]))
)";
    std::ofstream(root / "setup.py") << setUp;
    const std::string command = "cd " + Quote(root.string()) + " && TMPDIR=" + Quote((root / "tmp").string()) +
                                " /usr/bin/python3 setup.py " + Quote(TAVRIN_REPAIR_EXE) + " -q -o out " +
                                Fixture("intact.odb") + " 2>err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(root / "err.txt");
    EXPECT_EQ(Entries(root / "out"),
              (std::vector<std::string>{".tavrin-repair-link01", ".tavrin-repair-live01", ".tavrin-repair-lock01",
                                        ".tavrin-repair-nolk02", ".tavrin-repair-other-name", "TAVRINREP_intact.odb",
                                        "intact.odb_MediaContent"}));
    EXPECT_TRUE(fs::exists(root / "out/.tavrin-repair-live01/TAVRINREP_x.odb"));
    EXPECT_TRUE(fs::exists(root / "elsewhere/.lock"));
}

// A package of fake members: the report lists its first hundred failures and counts the
// rest, and the log says so in one line.
TEST_F(TavrinRepair, JsonReportCountsFailuresPastAHundred)
{
    auto header = [](const std::string& name, char method, char compressed, char uncompressed) {
        return std::string("PK\3\4\x14\0\0\0", 8) + method + std::string("\0\0\0\x21\0\0\0\0", 9) + compressed +
               std::string("\0\0\0", 3) + uncompressed + std::string("\0\0\0", 3) + static_cast<char>(name.size()) +
               std::string("\0\0\0", 3) + name;
    };
    const std::string mimetype = "application/vnd.oasis.opendocument.base";
    std::string package = header("mimetype", 0, static_cast<char>(mimetype.size()), static_cast<char>(mimetype.size())) + mimetype;
    for (int i = 0; i < 103; ++i)
        package += header("fake/" + std::to_string(i), 8, 4, 100) + "\xff\xff\xff\xff";
    std::ofstream(root / "fake.odb", std::ios::binary) << package;
    ASSERT_EQ(Run("--json -o out fake.odb"), 3) << err;
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys
p = json.load(open(sys.argv[1]))["packages"][0]
assert p["result"] == "saved-with-losses" and p["members_found"] == 101 and p["members_written"] == 1, p
assert p["members_not_recovered"] == ["fake/%d" % i for i in range(100)], p
assert p["failed_members_not_listed"] == 3 and p["lost_members_not_listed"] == 0, p
)";
    std::ofstream(root / "check.py") << check;
    const std::string command =
        "/usr/bin/python3 " + Quote((root / "check.py").string()) + " " + Quote((root / "report.json").string());
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
    EXPECT_NE(err.find("fake.odb 3 more members could not be recovered whole, they are not listed one by one....\n"),
              std::string::npos);
    EXPECT_EQ(err.find("member fake/100 "), std::string::npos);
}

// Never a file named on the command line, and no earlier output unless --force.
TEST_F(TavrinRepair, OutputsReplaceNoInputAndNoEarlierOutputWithoutForce)
{
    fs::create_directories(root / "docs");
    fs::copy_file(kFixtures + "/intact.odb", root / "docs/Sales.odb");
    fs::copy_file(kFixtures + "/content-xml-short.odb", root / "docs/TAVRINREP_Sales.odb");
    const std::string second = Slurp(root / "docs/TAVRINREP_Sales.odb");
    for (const char* force : {"", "--force "}) {
        EXPECT_EQ(Run(std::string("-q ") + force + "-o docs docs/Sales.odb docs/TAVRINREP_Sales.odb"), 1) << force;
        EXPECT_EQ(Slurp(root / "docs/TAVRINREP_Sales.odb"), second) << "an input was replaced " << force;
        EXPECT_NE(err.find("tavrin-repair: docs/TAVRINREP_Sales.odb: "), std::string::npos) << err;
    }
    EXPECT_NE(err.find("docs/TAVRINREP_Sales.odb: it is one of the files given to repair, it is not replaced\n"),
              std::string::npos)
        << err;

    // An earlier output that is no input: kept, then replaced on request.
    std::ofstream(root / "out/TAVRINREP_intact.odb") << "earlier";
    EXPECT_EQ(Run("-q --no-media -o out " + Fixture("intact.odb")), 1);
    EXPECT_EQ(err, "tavrin-repair: out/TAVRINREP_intact.odb: already exists; give --force to replace it\n");
    EXPECT_EQ(Slurp(root / "out/TAVRINREP_intact.odb"), "earlier");
    EXPECT_EQ(Run("-q --force --no-media -o out " + Fixture("intact.odb")), 0) << err;
    EXPECT_NE(Slurp(root / "out/TAVRINREP_intact.odb"), "earlier");
    EXPECT_EQ(Entries(root / "out"), std::vector<std::string>{"TAVRINREP_intact.odb"});
}

// A media folder that is a link is not written through, even with --force.
TEST_F(TavrinRepair, MediaFolderThatIsALinkIsRefused)
{
    fs::create_directories(root / "victim");
    std::ofstream(root / "victim/thumbnail.png") << "precious";
    fs::create_directory_symlink(root / "victim", root / "out/intact.odb_MediaContent");
    EXPECT_EQ(Run("-q --force -o out " + Fixture("intact.odb")), 3);
    EXPECT_NE(err.find("tavrin-repair: out/intact.odb_MediaContent: it is a link or not a folder"), std::string::npos)
        << err;
    EXPECT_EQ(Entries(root / "victim"), std::vector<std::string>{"thumbnail.png"});
    EXPECT_EQ(Slurp(root / "victim/thumbnail.png"), "precious");
    EXPECT_TRUE(fs::exists(root / "out/TAVRINREP_intact.odb"));
}

TEST_F(TavrinRepair, KeepWorkspaceThatIsTheOutputFolderIsAUsageError)
{
    fs::permissions(root / "out", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
    std::ofstream(root / "out/keep.txt") << "mine";
    EXPECT_EQ(Run("-o out --keep-workspace out/ " + Fixture("intact.odb")), 2);
    EXPECT_EQ(err, "tavrin-repair: --keep-workspace: the workspace folder cannot be the output folder\n"
                   "Try 'tavrin-repair --help' for more information.\n");
    EXPECT_EQ(Entries(root / "out"), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(fs::status(root / "out").permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                  fs::perms::others_exec);
}

// Losses and failures are said under -q, with the file they are about; the closing
// message says "completed" only when something was saved.
TEST_F(TavrinRepair, QuietStillNamesFailuresAndLosses)
{
    EXPECT_EQ(Run("-q -o out missing.odb"), 1);
    EXPECT_EQ(err, "tavrin-repair: missing.odb: No such file or directory\n"
                   "missing.odb cannot be saved,as it is not Repaired.\n");
    EXPECT_EQ(out, "");

    EXPECT_EQ(Run("-q -o out " + Fixture("flipped-bytes-in-deflated-member.odb")), 3);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("flipped-bytes-in-deflated-member.odb member "), std::string::npos) << err;
    EXPECT_NE(err.find("flipped-bytes-in-deflated-member.odb: saved with losses ("), std::string::npos) << err;

    EXPECT_EQ(Run("-o out " + Fixture("not-a-zip.odb")), 1);
    EXPECT_EQ(err.find("completed"), std::string::npos) << err;
    EXPECT_NE(err.find("tavrin-repair: no file was saved\n"), std::string::npos) << err;
    EXPECT_EQ(Run("-o out --no-media " + Fixture("intact.odb")), 0);
    EXPECT_NE(err.find("File(s) saving process has been completed."), std::string::npos) << err;
}

TEST_F(TavrinRepair, UsageErrorsPointToHelp)
{
    for (const char* arguments : {"-", "--bogus x.odb", "-o", ""}) {
        EXPECT_EQ(Run(arguments), 2) << arguments;
        EXPECT_NE(err.find("\nTry 'tavrin-repair --help' for more information.\n"), std::string::npos) << err;
        EXPECT_EQ(err.find("Usage:"), std::string::npos) << err;
    }
    EXPECT_EQ(Run("-qo out " + Fixture("intact.odb")), 0) << err;
    EXPECT_EQ(Run("--force --output=out " + Fixture("intact.odb") + " -q"), 0) << err;
}

// Paths reach the terminal escaped like member names; the JSON report is valid UTF-8
// whatever bytes a path holds, and gives them back exactly.
TEST_F(TavrinRepair, PathsAreEscapedAndTheReportIsValidUtf8)
{
    const std::string hostile = "a\x1b]0;owned\x07\x1b[2Jb\x9b.odb";
    fs::copy_file(kFixtures + "/intact.odb", root / hostile);
    EXPECT_EQ(Run("--no-media -o out " + Quote(hostile) + " gone\x1b[31m.odb"), 1);
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_NE(out.find("a\\x1b]0;owned\\x07\\x1b[2Jb\\x9b.odb  Repaired....\n"), std::string::npos) << out;
    EXPECT_NE(err.find("tavrin-repair: gone\\x1b[31m.odb: No such file or directory\n"), std::string::npos) << err;

    EXPECT_EQ(Run("--json -q --force --no-media -o out " + Quote(hostile)), 0) << err;
    std::ofstream(root / "report.json") << out;
    const std::string check = R"(
import json, sys
raw = open(sys.argv[1], "rb").read()
d = json.loads(raw.decode("utf-8"))  # strict: fails on any byte that is no UTF-8
(p,) = d["packages"]
assert p["path"].encode("utf-8", "surrogateescape") == sys.argv[2].encode("utf-8", "surrogateescape"), p["path"]
assert p["result"] == "saved", p
)";
    std::ofstream(root / "check.py") << check;
    const std::string command = "/usr/bin/python3 " + Quote((root / "check.py").string()) + " " +
                                Quote((root / "report.json").string()) + " " + Quote(hostile);
    EXPECT_EQ(std::system(command.c_str()), 0) << out;
}

// The progress goes to standard error, so `> log` keeps it on the terminal, and a
// terminal that cannot move its cursor gets none.
TEST_F(TavrinRepair, ProgressIsOnStandardErrorAndNotOnADumbTerminal)
{
    const std::string inner = "cd " + Quote(root.string()) + " && " + Quote(TAVRIN_REPAIR_EXE) + " --force -o out " +
                              Fixture("intact.odb") + " >log.txt";
    const std::string command = "script -qfec " + Quote(inner) + " /dev/null >" + Quote((root / "tty.txt").string());
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(Slurp(root / "tty.txt").find("Total files progress: 100.00% complete."), std::string::npos);
    const std::string log = Slurp(root / "log.txt");
    EXPECT_NE(log.find("  Repaired....\n"), std::string::npos);
    EXPECT_EQ(log.find("% complete"), std::string::npos);
    EXPECT_EQ(log.find('\x1b'), std::string::npos);

    const std::string dumb = "script -qfec " + Quote("export TERM=dumb; " + inner) + " /dev/null >" +
                             Quote((root / "tty.txt").string());
    ASSERT_EQ(std::system(dumb.c_str()), 0);
    const std::string tty = Slurp(root / "tty.txt");
    EXPECT_EQ(tty.find("\033[K"), std::string::npos);
    EXPECT_EQ(tty.find("\033[1A"), std::string::npos);
    EXPECT_EQ(tty.find("% complete"), std::string::npos);
}

// However the run ends, nothing of it is left: no staging folder, no workspace, no
// part file.
TEST_F(TavrinRepair, ClosedPipeFileSizeLimitAndEarlyTerminationLeaveNothingBehind)
{
    const std::string files = Fixture("intact.odb") + " " + Fixture("no-central-directory.odb") + " " +
                              Fixture("hole-of-zeros.odb");
    const std::string env = "cd " + Quote(root.string()) + " && TMPDIR=" + Quote((root / "tmp").string()) + " ";
    auto expectClean = [&](const char* how) {
        for (const std::string& name : Entries(root / "out"))
            EXPECT_NE(name[0], '.') << how << ": left " << name;
        EXPECT_TRUE(Entries(root / "tmp").empty()) << how;
    };

    // Nobody reads the output (`| head` gone): the run stops as on Ctrl-C, with no
    // SIGPIPE death, and saves nothing.
    const std::string closed = R"(
import os, sys
read, write = os.pipe()
os.close(read)
os.dup2(write, 1)
os.execv(sys.argv[1], sys.argv[1:])
)";
    std::ofstream(root / "closed.py") << closed;
    const std::string pipe = env + "/usr/bin/python3 closed.py " + Quote(TAVRIN_REPAIR_EXE) + " -o out " + files +
                             " 2>err.txt; echo $? >status.txt";
    ASSERT_EQ(std::system(("bash -c " + Quote(pipe)).c_str()), 0);
    EXPECT_EQ(Slurp(root / "status.txt"), "1\n") << Slurp(root / "err.txt");
    EXPECT_TRUE(Entries(root / "out").empty());
    expectClean("closed pipe");

    // Files may not grow past 1 KiB: the archive fails, the run says so and cleans up.
    const std::string limited = env + "ulimit -f 1; " + Quote(TAVRIN_REPAIR_EXE) + " -q -o out " +
                                Fixture("intact.odb") + " 2>err.txt; echo $? >status.txt";
    ASSERT_EQ(std::system(("bash -c " + Quote(limited)).c_str()), 0);
    EXPECT_EQ(Slurp(root / "status.txt"), "1\n");
    EXPECT_NE(Slurp(root / "err.txt").find("File too large"), std::string::npos) << Slurp(root / "err.txt");
    expectClean("file size limit");

    // A SIGTERM already waiting when the program starts, before any thread of its own.
    const std::string early = R"(
import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM])
os.kill(os.getpid(), signal.SIGTERM)
os.execv(sys.argv[1], sys.argv[1:])
)";
    std::ofstream(root / "early.py") << early;
    const std::string term = env + "/usr/bin/python3 early.py " + Quote(TAVRIN_REPAIR_EXE) + " -q -o out " + files +
                             " 2>err.txt; echo $? >status.txt";
    ASSERT_EQ(std::system(("bash -c " + Quote(term)).c_str()), 0);
    EXPECT_EQ(Slurp(root / "status.txt"), "130\n") << Slurp(root / "err.txt");
    EXPECT_TRUE(Entries(root / "out").empty());
    expectClean("early SIGTERM");
}

} // namespace
