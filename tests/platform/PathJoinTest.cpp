#include "platform/PathJoin.h"

#include <gtest/gtest.h>

using namespace tavrin::platform;

TEST(PathJoin, OneSlashBetweenFolderAndName)
{
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
        const char* withoutSlashes;
    } cases[] = {
        {"", "a.odb", "a.odb", ""},
        {"/", "tmp", "/tmp", "/"},
        {"/tmp", "a.odb", "/tmp/a.odb", "/tmp"},
        {"/tmp/", "a.odb", "/tmp/a.odb", "/tmp"},
        {"/tmp//", "a.odb", "/tmp//a.odb", "/tmp"},
        {"rel", "sub/x", "rel/sub/x", "rel"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JoinPath(c.folder, c.name), c.joined) << c.folder;
        EXPECT_EQ(WithoutTrailingSlashes(c.folder), c.withoutSlashes) << c.folder;
    }
}

TEST(PathJoin, FolderPrefixKeepsTheSlash)
{
    EXPECT_EQ(FolderPrefixOf("/ws/pkg/content.xml"), "/ws/pkg/");
    EXPECT_EQ(FolderPrefixOf("/content.xml"), "/");
    EXPECT_EQ(FolderPrefixOf("content.xml"), "");
    EXPECT_EQ(FolderPrefixOf("/ws/pkg/"), "/ws/pkg/");
}
