// What a hostile handset can do to this computer through vornak-efs: names
// that would place files outside the destination, a listing that never ends,
// and a transfer that fails halfway over a file the user already has.
#include "EmulatedTool.h"

#include <gmock/gmock.h>

#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using Emulator::Fault;
using ::testing::HasSubstr;

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return in ? bytes : "<missing>";
}

// Every name below `root`, relative to it.
std::set<std::string> namesBelow(const fs::path& root)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        names.insert(entry.path().lexically_relative(root).string());
    }
    return names;
}

class HostileNames : public ToolTest::EmulatedTool {};

} // namespace

// Each name, listed for a file and for a directory: refused with its reason,
// the other entries fetched, nothing written elsewhere, exit code 1. Only "."
// and ".." listed as directories pass silently: they are the directory's own
// links, which handsets list.
TEST_F(HostileNames, AreRefusedOneByOneAndTheRestIsFetched)
{
    const fs::path victim = host / "outside" / "victim";
    const std::string victimText = victim.string(); // ASCII, as a handset could send it
    const struct {
        std::string listed; // the handset's bytes
        std::string quoted; // as the message shows it
        std::string reason;
    } cases[] = {
        {"..", R"("..")", "the name \"..\", which is no file of its own"},
        {".", R"(".")", "the name \".\", which is no file of its own"},
        {victimText, "\"" + victimText + "\"", "an absolute name"},
        {"&#x2F;" + victimText.substr(1), "\"" + victimText + "\"", "an absolute name"},
        {"../../outside/victim", R"("../../outside/victim")", "a name with a \"/\" in it"},
        {"..\\..\\outside\\victim", R"("..\\..\\outside\\victim")",
         "a name with a \"\\\" in it"},
        {"victim&#x0;.txt", R"("victim\x00.txt")", "a name with a NUL in it"},
        {"a\x01" "b", R"("a\x01b")", "a name with a control character in it"},
        {"a\x1B[2Jb", R"("a\x1B[2Jb")", "a name with a control character in it"},
        {"a&#x85;b", R"("a\x85b")", "a name with a control character in it"},
        {"&#xD800;", R"("\uD800")", "a name that is not valid Unicode"},
    };
    fs::create_directories(victim.parent_path());
    std::ofstream(victim) << "mine";
    for (const bool asDirectory : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.quoted + (asDirectory ? " (directory)" : " (file)"));
            handset = std::make_shared<Emulator::Handset>();
            addFile(asDirectory ? u"/d/a/inner" : u"/d/a", "A"); // listed first
            addFile(u"/d/ok.txt", "ok");
            handset->queueFault(Fault::listedName(c.listed));
            const fs::path destination = host / "dest";

            const auto outcome = tool({"get", "-r", "/d", destination.string()});
            if (asDirectory && (c.listed == "." || c.listed == "..")) {
                EXPECT_EQ(outcome.exitCode, 0);
                EXPECT_EQ(outcome.err, "");
                EXPECT_EQ(contentOf(destination / "ok.txt"), "ok");
                fs::remove_all(destination);
                continue;
            }
            EXPECT_EQ(outcome.exitCode, 1);
            EXPECT_THAT(outcome.err, HasSubstr("vornak-efs: refused the entry " + c.quoted +
                                               " of /d: " + c.reason + " could place it outside"));
            EXPECT_THAT(outcome.err, HasSubstr("vornak-efs: The handset listed 1 name that cannot "
                                               "be files here (see above); everything else was "
                                               "copied\n"));
            EXPECT_EQ(namesBelow(host), (std::set<std::string>{"dest", "dest/ok.txt", "outside",
                                                               "outside/victim"}));
            EXPECT_EQ(contentOf(destination / "ok.txt"), "ok");
            EXPECT_EQ(contentOf(victim), "mine");
            fs::remove_all(destination);
        }
    }
}

