// The verbs of the commands beyond the thirteen, in this process against an
// emulated handset: their plain words for a handset that lacks a command and
// for input they refuse, and that what they refuse changes nothing.
#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "platform/Md5.h"
#include "support/RecordingPort.h"
#include "tools/vornak-efs/App.h"
#include "tools/vornak-efs/Failure.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace Efs2 = Diag::Efs2;
namespace fs = std::filesystem;
using TestSupport::RecordingPort;

// A port in front of the emulated handset that lacks some EFS2 commands: it
// answers them as handsets answer what they do not know, with bad command and
// the request echoed, or with the EFS2 error packet.
class LackingPort final : public ComServer::ComObject<LackingPort, IDiagPort> {
public:
    enum class Answer { BadCommand, ErrorPacket };

    static Platform::ComPtr<LackingPort> create(IDiagPort* inner, std::set<std::uint16_t> lacking,
                                                Answer answer)
    {
        return make(inner, std::move(lacking), answer);
    }
    static std::span<const ComServer::InterfaceEntry<LackingPort>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<LackingPort> table[] = {
            ComServer::interfaceEntry<LackingPort, IDiagPort>(IID_IDiagPort),
        };
        return table;
    }

    VORNAK_RESERVED_SLOTS_1_TO_3
    HRESULT STDMETHODCALLTYPE SendRequest(ULONG length, const BYTE* request, ULONG constant1,
                                          ULONG constant0, ULONG timeout, USHORT* responseLength,
                                          BYTE* response) override
    {
        const bool lacked =
            length >= Efs2::kHeaderSize &&
            lacking_.count(static_cast<std::uint16_t>(request[2] | request[3] << 8));
        if (!lacked) {
            return inner_->SendRequest(length, request, constant1, constant0, timeout,
                                       responseLength, response);
        }
        TestSupport::Bytes answer;
        if (answer_ == Answer::BadCommand) {
            answer.push_back(0x13);
            answer.insert(answer.end(), request, request + length);
        } else {
            answer =
                TestSupport::Packet(Efs2::ErrorResponse, request[1]).u32(Efs2::kInvalidArgument);
        }
        if (answer.size() > *responseLength) {
            return static_cast<HRESULT>(0x8007007Au);
        }
        std::copy(answer.begin(), answer.end(), response);
        *responseLength = static_cast<USHORT>(answer.size());
        return S_OK;
    }

private:
    friend ComObject;
    LackingPort(IDiagPort* inner, std::set<std::uint16_t> lacking, Answer answer)
        : inner_(inner)
        , lacking_(std::move(lacking))
        , answer_(answer)
    {}

    Platform::ComPtr<IDiagPort> inner_;
    std::set<std::uint16_t> lacking_;
    Answer answer_;
};

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class VerbTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vornak-efs-verbs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        host = pattern;
        handset->edit([](Emulator::FileSystem& fs) {
            const std::string f = "0123456789";
            fs.addFile(u"/d/f", std::vector<std::uint8_t>(f.begin(), f.end()));
            fs.addFile(u"/d/sub/g", std::vector<std::uint8_t>(3, 'g'));
            fs.addDirectory(u"/d/empty");
        });
    }
    void TearDown() override
    {
        EXPECT_EQ(handset->openDescriptors(), 0u);
        EXPECT_EQ(handset->openDirectories(), 0u);
        fs::remove_all(host);
    }

    // One invocation through `port` (the handset's own port when null).
    Outcome tool(std::vector<std::string> arguments, IDiagPort* port = nullptr)
    {
        arguments.insert(arguments.begin(), {"vornak-efs", "--emulator", ""});
        std::ostringstream out, err;
        Outcome outcome;
        outcome.exitCode =
            VornakEfs::runOn(port != nullptr ? Platform::ComPtr<IDiagPort>(port) : emulated,
                             arguments, out, err, nullptr);
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }

    // Every name on the handset with its mode and bytes.
    std::map<std::string, std::string> snapshot()
    {
        std::map<std::string, std::string> names;
        handset->edit([&](Emulator::FileSystem& fs) {
            const auto walk = [&](const auto& self, const Emulator::Node& node,
                                  const std::string& path) -> void {
                names[path] = std::to_string(node.mode) + ":" +
                              std::string(node.data().begin(), node.data().end());
                for (const auto& [name, child] : node.entries) {
                    self(self, *child, path + "/" + name);
                }
            };
            walk(walk, *fs.root(), "");
        });
        return names;
    }

    // The mode of `path` on the handset.
    std::uint32_t modeOf(std::u16string_view path)
    {
        Emulator::Attributes attributes;
        EXPECT_EQ(handset->stat(path, attributes), 0u);
        return attributes.mode;
    }
    std::string bytesOf(std::u16string_view path)
    {
        std::vector<std::uint8_t> bytes;
        EXPECT_EQ(handset->readFile(path, bytes), 0u);
        return std::string(bytes.begin(), bytes.end());
    }

    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<IDiagPort> emulated = Emulator::EmulatedPort::create(handset);
    fs::path host;
};

