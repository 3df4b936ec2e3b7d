// vornak-efs through its process: what people and scripts see of it (help,
// exit codes, messages, listings), and every verb end to end against
// `vornak-efs serve`, over a pseudo-terminal and the serial port.
#include "Tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ToolTest::bytesOf;
using ToolTest::readFile;
using ToolTest::run;
using ToolTest::writeFile;

const std::string kSeed = VORNAK_EFS_SEED;

// Every file and folder below `root` by its relative path, with its bytes.
std::map<fs::path, std::string> treeOf(const fs::path& root)
{
    std::map<fs::path, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        tree[entry.path().lexically_relative(root)] =
            entry.is_directory() ? "<folder>" : readFile(entry.path());
    }
    return tree;
}

TEST(VornakEfs, EveryVerbHasHelp)
{
    const auto main = run({"--help"});
    EXPECT_EQ(main.exitCode, 0);
    for (const std::string verb :
         {"ls", "get", "put", "rm", "mkdir", "rmdir", "mv", "stat", "serve", "mount"}) {
        EXPECT_THAT(main.out, HasSubstr("\n  " + verb + " "));
        const auto help = run({verb, "--help"});
        EXPECT_EQ(help.exitCode, 0) << verb;
        EXPECT_THAT(help.out, HasSubstr("Usage: vornak-efs " + verb));
    }
}

// Exit codes by kind: 2 usage, 1 the handset refused, 3 no port, 4 the port
// failed, 5 this computer's files.
TEST(VornakEfs, FailuresSayWhatHappenedAndExitByKind)
{
    // A terminal nobody answers on: a handset that stays silent.
    int master = -1, slave = -1;
    char silent[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, silent, nullptr, nullptr), 0);

    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string says;
    } cases[] = {
        {{}, 2, "name a verb: ls, get,"},
        {{"--port", "serial:x", "frobnicate"}, 2, "'frobnicate' is not a verb"},
        {{"ls"}, 2, "say which handset to use"},
        {{"--port", "serial:/dev/null:fast", "ls"}, 2, "'fast' is not a baud rate"},
        {{"--port", "tcp:localhost", "ls"}, 2, "a TCP port is written tcp:<host>:<port>"},
        {{"--port", "usb:1", "ls"}, 2, "a port is written serial:"},
        {{"serve", "--listen", "tcp:127.0.0.1:http"}, 2, "'http' is not a TCP port number"},
        {{"--port", "tcp:127.0.0.1:1", "--latency", "5", "ls"}, 2, "a real port has its own"},
        {{"--emulator", kSeed, "get", "/nv"}, 2, "/nv is a directory; get -r"},
        {{"--emulator", kSeed, "ls", "/nope"},
         1,
         "No such file or directory (device error 2) looking up /nope\n"},
        {{"--emulator", kSeed, "rmdir", "/nv"},
         1,
         "Directory not empty (device error 39) removing the directory /nv\n"},
        {{"--emulator", kSeed, "mkdir", "-p", "/readme.txt/x"}, 1, "/readme.txt is a file"},
        {{"--port", "serial:/nonexistent/tty", "ls"},
         3,
         "cannot open the serial port /nonexistent/tty: No such file or directory\n"},
        {{"--port", "tcp:127.0.0.1:1", "ls"},
         3,
         "cannot connect to 127.0.0.1:1: Connection refused\n"},
        {{"--port", std::string("serial:") + silent, "--timeout", "200", "ls", "/"},
         4,
         "The handset did not answer within 200 ms (port error 0x800705B4) "
         "looking up /\n"},
        {{"--emulator", kSeed, "get", "/readme.txt", "/nonexistent/x"}, 5, "cannot write"},
    };
    for (const auto& c : cases) {
        const auto outcome = run(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(outcome.err.rfind("vornak-efs: ", 0), 0u) << outcome.err;
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
    EXPECT_EQ(outcome.out, "/:\ndata\nnv\nreadme.txt\n\n"
                           "/data:\nsettings.txt\n\n"
                           "/nv:\nitem_files\n\n"
                           "/nv/item_files:\nmode\n");

    // Files first under their own names, then each directory under a heading.
    EXPECT_THAT(run({"--emulator", kSeed, "ls", "-l", "/nv", "/readme.txt"}).out,
                ::testing::MatchesRegex("-rw-r--r-- 64 [0-9-]+ [0-9:]+ /readme.txt\n\n"
                                        "/nv:\n"
                                        "drwxr-xr-x - [0-9-]+ [0-9:]+ item_files\n"));
}

// Every verb against one `serve`, each test in a directory of its own, on
// the handset and in `host`, a fresh folder of this computer.
class ServedHandset : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Unique: ctest runs each test in a process of its own, side by side.
        std::string pattern = fs::temp_directory_path() / "vornak-efs-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        host = pattern;
        ToolTest::serve(server, kSeed);
    }
    static void TearDownTestSuite()
    {
        const auto outcome = ToolTest::stop(server);
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_THAT(outcome.err, HasSubstr("stopped after"));
        fs::remove_all(host);
    }

    static ToolTest::Outcome tool(std::vector<std::string> arguments, bool onTerminal = false)
    {
        arguments.insert(arguments.begin(), {"--port", server.port});
        return run(arguments, onTerminal);
    }

    static ToolTest::Server server;
    static inline fs::path host;
};

ToolTest::Server ServedHandset::server;

