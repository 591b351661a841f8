// The temporary folder and files created in it without a race: a new name is never
// opened if something of that name already exists (O_EXCL), so a link planted in a
// shared folder such as /tmp is not followed.
#pragma once

#include <string>
#include <sys/types.h>

namespace tavrin::platform {

// $TMPDIR when set and not empty, else "/tmp"; no trailing '/'.
std::string TempFolder();

struct CreatedFile {
    int fd = -1;       // open for reading and writing, close-on-exec; the caller closes it
    std::string path;  // empty on failure
    int error = 0;     // errno when fd is -1

    bool IsOpen() const { return fd >= 0; }
};

// A new file "<folder>/OPC<6 random characters>.tmp", mode 0600, for one member's data
// during extraction. The caller closes and removes it.
CreatedFile CreateTempFile(const std::string& folder);

// A new file "<folder>/<prefix><random characters><suffix>" created with `mode`
// (less the umask), e.g. the hidden work name an archive is written under before it
// replaces the real one.
CreatedFile CreateUniqueFile(const std::string& folder, const std::string& prefix,
                             const std::string& suffix, mode_t mode);

} // namespace tavrin::platform