TEST_F(VerbTest, AHandsetThatLacksTheCommandIsSaidToInWords)
{
    const std::string item = (host / "item.bin").string();
    std::ofstream(item) << "item";
    const struct {
        std::vector<std::string> arguments;
        std::uint16_t command;
        const char* feature;
    } cases[] = {
        {{"chmod", "600", "/d/f"}, Efs2::Chmod, "chmod"},
        {{"chmod", "g+w", "/d/f"}, Efs2::Chmod, "chmod"},
        {{"ln", "-s", "/d/f", "/d/l"}, Efs2::Symlink, "symbolic links"},
        {{"truncate", "-s", "4", "/d/f"}, Efs2::Truncate, "truncate"},
        {{"md5sum", "/d/f"}, Efs2::Md5Sum, "md5sum"},
        {{"df"}, Efs2::StatFs, "df"},
        {{"df", "/d"}, Efs2::StatFs, "df"},
        {{"item", "get", "/d/f"}, Efs2::Get, "item files"},
        {{"item", "put", item, "/d/i"}, Efs2::Put, "item files"},
        {{"info"}, Efs2::Hello, "EFS2 sessions"},
    };
    const auto before = snapshot();
    for (const auto answer : {LackingPort::Answer::BadCommand, LackingPort::Answer::ErrorPacket}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::PrintToString(c.arguments));
            const auto port = LackingPort::create(emulated.get(), {c.command}, answer);
            const Outcome outcome = tool(c.arguments, port.get());
            EXPECT_EQ(outcome.exitCode, VornakEfs::kNotSupported);
            EXPECT_EQ(outcome.err,
                      std::string("vornak-efs: this handset does not support ") + c.feature + "\n");
            EXPECT_EQ(outcome.out, "");
        }
    }
    EXPECT_EQ(snapshot(), before);
}

TEST_F(VerbTest, WhatOnlyPartOfTheHandsetLacksIsLeftOutOrDoneAnotherWay)
{
    // info names what it cannot tell and goes on.
    auto port = LackingPort::create(emulated.get(), {Efs2::DevInfo, Efs2::Query},
                                    LackingPort::Answer::BadCommand);
    Outcome outcome = tool({"info"}, port.get());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("EFS2:        protocol version 1 on subsystem 19"),
              std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.out.find("Limits:      not told: this handset does not support queries of "
                               "its limits\n"),
              std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.out.find("Flash:       not told: this handset does not support device "
                               "information\n"),
              std::string::npos)
        << outcome.out;

    // rm -r walks the tree where DELTREE is missing.
    port = LackingPort::create(emulated.get(), {Efs2::DelTree}, LackingPort::Answer::ErrorPacket);
    const auto recording = RecordingPort::create(port.get());
    outcome = tool({"rm", "-r", "/d"}, recording.get());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(snapshot().size(), 1u); // the root alone
    // DELTREE is asked once, and not again for the directories below.
    const auto commands = recording->commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), Efs2::DelTree), 1);
    EXPECT_EQ(recording->paths(Efs2::RmDir), (RecordingPort::Strings{"/d/empty", "/d/sub", "/d"}));
}

