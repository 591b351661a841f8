// Reads an archive back through an independent reader (Python's zipfile, Info-ZIP's
// unzip) so the writer's output is checked by someone else's understanding of ZIP.
#pragma once

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

struct ReadMember {
    std::map<std::string, std::string> fields;
    std::string operator[](const std::string& key) const
    {
        const auto found = fields.find(key);
        return found == fields.end() ? "(missing " + key + ")" : found->second;
    }
};

struct ReadArchive {
    int exitStatus = -1;
    std::string output;   // everything the reader printed
    std::string testzip;  // "ok" when every member's data matched its CRC
    std::vector<ReadMember> members;

    const ReadMember* Find(const std::string& nameHex) const
    {
        for (const ReadMember& member : members)
            if (member.fields.at("name") == nameHex)
                return &member;
        return nullptr;
    }
};

inline std::string ToHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// Runs `command` and returns its exit status and output (stdout and stderr).
inline int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char chunk[4096];
    std::size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline ReadArchive ReadWithPython(const std::string& archivePath)
{
    ReadArchive archive;
    archive.exitStatus = RunCommand("/usr/bin/python3 " + ShellQuoted(TAVRIN_SOURCE_DIR "/tests/zip/dump_zip.py") + " "
                                        + ShellQuoted(archivePath),
                                    archive.output);
    std::istringstream lines(archive.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind, word;
        words >> kind;
        ReadMember member;
        while (words >> word) {
            const auto equals = word.find('=');
            if (equals != std::string::npos)
                member.fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
        if (kind == "archive")
            archive.testzip = member["testzip"];
        else if (kind == "member")
            archive.members.push_back(std::move(member));
    }
    return archive;
}

// `unzip -t`: exit status 0 when Info-ZIP finds the archive and every member sound.
inline int TestWithUnzip(const std::string& archivePath, std::string& output)
{
    return RunCommand("unzip -tq " + ShellQuoted(archivePath), output);
}
