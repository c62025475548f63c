// Foundation's path-string rules, as MacPath implements them.
#include "platform/MacPath.h"

#include <gtest/gtest.h>

using veldo::platform::MacPath;

TEST(MacPath, LastComponentAndExtension)
{
    struct Case
    {
        const char* path;
        const char* last;
        const char* ext;
        const char* withoutExt;
    };
    const Case cases[] = {
        {"/", "/", "", "/"},
        {"/Applications/Foo.app", "Foo.app", "app", "/Applications/Foo"},
        {"/Applications/Foo.app/", "Foo.app", "app", "/Applications/Foo"},
        {"/Users/u/.hidden", ".hidden", "", "/Users/u/.hidden"},
        {"/a/archive.tar.gz", "archive.tar.gz", "gz", "/a/archive.tar"},
        {"/a/Foo.", "Foo.", "", "/a/Foo."},
        {"/a/Foo", "Foo", "", "/a/Foo"},
        {"relative/x.plist", "x.plist", "plist", "relative/x"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        MacPath p(c.path);
        EXPECT_EQ(p.lastPathComponent(), c.last) << c.path;
        EXPECT_EQ(p.pathExtension(), c.ext) << c.path;
        EXPECT_EQ(p.deletingPathExtension().path(), c.withoutExt) << c.path;
    }
}

TEST(MacPath, ParentAndAppend)
{
    const std::pair<const char*, const char*> parents[] = {
        {"/", "/"},      {"/a", "/"}, {"/a/b", "/a"}, {"/a/b/", "/a"},
        {"/a//b", "/a"}, {"a", ""},   {"a/b", "a"},
    };
    for (const auto& [path, parent] : parents)
        EXPECT_EQ(MacPath(path).deletingLastPathComponent().path(), parent) << path;

    EXPECT_EQ(MacPath("/").appendingPathComponent("b").path(), "/b");
    EXPECT_EQ(MacPath("/a").appendingPathComponent("b").path(), "/a/b");
    EXPECT_EQ(MacPath("/a/").appendingPathComponent("b").path(), "/a/b");
    EXPECT_EQ(MacPath("/a").appendingPathComponent("/b").path(), "/a/b");
    EXPECT_EQ(MacPath("/a").appendingPathComponent("b/c").path(), "/a/b/c");
}

TEST(MacPath, Standardized)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/a/./b", "/a/b"},    {"/a/b/..", "/a"},     {"/a/b/../../..", "/"},
        {"/..", "/"},          {"//a///b//", "/a/b"}, {"/", "/"},
        {"a/../../b", "../b"}, {"./a", "a"},          {"/a/b/../c/.", "/a/c"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(MacPath(in).standardized().path(), out) << in;
}

TEST(MacPath, ComponentsAndAncestry)
{
    EXPECT_EQ(MacPath("/a//b/").pathComponents(), (std::vector<std::string>{"/", "a", "b"}));
    EXPECT_EQ(MacPath("a/b").pathComponents(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(MacPath("/a").isSameOrAncestorOf(MacPath("/a/b")));
    EXPECT_TRUE(MacPath("/a/").isSameOrAncestorOf(MacPath("/a")));
    EXPECT_FALSE(MacPath("/a").isSameOrAncestorOf(MacPath("/ab")));
    EXPECT_TRUE(MacPath("/").isSameOrAncestorOf(MacPath("/x")));
}
