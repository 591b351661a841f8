// Building paths from a folder and a name, the one way every layer does it.
#pragma once

#include <string>

namespace tavrin::platform {

// `folder` and `name` with exactly the one '/' between them that `folder` lacks; an
// empty folder gives `name` as it is.
std::string JoinPath(const std::string& folder, const std::string& name);

// `folder` with a trailing '/' (none added to an empty one), ready for names to be appended.
std::string WithTrailingSlash(const std::string& folder);

// `path` without trailing slashes; "/" stays "/".
std::string WithoutTrailingSlashes(std::string path);

// The temporary folder: TMPDIR when it names an absolute path, else /tmp; without
// trailing slashes ("/" stays "/").
std::string TemporaryFolder();

// The folder part of `path` up to and including its last '/', or "" when it has none.
std::string FolderPrefixOf(const std::string& path);

} // namespace tavrin::platform