TEST_F(VerbTest, RefusedInputChangesNothing)
{
    const std::string big = (host / "big.bin").string();
    std::ofstream(big, std::ios::binary) << std::string(Efs2::kMaxItemData + 1, 'x');
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"chmod", "600", "/d/f", "/d/none"},
         1,
         "No such file or directory (device error 2) looking up /d/none"},
        {{"chmod", "u+q", "/d/f"},
         2,
         "'u+q' is not a mode: write it in octal (644) or as changes (u+x, go-w, a=r)"},
        {{"chmod", "17777", "/d/f"}, 2, "'17777' is not a mode"},
        {{"chmod", "9", "/d/f"}, 2, "'9' is not a mode"},
        {{"chmod", "u+x,", "/d/f"}, 2, "'u+x,' is not a mode"},
        {{"ln", "-s", "/x", "/d/f"}, 1, "File exists (device error 17) making the link /d/f"},
        {{"ln", "-s", "/x/f", "/d"}, 1, "File exists (device error 17) making the link /d/f"},
        {{"ln", "-s", "", "/d/l"}, 2, "a link needs a target"},
        {{"ln", "/d/f", "/d/l"}, 2, "handsets have symbolic links only: ln -s TARGET LINK"},
        {{"readlink", "/d/f"}, 1, "/d/f is not a symbolic link"},
        {{"truncate", "-s", "5X", "/d/f"},
         2,
         "'5X' is not a size: write bytes, or a number with K, M or G"},
        {{"truncate", "-s", "4G", "/d/f"},
         2,
         "4G is more than a handset file can hold (4 GiB less one byte)"},
        {{"truncate", "-s", "-1", "/d/f"}, 2, "'-1' is not a size"},
        {{"item", "put", big, "/d/i"},
         2,
         "an item file holds at most 1024 bytes; " + big + " has more"},
        {{"rm", "-r", "/"}, 2, "rm -r / would empty the whole handset; name what is below it"},
        {{"rm", "-r", "/d/none"}, 1, "No such file or directory (device error 2) looking up"},
    };
    const auto before = snapshot();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Outcome outcome = tool(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.err.rfind("vornak-efs: " + c.says, 0), 0u) << outcome.err;
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(VerbTest, ModesLinksAndSizesChangeAsAsked)
{
    const struct {
        std::vector<std::string> arguments;
        std::u16string path;
        std::uint32_t mode;
    } modes[] = {
        {{"chmod", "600", "/d/f"}, u"/d/f", Efs2::kModeRegular | 0600},
        {{"chmod", "g+w,o+r", "/d/f"}, u"/d/f", Efs2::kModeRegular | 0624},
        {{"chmod", "a-x", "/d/sub"}, u"/d/sub", Efs2::kModeDirectory | 0666},
        {{"chmod", "u=rwx,go=", "/d/f", "/d/empty"}, u"/d/empty", Efs2::kModeDirectory | 0700},
    };
    for (const auto& c : modes) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const Outcome outcome = tool(c.arguments);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(modeOf(c.path), c.mode);
    }

    // A link keeps its target as written; into a directory it takes the target's name.
    EXPECT_EQ(tool({"ln", "-s", "../f", "/d/sub/l"}).exitCode, 0);
    EXPECT_EQ(tool({"ln", "-s", "/d/sub/g", "/d/empty"}).exitCode, 0);
    EXPECT_EQ(tool({"readlink", "/d/sub/l", "/d/empty/g"}).out, "../f\n/d/sub/g\n");
    EXPECT_NE(tool({"ls", "-l", "/d/sub"}).out.find(" l -> ../f\n"), std::string::npos);
    EXPECT_NE(tool({"stat", "/d/sub/l"})
                  .out.find("  type:     symbolic link\n"
                            "  mode:     0777 (lrwxrwxrwx)\n"
                            "  target:   ../f\n"),
              std::string::npos);

    EXPECT_EQ(tool({"truncate", "-s", "4", "/d/f"}).exitCode, 0);
    EXPECT_EQ(bytesOf(u"/d/f"), "0123");
    EXPECT_EQ(tool({"truncate", "-s", "6", "/d/f"}).exitCode, 0);
    EXPECT_EQ(bytesOf(u"/d/f"), std::string("0123\0\0", 6));
}

