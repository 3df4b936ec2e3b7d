// Every verb of vornak-efs against every fault a handset or its port can
// show, at the request that does the verb's work: the exit code and the
// message are exact, nothing is left open on the handset, and no file of
// this computer is left half-written.
#include "EmulatedTool.h"

#include <fstream>

namespace {

namespace Efs2 = Diag::Efs2;
using Emulator::Fault;

class FaultMatrix : public ToolTest::EmulatedTool {};

constexpr int kLacking = 6; // the exit code of a command the handset lacks

} // namespace

TEST_F(FaultMatrix, EveryVerbByEveryFault)
{
    // The faults, each with the words of the failure it makes.
    const struct {
        Fault fault;
        const char* words;
    } faults[] = {
        {Fault::portFailure(E_FAIL), "The port failed (port error 0x80004005)"},
        {Fault::errorResponse(5), "Input/output error (device error 5)"},
        {Fault::truncatedResponse(6), "The handset sent a malformed response (error 514)"},
        {Fault::wrongHeader(), "The handset sent a response to another request (error 525)"},
        {Fault::staleOffset(), "The handset wrote at another offset than the one sent (error 528)"},
        {Fault::foreignDescriptor(), "The handset answered for another file or directory (error 515)"},
        {Fault::noAnswer(), "The handset did not answer within 20 ms (port error 0x800705B4)"},
    };
    const std::string got = (host / "got").string();
    const std::string up = (host / "up").string();
    // The exit code under each fault, in the order above: 0 where the fault
    // finds no field to spoil (or a read asks again), 1 where the handset
    // failed, 4 where the port did. stat leaves out a size the handset will
    // not give.
    const struct {
        std::vector<std::string> arguments;
        std::uint16_t command; // the request the fault waits for
        const char* action;
        const char* exitCodes;
        const char* lacking = nullptr; // what a handset that answers the error packet lacks
    } verbs[] = {
        {{"ls", "/d"}, Efs2::ReadDir, "listing /d", "4111014"},
        {{"stat", "/d/f"}, Efs2::FStat, "reading the size of /d/f", "4011004"},
        {{"get", "/d/f", got}, Efs2::Read, "reading /d/f", "4111014"},
        {{"put", up, "/d/up"}, Efs2::Write, "writing /d/up", "4111114"},
        {{"rm", "/d/f"}, Efs2::Unlink, "removing /d/f", "4111004"},
        {{"mkdir", "/d/new"}, Efs2::MkDir, "making the directory /d/new", "4111004"},
        {{"rmdir", "/d/e"}, Efs2::RmDir, "removing the directory /d/e", "4111004"},
        {{"mv", "/d/f", "/d/g"}, Efs2::Rename, "renaming /d/f to /d/g", "4111004"},
        // Commands beyond the basic ones: a handset that answers one with the
        // error packet lacks it (exit code 6), except DELTREE, which rm -r
        // then does name by name.
        {{"chmod", "600", "/d/f"}, Efs2::Chmod, "changing the mode of /d/f", "4611004", "chmod"},
        {{"readlink", "/d/k"}, Efs2::ReadLink, "reading the link /d/k", "4611004", "symbolic links"},
        {{"rm", "-r", "/d/e"}, Efs2::DelTree, "removing the tree /d/e", "4011004"},
        {{"item", "get", "/d/i", got}, Efs2::Get, "reading the item /d/i", "4611004", "item files"},
    };
    std::ofstream(up, std::ios::binary) << std::string(1000, 'u');
    for (const auto& verb : verbs) {
        for (std::size_t i = 0; i < std::size(faults); ++i) {
            SCOPED_TRACE(verb.arguments[0] + ", " + faults[i].words);
            handset = std::make_shared<Emulator::Handset>();
            addFile(u"/d/f", std::string(2000, 'f'));
            addDirectory(u"/d/e");
            handset->edit([](Emulator::FileSystem& fs) {
                fs.addLink(u"/d/k", u"f");
                fs.addItem(u"/d/i", std::vector<std::uint8_t>{1, 2, 3});
            });
            handset->queueFault(faults[i].fault.on(verb.command));
            std::vector<std::string> arguments = {"--timeout", "20"};
            arguments.insert(arguments.end(), verb.arguments.begin(), verb.arguments.end());

            const auto outcome = tool(arguments);
            const int exitCode = verb.exitCodes[i] - '0';
            EXPECT_EQ(outcome.exitCode, exitCode);
            const std::string words =
                exitCode == kLacking ? std::string("this handset does not support ") + verb.lacking
                                     : std::string(faults[i].words) + " " + verb.action;
            EXPECT_EQ(outcome.err, exitCode == 0 ? std::string() : "vornak-efs: " + words + "\n");
            EXPECT_EQ(handset->pendingFaults(), 0u);
            EXPECT_EQ(handset->openDescriptors(), 0u);
            EXPECT_EQ(handset->openDirectories(), 0u);
            // No file of this computer half-written, under its name or another.
            for (const auto& entry : std::filesystem::directory_iterator(host)) {
                const auto name = entry.path().filename();
                EXPECT_TRUE(name == "up" || (name == "got" && exitCode == 0)) << name;
            }
            std::filesystem::remove(got);
        }
    }
}
