// How the file system resolves paths through symbolic links, and which
// operations act on a link itself.
#include "support/Packet.h"

#include "diag/DeviceError.h"
#include "emulator/FileSystem.h"

#include <gtest/gtest.h>

#include <string>

using namespace Emulator;
using namespace TestSupport;
using Follow = FileSystem::Follow;

namespace {

FileSystem linked()
{
    FileSystem fs(Limits(), [] { return 5u; });
    fs.addFile(u"/d/f", bytesOf("file"), 0644);
    fs.addFile(u"/top", bytesOf("top"), 0644);
    fs.addLink(u"/d/rel", u"f");
    fs.addLink(u"/d/up", u"../top");
    fs.addLink(u"/abs", u"/d");
    fs.addLink(u"/chain", u"abs/rel");
    fs.addLink(u"/self", u"self");
    fs.addLink(u"/ping", u"pong");
    fs.addLink(u"/pong", u"ping");
    fs.addLink(u"/gone", u"/d/none");
    fs.addLink(u"/slash", u"/");
    return fs;
}

// What `path` names: the target's bytes, "dir" for a directory, "link" for a
// link that is not followed, or the error number.
std::string named(const FileSystem& fs, std::string_view path, Follow follow = Follow::Links)
{
    NodePtr node;
    if (const std::uint32_t error = fs.lookup(path, node, follow); error != kSuccess) {
        return "error " + std::to_string(error);
    }
    if (node->isDirectory()) {
        return "dir";
    }
    if (node->isSymbolicLink()) {
        return "link " + node->linkTarget();
    }
    return std::string(node->data().begin(), node->data().end());
}

} // namespace

TEST(FileSystemLinks, AreFollowedWhereverTheyStandInAPath)
{
    const FileSystem fs = linked();
    const std::pair<std::string_view, std::string> cases[] = {
        {"/d/rel", "file"},     // relative to the link's directory
        {"/d/up", "top"},       // ".." from there
        {"/abs/f", "file"},     // a link to a directory, inside a path
        {"/abs/rel", "file"},   // a link through a link
        {"/chain", "file"},     // a target that itself goes through links
        {"/abs/../top", "top"}, // ".." from where the link led
        {"/slash/top", "top"},   {"/abs/", "dir"},
        {"/d/rel/", "error 20"}, // a trailing slash wants a directory
        {"/gone", "error 2"},    {"/gone/x", "error 2"},
        {"/self", "error 40"},   {"/ping", "error 40"},
        {"/top/x", "error 20"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(named(fs, path), expected) << path;
    }
    // The last name is left alone when asked, links before it are not.
    EXPECT_EQ(named(fs, "/chain", Follow::NotLast), "link abs/rel");
    EXPECT_EQ(named(fs, "/abs/rel", Follow::NotLast), "link f");
    EXPECT_EQ(named(fs, "/self", Follow::NotLast), "link self");
    EXPECT_EQ(named(fs, "/abs/", Follow::NotLast), "dir");
}

TEST(FileSystemLinks, FollowNoMoreThanTheDepthAHandsetAllows)
{
    Limits limits;
    limits.maxSymlinkDepth = 2;
    FileSystem fs(limits);
    fs.addFile(u"/f", {}, 0644);
    fs.addLink(u"/one", u"f");
    fs.addLink(u"/two", u"one");
    fs.addLink(u"/three", u"two");
    EXPECT_EQ(named(fs, "/two"), "");
    EXPECT_EQ(named(fs, "/three"), "error 40");
}

TEST(FileSystemLinks, NameOperationsActOnTheLinkItself)
{
    FileSystem fs = linked();
    std::string_view target;
    EXPECT_EQ(fs.readLink("/abs/rel", target), kSuccess); // through /abs, of /d/rel
    EXPECT_EQ(target, "f");
    EXPECT_EQ(fs.rename("/abs", "/moved"), kSuccess); // the link moves, not /d
    EXPECT_EQ(named(fs, "/moved/f"), "file");
    EXPECT_EQ(fs.makeDirectory("/moved", 0755), kExists);
    EXPECT_EQ(fs.removeDirectory("/moved"), kNotDirectory);
    EXPECT_EQ(fs.unlink("/moved"), kSuccess);
    EXPECT_EQ(named(fs, "/d/f"), "file");
    EXPECT_EQ(fs.removeTree("/slash"), kSuccess); // the link, not the root
    EXPECT_EQ(named(fs, "/top"), "top");

    // A dangling link creates its target, as open with O_CREAT does.
    NodePtr made;
    EXPECT_EQ(fs.open("/gone", 0x41, 0600, made), kSuccess);
    EXPECT_EQ(named(fs, "/d/none"), "");
    // Changes of mode, length and content reach the target.
    EXPECT_EQ(fs.changeMode("/d/up", 0400), kSuccess);
    NodePtr top;
    fs.lookup("/top", top);
    EXPECT_EQ(top->mode, 0100400u);
    EXPECT_EQ(fs.truncate("/d/up", 1), kAccessDenied);
    EXPECT_EQ(fs.truncate("/d/rel", 2), kSuccess);
    EXPECT_EQ(named(fs, "/d/f"), "fi");
}

TEST(FileSystemLinks, CountAgainstTheNamesAHandsetHolds)
{
    Limits limits;
    limits.maxNodes = 3;
    FileSystem fs(limits);
    EXPECT_EQ(fs.makeDirectory("/d", 0755), kSuccess);
    EXPECT_EQ(fs.makeLink("d", "/l"), kSuccess);
    EXPECT_EQ(fs.putItem("/i", bytesOf("x"), 0x41, 0644), kSuccess);
    EXPECT_EQ(fs.usage().nodes, 3u);
    NodePtr file;
    EXPECT_EQ(fs.open("/f", 0x41, 0644, file), kNoSpace);
    EXPECT_EQ(fs.makeLink("d", "/m"), kNoSpace);
    EXPECT_EQ(fs.unlink("/l"), kSuccess);
    EXPECT_EQ(fs.makeLink("d", "/m"), kSuccess);
}