TEST_F(VerbTest, DigestsItemsTreesAndWhatTheHandsetTellsOfItself)
{
    const std::string content = bytesOf(u"/d/f");
    const Platform::Md5Digest digest =
        Platform::md5(std::span(reinterpret_cast<const std::uint8_t*>(content.data()), 10));
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 0xF];
    }
    EXPECT_EQ(tool({"md5sum", "/d/f"}).out, hex + "  /d/f\n");
    const std::string same = (host / "same.bin").string();
    const std::string other = (host / "other.bin").string();
    std::ofstream(same, std::ios::binary) << content;
    std::ofstream(other, std::ios::binary) << content << 'x';
    Outcome outcome = tool({"md5sum", "--check", same, "/d/f"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "/d/f: OK\n");
    outcome = tool({"md5sum", "--check", other, "/d/f"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.out, "/d/f: FAILED\n");
    EXPECT_EQ(outcome.err.rfind("vornak-efs: /d/f differs from " + other + " (" + hex, 0), 0u)
        << outcome.err;

    // An item goes and comes back whole, and lists as one.
    const std::string item = (host / "item.bin").string();
    const std::string back = (host / "back.bin").string();
    std::ofstream(item, std::ios::binary) << std::string("\x01\x7E\x00\x7D", 4);
    EXPECT_EQ(tool({"item", "put", item, "/d/i"}).exitCode, 0);
    EXPECT_EQ(tool({"item", "get", "/d/i"}).out, std::string("\x01\x7E\x00\x7D", 4));
    EXPECT_EQ(tool({"item", "get", "/d/i", back}).exitCode, 0);
    std::ifstream in(back, std::ios::binary);
    std::string copied(8, '\0');
    in.read(copied.data(), 8);
    copied.resize(static_cast<std::size_t>(in.gcount()));
    EXPECT_EQ(copied, std::string("\x01\x7E\x00\x7D", 4));
    EXPECT_NE(tool({"ls", "-l", "/d"}).out.find("\nirw-rw-rw- "), std::string::npos);
    EXPECT_NE(tool({"stat", "/d/i"}).out.find("  type:     item file\n"), std::string::npos);

    const std::string df = tool({"df"}).out;
    EXPECT_EQ(df.rfind("Path  Type", 0), 0u) << df;
    EXPECT_NE(df.find("\n/     EFS2 "), std::string::npos) << df;
    const std::string info = tool({"info"}).out;
    EXPECT_EQ(info.rfind("EFS2:        protocol version 1 on subsystem 19", 0), 0u) << info;
    EXPECT_NE(info.find("Flash:       NAND, "), std::string::npos) << info;

    // A tree goes in one request where the handset has DELTREE.
    const auto recording = RecordingPort::create(emulated.get());
    EXPECT_EQ(tool({"rm", "-r", "/d/sub"}, recording.get()).exitCode, 0);
    const auto commands = recording->commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), Efs2::DelTree), 1);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), Efs2::RmDir), 0);
    EXPECT_EQ(snapshot().count("/d/sub"), 0u);
}

TEST_F(VerbTest, TruncateBeyondFreeSpaceChangesNothing)
{
    Emulator::Limits limits;
    limits.capacity = 4096;
    Emulator::FileSystem small(limits);
    small.addFile(u"/f", std::vector<std::uint8_t>(100, 'f'));
    handset = std::make_shared<Emulator::Handset>(std::move(small));
    emulated = Emulator::EmulatedPort::create(handset);

    const Outcome outcome = tool({"truncate", "-s", "8K", "/f"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "vornak-efs: No space left on device (device error 28) truncating /f\n");
    EXPECT_EQ(bytesOf(u"/f"), std::string(100, 'f'));
}

TEST_F(VerbTest, AHandsetThatRefusesEvenTheThirteenIsOnAnotherSubsystem)
{
    std::set<std::uint16_t> every;
    for (std::uint16_t command = 0; command < 64; ++command) {
        every.insert(command);
    }
    const auto port = LackingPort::create(emulated.get(), every, LackingPort::Answer::BadCommand);
    const Outcome outcome = tool({"ls", "/d"}, port.get());
    EXPECT_EQ(outcome.exitCode, VornakEfs::kNotSupported);
    EXPECT_EQ(outcome.err,
              "vornak-efs: The handset refused the request (it may answer on --subsys 62) "
              "looking up /d\n");
}

} // namespace

