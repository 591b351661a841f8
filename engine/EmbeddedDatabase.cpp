#include "engine/EmbeddedDatabase.h"

#include <sys/stat.h>

namespace tavrin {

EmbeddedDatabase DetectEmbeddedDatabase(const std::string& folder)
{
    std::string base = folder;
    if (base.empty() || base.back() != '/')
        base += '/';
    for (const char* name : {"database/firebird.fbk", "database/firebird.fdb"}) {
        struct stat info {};
        if (::lstat((base + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return EmbeddedDatabase::Firebird;
    }
    return EmbeddedDatabase::Hsqldb;
}

const char* ConnectionResource(EmbeddedDatabase database)
{
    return database == EmbeddedDatabase::Firebird ? "sdbc:embedded:firebird" : "sdbc:embedded:hsqldb";
}

} // namespace tavrin
