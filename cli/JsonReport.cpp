#include "cli/JsonReport.h"

#include <cstdio>

#include "engine/XmlText.h"

namespace tavrin::cli {
namespace {

std::string Field(const char* name, const std::string& json)
{
    return std::string("\"") + name + "\": " + json;
}

std::string Number(std::uint64_t value)
{
    return std::to_string(value);
}

std::string OptionalString(const std::string& text)
{
    return text.empty() ? "null" : JsonString(text);
}

std::string StringList(const std::vector<std::string>& texts)
{
    std::string json;
    for (const std::string& text : texts)
        json += (json.empty() ? "" : ", ") + JsonString(text);
    return "[" + json + "]";
}

std::string MemberJson(const MemberReport& member)
{
    std::string json = "{" + Field("name", JsonString(member.name)) + ", " +
                       Field("compressed_size", Number(member.compressedSize)) + ", " +
                       Field("uncompressed_size", Number(member.uncompressedSize)) + ", " +
                       Field("data_offset", Number(member.dataOffset)) + ", " +
                       Field("sizes_from", JsonString(ToString(member.sizeSource))) + ", " +
                       Field("outcome", JsonString(ToString(member.outcome))) + ", " +
                       Field("bytes_written", Number(member.bytesWritten));
    if (member.defect != MemberDefect::None)
        json += ", " + Field("defect", JsonString(DefectCode(member.defect)));
    if (!member.error.empty())
        json += ", " + Field("error", JsonString(member.error));
    char crc[11];
    std::snprintf(crc, sizeof crc, "\"%08x\"", member.recordedCrc);
    json += ", " + Field("recorded_crc", member.recordedCrc != 0 ? std::string(crc) : "null") + ", " +
            Field("crc_check", JsonString(ToString(member.crcCheck)));
    return json + "}";
}

std::string DocumentsJson(const std::vector<PackageDocument>& documents)
{
    std::string json;
    for (const PackageDocument& document : documents) {
        json += (json.empty() ? "{" : ", {") + Field("kind", JsonString(ToString(document.kind))) + ", " +
                Field("name", JsonString(document.name)) + ", " + Field("folder", JsonString(document.folder)) + ", " +
                Field("name_from", JsonString(document.nameFromTitle ? "title" : "folder")) + "}";
    }
    return "[" + json + "]";
}

std::string DatabaseCompletionJson(const std::vector<DatabaseCompletion>& completions)
{
    std::string json;
    for (const DatabaseCompletion& completion : completions)
        json += (json.empty() ? "" : ", ") + std::string("{") + Field("action", JsonString(completion.action)) + ", " +
                Field("member", JsonString(completion.member)) + ", " +
                Field("rows_may_be_lost", completion.rowsMayBeLost ? "true" : "false") + ", " +
                Field("rows_carved", std::to_string(completion.rowsCarved)) + ", " +
                Field("rows_dropped", std::to_string(completion.rowsDropped)) + ", " +
                Field("rows_kept", std::to_string(completion.rowsKept)) + ", " +
                Field("names_guessed", completion.namesGuessed ? "true" : "false") + ", " +
                Field("detail", JsonString(completion.detail)) + "}";
    return "[" + json + "]";
}

std::string RenamedJson(const std::vector<RenamedName>& renamed)
{
    std::string json;
    for (const RenamedName& name : renamed)
        json += (json.empty() ? "{" : ", {") + Field("from", JsonString(name.from)) + ", " +
                Field("to", JsonString(name.to)) + "}";
    return "[" + json + "]";
}

std::string CopiesJson(const std::vector<MemberCopies>& paths)
{
    std::string json;
    for (const MemberCopies& copies : paths) {
        std::string offsets;
        for (const std::uint64_t offset : copies.asideOffsets)
            offsets += (offsets.empty() ? "" : ", ") + Number(offset);
        json += (json.empty() ? "{" : ", {") + Field("name", JsonString(copies.name)) + ", " +
                Field("kept_offset", Number(copies.keptOffset)) + ", " +
                Field("reason", JsonString(ToString(copies.reason))) + ", " +
                Field("kept_matches_crc", copies.keptMatchesCrc ? "true" : "false") + ", " +
                Field("set_aside", Number(copies.asideCount)) + ", " + Field("set_aside_offsets", "[" + offsets + "]") +
                "}";
    }
    return "[" + json + "]";
}

// One package's object; `indent` starts each of its lines after the first. The
// further packages of its file are objects of the same keys (their own
// "further_packages" empty), with "package" their number in the file.
std::string PackageJson(const PackageReport& package, const std::string& indent)
{
    std::size_t written = 0;
    std::string lost;
    std::string members;
    for (const MemberReport& member : package.members) {
        if (member.outcome == MemberOutcome::Written)
            ++written;
        else
            lost += (lost.empty() ? "" : ", ") + JsonString(member.name);
        members += (members.empty() ? indent + " " : "," + indent + " ") + MemberJson(member);
    }
    std::string further;
    for (const PackageReport& next : package.furtherPackages)
        further += (further.empty() ? indent + " " : "," + indent + " ") + PackageJson(next, indent + "  ");
    return "{" + Field("path", JsonString(package.path)) + ", " + Field("result", JsonString(ToString(package.result))) +
           "," + indent + Field("members_found", Number(package.members.size())) + ", " +
           Field("members_written", Number(written)) + ", " + Field("members_not_recovered", "[" + lost + "]") + "," +
           indent +
           Field("content_xml", JsonString(package.members.empty() ? "none"
                                           : package.contentXmlRegenerated ? "template"
                                                                           : "original")) +
           ", " + Field("documents_listed", DocumentsJson(package.documentsListed)) + ", " +
           Field("renamed", RenamedJson(package.renamedNames)) + ", " +
           Field("renamed_not_listed", Number(package.renamedNotListed)) + ", " +
           Field("output", OptionalString(package.outputPath)) + ", " +
           Field("media_folder", OptionalString(package.mediaFolder)) + ", " +
           Field("members_left_out", StringList(package.leftOut)) + ", " +
           Field("pictures_not_copied", StringList(package.picturesNotCopied)) + ", " +
           Field("error", OptionalString(package.error)) + ", " +
           Field("nothing_found", OptionalString(package.nothingFound)) + ", " +
           Field("lost_members_not_listed", Number(package.lostNotListed)) + ", " +
           Field("failed_members_not_listed", Number(package.failedNotListed)) + "," + indent +
           Field("packages_in_file", Number(package.packagesInFile)) + ", " +
           Field("package", Number(package.packageNumber)) + ", " +
           Field("copies_set_aside", CopiesJson(package.copiesSetAside)) + ", " +
           Field("copy_paths_not_listed", Number(package.copyPathsNotListed)) + "," + indent +
           Field("database_completion", DatabaseCompletionJson(package.databaseCompletions)) + "," + indent +
           Field("members", "[" + members + (members.empty() ? "]" : indent + "]")) + "," + indent +
           Field("further_packages", "[" + further + (further.empty() ? "]" : indent + "]")) + "}";
}

} // namespace

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    char escaped[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        unsigned long code = 0;
        const std::size_t length = byte < 0x80 ? 1 : Utf8SequenceAt(text, i, &code);
        if (length == 0) {
            std::snprintf(escaped, sizeof escaped, "\\udc%02x", byte);
            json += escaped;
            ++i;
            continue;
        }
        if (length > 1) {
            json.append(text, i, length);
            i += length;
            continue;
        }
        switch (byte) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                json += escaped;
            } else {
                json += static_cast<char>(byte);
            }
        }
        ++i;
    }
    return json + "\"";
}

