// vornak-efs through its process: what people and scripts see of it (help,
// exit codes, messages, listings), and every verb end to end against
// `vornak-efs serve`, over a pseudo-terminal and the serial port.
#include "Tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <pty.h>
#include <random>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ToolTest::run;

const std::string kSeed = VORNAK_EFS_SEED;

std::string bytesOf(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(generator()); });
    return bytes;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return "<missing>";
    }
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Every file below `root` by its relative path (as UTF-8), with its bytes;
// folders as entries without bytes.
std::map<std::string, std::string> treeOf(const fs::path& root)
{
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::u8string relative = entry.path().lexically_relative(root).u8string();
        const std::string name(relative.begin(), relative.end());
        tree[name] = entry.is_directory() ? "<folder>" : readFile(entry.path());
    }
    return tree;
}

TEST(VornakEfs, EveryVerbHasHelp)
{
    const auto main = run({"--help"});
    EXPECT_EQ(main.exitCode, 0);
    for (const std::string verb :
         {"ls", "get", "put", "rm", "mkdir", "rmdir", "mv", "stat", "serve"}) {
        SCOPED_TRACE(verb);
        EXPECT_THAT(main.out, HasSubstr("\n  " + verb + " "));
        const auto help = run({verb, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_THAT(help.out, HasSubstr("Usage: vornak-efs " + verb));
        EXPECT_EQ(help.err, "");
    }
}

TEST(VornakEfs, UsageErrorsExitWithTwo)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{}, "name a verb: ls, get,"},
        {{"--port", "serial:x", "frobnicate"}, "'frobnicate' is not a verb"},
        {{"--emulator", kSeed, "mv", "/a"}, "2 required"},
        {{"--emulator", kSeed, "--subsys", "20", "ls"}, "--subsys"},
        {{"--emulator", kSeed, "--timeout", "0", "ls"}, "--timeout"},
        {{"--emulator", kSeed, "--port", "serial:/dev/null", "ls"}, "excludes"},
        {{"ls"}, "say which handset to use"},
        {{"--port", "COM3", "ls"}, "serial:<device>"},
        {{"--port", "serial:/dev/null:fast", "ls"}, "'fast' is not a baud rate"},
        {{"--emulator", kSeed, "get", "/nv"}, "/nv is a directory; get -r"},
        {{"--emulator", kSeed, "put", kSeed}, "put -r"},
        {{"--emulator", kSeed, "get", "/readme.txt", "/data/settings.txt", "/no/folder"},
         "end with a folder"},
        {{"serve", "--port", "serial:/dev/null"}, "does not go with it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const auto outcome = run(c.arguments);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_THAT(outcome.err, HasSubstr(c.says));
        EXPECT_EQ(outcome.err.rfind("vornak-efs: ", 0), 0u) << outcome.err;
    }
}

TEST(VornakEfs, FailuresSayWhatHappenedAndExitByKind)
{
    ToolTest::TemporaryFolder folder;
    // A terminal nobody answers on: a handset that stays silent.
    int master = -1, slave = -1;
    char silent[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, silent, nullptr, nullptr), 0);

    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--emulator", kSeed, "ls", "/nope"},
         1,
         "vornak-efs: No such file or directory (device error 2) looking up /nope\n"},
        {{"--emulator", kSeed, "rmdir", "/nv"},
         1,
         "vornak-efs: Directory not empty (device error 39) removing the directory /nv\n"},
        {{"--emulator", kSeed, "mkdir", "/data"},
         1,
         "vornak-efs: File exists (device error 17) making the directory /data\n"},
        {{"--emulator", kSeed, "rm", "/nv"},
         1,
         "vornak-efs: Is a directory (device error 21) removing /nv\n"},
        {{"--emulator", kSeed, "mkdir", "-p", "/readme.txt/x"}, 1, "/readme.txt is a file"},
        {{"--port", "serial:/nonexistent/tty", "ls"},
         3,
         "vornak-efs: cannot open the serial port /nonexistent/tty: No such file or directory\n"},
        {{"--emulator", (folder.path() / "missing").string(), "ls"}, 3, "is none"},
        {{"--port", std::string("serial:") + silent, "--timeout", "200", "ls", "/"},
         4,
         "vornak-efs: The handset did not answer within 200 ms (port error 0x800705B4) "
         "looking up /\n"},
        {{"--emulator", kSeed, "get", "/readme.txt", (folder.path() / "no/such/x").string()},
         5,
         "cannot write"},
        {{"--emulator", kSeed, "put", (folder.path() / "absent.bin").string()},
         5,
         "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const auto outcome = run(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_THAT(outcome.err, HasSubstr(c.says));
    }
    ::close(master);
    ::close(slave);
}