TEST_F(ServedHandset, FilesAroundThePacketSizeGoAndComeBackWhole)
{
    const std::size_t sizes[] = {0, 1, 511, 512, 513, 1024, 1025, 300 * 1024 + 7};
    std::vector<std::string> puts = {"put"};
    std::vector<std::string> gets = {"get"};
    for (const std::size_t size : sizes) {
        const std::string name = "f" + std::to_string(size);
        writeFile(host / "out" / name, bytesOf(size, static_cast<unsigned>(size)));
        puts.push_back((host / "out" / name).string());
        gets.push_back("/sizes/in/" + name);
    }
    puts.push_back("/sizes/in");
    gets.push_back((host / "back").string());
    fs::create_directories(host / "back");

    ASSERT_EQ(tool({"mkdir", "-p", "/sizes/in"}).exitCode, 0);
    const auto put = tool(puts);
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_EQ(put.err, ""); // no terminal, no progress
    const auto listing = tool({"ls", "-l", "/sizes/in"}).out;
    const auto stat = tool({"stat", "/sizes/in/f513"}).out;
    EXPECT_THAT(stat, HasSubstr("type:     regular file\n"));
    EXPECT_THAT(stat, HasSubstr("size:     513 bytes\n"));
    const auto get = tool(gets);
    ASSERT_EQ(get.exitCode, 0) << get.err;

    for (const std::size_t size : sizes) {
        const std::string name = "f" + std::to_string(size);
        EXPECT_THAT(listing, ::testing::ContainsRegex(" " + std::to_string(size) + " [0-9: -]+ " +
                                                      name + "\n"));
        EXPECT_EQ(readFile(host / "back" / name), readFile(host / "out" / name)) << name;
    }
}

TEST_F(ServedHandset, NamesAreMovedAndRemoved)
{
    ASSERT_EQ(tool({"mkdir", "/names", "/names/sub"}).exitCode, 0);
    writeFile(host / "a.txt", "a");
    ASSERT_EQ(tool({"put", (host / "a.txt").string(), "/names/a.txt"}).exitCode, 0);

    EXPECT_EQ(tool({"mv", "/names/a.txt", "/names/b.txt"}).exitCode, 0);
    EXPECT_EQ(tool({"mv", "/names/b.txt", "/names/sub"}).exitCode, 0); // into the directory
    EXPECT_EQ(tool({"ls", "-R", "/names"}).out, "/names:\nsub\n\n/names/sub:\nb.txt\n");

    EXPECT_EQ(tool({"rm", "/names/sub/b.txt"}).exitCode, 0);
    EXPECT_EQ(tool({"rmdir", "/names/sub", "/names"}).exitCode, 0);
    EXPECT_EQ(tool({"stat", "/names"}).exitCode, 1);
}

TEST_F(ServedHandset, TreesComeBackAsTheyWentIncludingNamesOutsideTheCodePage)
{
    const fs::path tree = host / "tree";
    writeFile(tree / "top.bin", bytesOf(2048, 7));
    writeFile(tree / "empty.txt", "");
    writeFile(tree / u8"\u03B1\u03B2\u03B3.txt", "greek");
    writeFile(tree / "deep" / "er" / u8"\u65E5\u672C.bin", bytesOf(70000, 8));
    fs::create_directories(tree / "hollow");

    ASSERT_EQ(tool({"mkdir", "/trees"}).exitCode, 0);
    const auto put = tool({"put", "-r", tree.string(), "/trees"});
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_THAT(tool({"ls", "/trees/tree"}).out, HasSubstr("\xCE\xB1\xCE\xB2\xCE\xB3.txt\n"));

    const auto get = tool({"get", "-r", "/trees/tree", (host / "copy").string()});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(treeOf(host / "copy"), treeOf(tree));
}

TEST_F(ServedHandset, ShowsProgressOnATerminalOnly)
{
    writeFile(host / "p.bin", bytesOf(200000, 9));
    const auto put = tool({"put", (host / "p.bin").string(), "/p.bin"}, true);
    ASSERT_EQ(put.exitCode, 0) << put.err;
    EXPECT_THAT(put.err, HasSubstr("\r/p.bin"));
    EXPECT_THAT(put.err, ::testing::ContainsRegex("100% \\[#+\\] 195.3 KiB .*/s  in [0-9]+:"));

    EXPECT_THAT(tool({"get", "/p.bin", (host / "q.bin").string()}, true).err, HasSubstr("100%"));
    EXPECT_EQ(tool({"-q", "get", "/p.bin", (host / "r.bin").string()}, true).err, "");
}

// The same handset on a loopback TCP port: announced with the port it took,
// reached with --port as announced, and one client after another.
TEST(VornakEfs, ServesOnATcpPort)
{
    ToolTest::Server server;
    // Through the model of a fast cable, which only slows the answers.
    ToolTest::serve(server, kSeed, "tcp:127.0.0.1:0", {"--latency", "1", "--baud", "921600"});
    EXPECT_THAT(server.port, ::testing::MatchesRegex("tcp:127\\.0\\.0\\.1:[1-9][0-9]*"));
    const auto tool = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--port", server.port});
        return run(arguments);
    };
    EXPECT_EQ(tool({"ls", "/data"}).out, "settings.txt\n");
    EXPECT_EQ(tool({"mv", "/data/settings.txt", "/data/moved.txt"}).exitCode, 0);
    EXPECT_EQ(tool({"ls", "/data"}).out, "moved.txt\n");
    const auto stopped = ToolTest::stop(server);
    EXPECT_EQ(stopped.exitCode, 0);
    EXPECT_THAT(stopped.err, HasSubstr("from 3 clients"));
    EXPECT_THAT(stopped.err, HasSubstr("each answer takes 1 ms and its bytes at 921600 baud"));
}

} // namespace