std::string RunReportJson(const BatchReport& report, const std::string& output, int exitStatus)
{
    std::string json = "{\n  " + Field("schema_version", std::to_string(kJsonSchemaVersion)) + ",\n  " +
                       Field("output", JsonString(output)) + ",\n  \"packages\": [";
    bool first = true;
    for (const PackageReport& package : report.packages) {
        json += first ? "\n    " : ",\n    ";
        first = false;
        json += PackageJson(package, "\n     ");
    }
    json += first ? "],\n  " : "\n  ],\n  ";
    json += Field("exit_status", std::to_string(exitStatus)) + "\n}\n";
    return json;
}

std::string ScanReportJson(const std::string& path, bool opened, const std::string& error, const ScanList& entries)
{
    std::string json = "{" + Field("path", JsonString(path)) + ", " + Field("opened", opened ? "true" : "false") +
                       ", " + Field("error", OptionalString(error)) + ", \"members\": [";
    bool first = true;
    for (const PackageEntry& entry : entries) {
        json += first ? "\n    " : ",\n    ";
        first = false;
        json += "{" + Field("name", JsonString(entry.name)) + ", " +
                Field("compressed_size", Number(entry.compressedSize)) + ", " +
                Field("uncompressed_size", Number(entry.uncompressedSize)) + ", " +
                Field("data_offset", Number(entry.dataOffset)) + "}";
    }
    json += first ? "]}" : "\n  ]}";
    return json;
}

} // namespace tavrin::cli