TEST(VornakEfs, ListsAFolderAsANewcomerWouldExpect)
{
    const auto outcome = run({"--emulator", kSeed, "ls", "-R", "/"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, "/:\n"
                           "data\n"
                           "nv\n"
                           "readme.txt\n"
                           "\n"
                           "/data:\n"
                           "settings.txt\n"
                           "\n"
                           "/nv:\n"
                           "item_files\n"
                           "\n"
                           "/nv/item_files:\n"
                           "mode\n");

    // Files first under their own names, then each directory under a heading.
    const auto mixed = run({"--emulator", kSeed, "ls", "-l", "/nv", "/readme.txt"});
    EXPECT_EQ(mixed.exitCode, 0);
    EXPECT_THAT(mixed.out, ::testing::MatchesRegex("-rw-r--r-- 64 [0-9-]+ [0-9:]+ /readme.txt\n"
                                                   "\n"
                                                   "/nv:\n"
                                                   "drwxr-xr-x - [0-9-]+ [0-9:]+ item_files\n"));
    // The port may come from the environment.
    const auto fromEnvironment =
        run({"ls", "/nv"}, {{"VORNAK_EFS_PORT=serial:/nonexistent"}, false});
    EXPECT_EQ(fromEnvironment.exitCode, 3);
}

// Every verb against one `serve`, each test in a directory of its own.
class ServedHandset : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new ToolTest::Server(kSeed); }
    static void TearDownTestSuite()
    {
        const auto outcome = server->stop();
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_THAT(outcome.err, HasSubstr("stopped after"));
        delete server;
        server = nullptr;
    }

    static ToolTest::Outcome tool(std::vector<std::string> arguments,
                                  const ToolTest::RunOptions& options = {})
    {
        arguments.insert(arguments.begin(), {"--port", server->port()});
        return run(arguments, options);
    }

    static ToolTest::Server* server;
    ToolTest::TemporaryFolder host;
};

ToolTest::Server* ServedHandset::server = nullptr;

TEST_F(ServedHandset, FilesAroundThePacketSizeGoAndComeBackWhole)
{
    const std::vector<std::size_t> sizes = {0, 1, 511, 512, 513, 1024, 1025, 300 * 1024 + 7};
    std::vector<std::string> puts = {"put"};
    for (const std::size_t size : sizes) {
        const fs::path file = host.path() / "out" / ("f" + std::to_string(size));
        writeFile(file, bytesOf(size, static_cast<unsigned>(size)));
        puts.push_back(file.string());
    }
    ASSERT_EQ(tool({"mkdir", "-p", "/sizes/in"}).exitCode, 0);
    puts.push_back("/sizes/in");
    const auto put = tool(puts);
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_EQ(put.err, ""); // no terminal, no progress

    const auto listing = tool({"ls", "-l", "/sizes/in"});
    ASSERT_EQ(listing.exitCode, 0);
    for (const std::size_t size : sizes) {
        EXPECT_THAT(listing.out, ::testing::ContainsRegex(" " + std::to_string(size) +
                                                          " [0-9: -]+ f" + std::to_string(size)));
    }
    const auto stat = tool({"stat", "/sizes/in/f513"});
    EXPECT_THAT(stat.out, HasSubstr("type:     regular file\n"));
    EXPECT_THAT(stat.out, HasSubstr("size:     513 bytes\n"));

    fs::create_directories(host.path() / "back");
    std::vector<std::string> gets = {"get"};
    for (const std::size_t size : sizes) {
        gets.push_back("/sizes/in/f" + std::to_string(size));
    }
    gets.push_back((host.path() / "back").string());
    const auto get = tool(gets);
    ASSERT_EQ(get.exitCode, 0) << get.err;
    for (const std::size_t size : sizes) {
        const std::string name = "f" + std::to_string(size);
        EXPECT_EQ(readFile(host.path() / "back" / name), readFile(host.path() / "out" / name))
            << name;
    }

    // A single file to a new name, and with the destination left out.
    ASSERT_EQ(tool({"get", "/sizes/in/f1", (host.path() / "one").string()}).exitCode, 0);
    EXPECT_EQ(readFile(host.path() / "one"), bytesOf(1, 1));
}