// --json gathers what the text shows: the same names (UTF-8, as ls prints
// them), and the figures the text rounds, whole.
TEST_F(VerbTest, JsonTellsWhatTheTextTellsInFieldsScriptsCanRead)
{
    handset->edit([](Emulator::FileSystem& fs) {
        fs.addFile(u"/d/gr\u00FC\u00DFe \u20AC.txt", std::vector<std::uint8_t>(5, 'x'));
        fs.addLink(u"/d/to-f", u"f");
    });
    const Outcome text = tool({"ls", "-R", "/d"});
    const Outcome listing = tool({"--json", "ls", "-R", "/d"});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    const auto document = nlohmann::json::parse(listing.out);
    std::string names;
    for (const auto& directory : document.at("directories")) {
        names += (names.empty() ? "" : "\n") + directory.at("path").get<std::string>() + ":\n";
        for (const auto& entry : directory.at("entries")) {
            names += entry.at("name").get<std::string>() + "\n";
        }
    }
    EXPECT_EQ(names, text.out);
    const auto& entries = document.at("directories").at(0).at("entries");
    const auto named = [&](const std::string& name) {
        for (const auto& entry : entries) {
            if (entry.at("name") == name) {
                return entry;
            }
        }
        return nlohmann::json();
    };
    EXPECT_EQ(named("gr\u00FC\u00DFe \u20AC.txt").at("size"), 5);
    EXPECT_EQ(named("to-f").at("type"), "symbolic link");
    EXPECT_EQ(named("to-f").at("target"), "f");
    EXPECT_EQ(named("sub").at("type"), "directory");
    EXPECT_TRUE(named("sub").at("size").is_null());
    EXPECT_TRUE(document.at("files").empty());

    const auto stat = nlohmann::json::parse(tool({"stat", "/d/f", "--json"}).out);
    ASSERT_EQ(stat.size(), 1u);
    EXPECT_EQ(stat[0].at("path"), "/d/f");
    EXPECT_EQ(stat[0].at("type"), "regular file");
    EXPECT_EQ(stat[0].at("size"), 10);
    EXPECT_EQ(stat[0].at("mode").get<std::uint32_t>(), modeOf(u"/d/f"));

    const auto df = nlohmann::json::parse(tool({"--json", "df"}).out);
    EXPECT_EQ(df.at(0).at("path"), "/");
    EXPECT_EQ(df.at(0).at("type"), "EFS2");
    EXPECT_EQ(df.at(0).at("size").get<std::uint64_t>(),
              df.at(0).at("used").get<std::uint64_t>() + df.at(0).at("available").get<std::uint64_t>());

    // What the handset does not tell is null, with the reason beside it.
    auto port = LackingPort::create(emulated.get(), {Efs2::DevInfo},
                                    LackingPort::Answer::BadCommand);
    const auto info = nlohmann::json::parse(tool({"--json", "info"}, port.get()).out);
    EXPECT_EQ(info.at("efs2").at("subsystem"), 19);
    EXPECT_TRUE(info.at("flash").is_null());
    EXPECT_EQ(info.at("flash_failure"), "this handset does not support device information");
    EXPECT_TRUE(info.at("limits").is_object());
    EXPECT_TRUE(info.at("limits_failure").is_null());

    // A failure leaves no half document; verbs without a JSON form say so.
    const Outcome missing = tool({"--json", "ls", "/d", "/nope"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(tool({"--json", "mkdir", "/x"}).exitCode, 2);
}