// ls shows what a handset lists, but never hands the terminal a control
// character or a malformed name: those come quoted.
TEST_F(HostileNames, AreShownQuotedWhenTheyHoldControlCharacters)
{
    addFile(u"/d/a", "x");
    addFile(u"/d/b", "x");
    handset->queueFault(Fault::listedName("clear\x1B[2J"));
    handset->queueFault(Fault::listedName("&#xDC00;"));
    const auto outcome = tool({"ls", "/d"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "\"clear\\x1B[2J\"\n\"\\uDC00\"\n");

    // JSON escapes control characters itself, but must stay valid UTF-8.
    handset->queueFault(Fault::listedName("clear\x1B[2J"));
    handset->queueFault(Fault::listedName("&#xDC00;"));
    const auto json = tool({"--json", "ls", "/d"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_THAT(json.out, HasSubstr(R"("name": "clear\u001b[2J")"));
    EXPECT_THAT(json.out, HasSubstr(R"("name": "\"\\uDC00\"")"));

    // A link's target is the handset's text too.
    handset->edit([](Emulator::FileSystem& fs) { fs.addLink(u"/l", u"clear\x1B[2J"); });
    for (const auto& verb : {std::vector<std::string>{"ls", "-l", "/l"}, {"stat", "/l"},
                             {"readlink", "/l"}}) {
        SCOPED_TRACE(verb[0]);
        const auto shown = tool(verb);
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_THAT(shown.out, HasSubstr("\"clear\\x1B[2J\"\n"));
        EXPECT_EQ(shown.out.find('\x1B'), std::string::npos);
    }
}

// The verbs that walk the handset's tree go one step down at a time: ls -R
// shows a directory listed as "../d" or "x/y" but does not go into it, and
// rm -r (name by name, on a handset without DELTREE) stops there. ("." and
// ".." the listing itself passes over.)
TEST_F(HostileNames, LeadNoWalkOfTheHandsetElsewhere)
{
    for (const char* listed : {"../d", "x/y"}) {
        SCOPED_TRACE(listed);
        handset = std::make_shared<Emulator::Handset>();
        addFile(u"/d/a/inner", "A");
        addFile(u"/keep", "K");
        handset->queueFault(Fault::listedName(listed));
        const auto listing = tool({"ls", "-R", "/d"});
        EXPECT_EQ(listing.exitCode, 0);
        EXPECT_EQ(listing.out, "/d:\n" + std::string(listed) + "\n");

        handset->queueFault(Fault::errorResponse(5).on(Diag::Efs2::DelTree));
        handset->queueFault(Fault::listedName(listed));
        const auto removal = tool({"rm", "-r", "/d"});
        EXPECT_EQ(removal.exitCode, 1);
        EXPECT_EQ(removal.err, "vornak-efs: The handset listed the name \"" + std::string(listed) +
                                   "\" in /d, which no file can have; stopped there\n");
        Emulator::Attributes attributes;
        EXPECT_EQ(handset->stat(u"/keep", attributes), 0u);
        EXPECT_EQ(handset->stat(u"/d/a/inner", attributes), 0u);
    }
}

// A handset that never ends a listing: every verb that lists stops at the
// limit with words that say so, and a listing of exactly the limit passes.
TEST_F(HostileNames, AListingThatNeverEndsStopsAtTheLimit)
{
    for (const char* name : {"/d/1", "/d/2", "/d/3"}) {
        addFile(std::u16string(name, name + 4), "x");
    }
    const std::vector<std::vector<std::string>> verbs = {
        {"ls", "/d"},
        {"ls", "-R", "/"},
        {"get", "-r", "/d", (host / "copy").string()},
        {"backup", "/d", "-o", (host / "backup.tar").string()},
    };
    for (const auto& verb : verbs) {
        SCOPED_TRACE(::testing::PrintToString(verb));
        std::vector<std::string> arguments = {"--listing-limit", "3"};
        arguments.insert(arguments.end(), verb.begin(), verb.end());
        EXPECT_EQ(tool(arguments).exitCode, 0);

        handset->queueFault(Fault::endlessListing());
        const auto outcome = tool(arguments);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_THAT(outcome.err, HasSubstr(" went past 3 entries without an end; stopped there "
                                           "(--listing-limit sets how many a directory may "
                                           "have)\n"));
        fs::remove_all(host / "copy");
    }
    EXPECT_THAT(tool({"--help"}).out, HasSubstr("--listing-limit N:UINT in [1 - 1073741824]=65536"));
}

// get writes beside the target and renames when the file is whole: a failure
// halfway leaves the user's earlier file as it was, and no temporary file.
TEST_F(HostileNames, AFailedGetLeavesTheEarlierFileUntouched)
{
    addFile(u"/big", std::string(20000, 'n'));
    const fs::path target = host / "big";
    std::ofstream(target) << "earlier";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);

    handset->queueFault(Fault::latency(0).on(Diag::Efs2::Read));
    handset->queueFault(Fault::errorResponse(5).on(Diag::Efs2::Read));
    const auto failed = tool({"get", "/big", target.string()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "vornak-efs: Input/output error (device error 5) reading /big\n");
    EXPECT_EQ(contentOf(target), "earlier");
    EXPECT_EQ(namesBelow(host), std::set<std::string>{"big"});

    EXPECT_EQ(tool({"get", "/big", target.string()}).exitCode, 0);
    EXPECT_EQ(contentOf(target), std::string(20000, 'n'));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(namesBelow(host), std::set<std::string>{"big"});
}