TEST_F(ServedHandset, NamesAreMovedAndRemoved)
{
    ASSERT_EQ(tool({"mkdir", "/names", "/names/sub"}).exitCode, 0);
    writeFile(host.path() / "a.txt", "a");
    ASSERT_EQ(tool({"put", (host.path() / "a.txt").string(), "/names/a.txt"}).exitCode, 0);

    EXPECT_EQ(tool({"mv", "/names/a.txt", "/names/b.txt"}).exitCode, 0);
    EXPECT_EQ(tool({"mv", "/names/b.txt", "/names/sub"}).exitCode, 0); // into the directory
    EXPECT_EQ(tool({"ls", "-R", "/names"}).out, "/names:\nsub\n\n/names/sub:\nb.txt\n");

    EXPECT_EQ(tool({"rmdir", "/names/sub"}).exitCode, 1); // not empty
    EXPECT_EQ(tool({"rm", "/names/sub/b.txt"}).exitCode, 0);
    EXPECT_EQ(tool({"rmdir", "/names/sub", "/names"}).exitCode, 0);
    EXPECT_EQ(tool({"stat", "/names"}).exitCode, 1);
}

TEST_F(ServedHandset, TreesComeBackAsTheyWentIncludingNamesOutsideTheCodePage)
{
    const fs::path tree = host.path() / "tree";
    writeFile(tree / "top.bin", bytesOf(2048, 7));
    writeFile(tree / "empty.txt", "");
    writeFile(tree / u8"\u03B1\u03B2\u03B3.txt", "greek");
    writeFile(tree / "deep" / "er" / u8"\u65E5\u672C.bin", bytesOf(70000, 8));
    fs::create_directories(tree / "hollow");

    ASSERT_EQ(tool({"mkdir", "/trees"}).exitCode, 0);
    const auto put = tool({"put", "-r", tree.string(), "/trees"});
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_THAT(tool({"ls", "/trees/tree"}).out, HasSubstr("\xCE\xB1\xCE\xB2\xCE\xB3.txt\n"));

    const auto get = tool({"get", "-r", "/trees/tree", (host.path() / "copy").string()});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(treeOf(host.path() / "copy"), treeOf(tree));
}

TEST_F(ServedHandset, ShowsProgressOnATerminalOnly)
{
    writeFile(host.path() / "p.bin", bytesOf(200000, 9));
    const auto put = tool({"put", (host.path() / "p.bin").string(), "/p.bin"}, {{}, true});
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_THAT(put.err, HasSubstr("\r/p.bin"));
    EXPECT_THAT(put.err, ::testing::ContainsRegex("100% \\[#+\\] 195.3 KiB .*/s  in [0-9]+:"));

    const auto get = tool({"get", "/p.bin", (host.path() / "q.bin").string()}, {{}, true});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_THAT(get.err, HasSubstr("100%"));

    const auto quiet = tool({"-q", "get", "/p.bin", (host.path() / "r.bin").string()}, {{}, true});
    EXPECT_EQ(quiet.err, "");
}

} // namespace
