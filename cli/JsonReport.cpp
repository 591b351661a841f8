#include "cli/JsonReport.h"

#include <cstdio>

#include "engine/TextUtil.h"

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

std::string MemberJson(const MemberReport& member)
{
    std::string json = "{" + Field("name", JsonString(Latin1ToUtf8(member.name))) + ", " +
                       Field("compressed_size", Number(member.compressedSize)) + ", " +
                       Field("uncompressed_size", Number(member.uncompressedSize)) + ", " +
                       Field("data_offset", Number(member.dataOffset)) + ", " +
                       Field("sizes_from", JsonString(ToString(member.sizeSource))) + ", " +
                       Field("outcome", JsonString(ToString(member.outcome))) + ", " +
                       Field("bytes_written", Number(member.bytesWritten));
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
                Field("names_guessed", completion.namesGuessed ? "true" : "false") + ", " +
                Field("detail", JsonString(completion.detail)) + "}";
    return "[" + json + "]";
}

std::string RenamedJson(const std::vector<RenamedName>& renamed)
{
    std::string json;
    for (const RenamedName& name : renamed)
        json += (json.empty() ? "{" : ", {") + Field("from", JsonString(Latin1ToUtf8(name.from))) + ", " +
                Field("to", JsonString(name.to)) + "}";
    return "[" + json + "]";
}

} // namespace

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                json += escaped;
            } else {
                json += c;
            }
        }
    }
    return json + "\"";
}

std::string RunReportJson(const BatchReport& report, const std::string& output, int exitStatus)
{
    std::string json = "{\n  " + Field("output", JsonString(output)) + ",\n  \"packages\": [";
    bool first = true;
    for (const PackageReport& package : report.packages) {
        std::size_t written = 0;
        std::string lost;
        std::string members;
        for (const MemberReport& member : package.members) {
            if (member.outcome == MemberOutcome::Written)
                ++written;
            else
                lost += (lost.empty() ? "" : ", ") + JsonString(Latin1ToUtf8(member.name));
            members += (members.empty() ? "\n      " : ",\n      ") + MemberJson(member);
        }
        json += first ? "\n    {" : ",\n    {";
        first = false;
        json += Field("path", JsonString(package.path)) + ", " + Field("result", JsonString(ToString(package.result))) +
                ",\n     " + Field("members_found", Number(package.members.size())) + ", " +
                Field("members_written", Number(written)) + ", " + Field("members_not_recovered", "[" + lost + "]") +
                ",\n     " +
                Field("content_xml", JsonString(package.members.empty() ? "none"
                                                : package.contentXmlRegenerated ? "template"
                                                                                : "original")) +
                ", " + Field("documents_listed", DocumentsJson(package.documentsListed)) + ", " +
                Field("renamed", RenamedJson(package.renamedNames)) + ", " +
                Field("renamed_not_listed", Number(package.renamedNotListed)) + ", " +
                Field("output", OptionalString(package.outputPath)) + ", " +
                Field("media_folder", OptionalString(package.mediaFolder)) + ", " +
                Field("error", OptionalString(package.error)) + ", " +
                Field("nothing_found", OptionalString(package.nothingFound)) + ", " +
                Field("lost_members_not_listed", Number(package.lostNotListed)) + ", " +
                Field("failed_members_not_listed", Number(package.failedNotListed)) + ",\n     " +
                Field("database_completion", DatabaseCompletionJson(package.databaseCompletions)) + ",\n     " +
                Field("members", "[" + members + (members.empty() ? "]" : "\n     ]")) + "}";
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
        json += "{" + Field("name", JsonString(Latin1ToUtf8(entry.name))) + ", " +
                Field("compressed_size", Number(entry.compressedSize)) + ", " +
                Field("uncompressed_size", Number(entry.uncompressedSize)) + ", " +
                Field("data_offset", Number(entry.dataOffset)) + "}";
    }
    json += first ? "]}" : "\n  ]}";
    return json;
}

} // namespace tavrin::cli
