// The handsets the tests of backup, restore and diff work on: emulated in
// this process, with the tool's verbs called on them directly, and what a
// handset holds read back from its file system, times aside.
#pragma once

#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "tools/vornak-efs/Backup.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Restore.h"
#include "tools/vornak-efs/Session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace BackupTest {

// The clock of every test handset: what a restore makes carries this time.
inline constexpr std::uint32_t kHandsetNow = 1'800'000'000;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::shared_ptr<Emulator::Handset> newHandset()
{
    return std::make_shared<Emulator::Handset>(
        Emulator::FileSystem(Emulator::Limits(), [] { return kHandsetNow; }));
}

// Every name of `handset` by its bytes ("/" first), with its mode in octal
// and its bytes, a link its target: all a restore puts back.
inline std::map<std::string, std::string> contentsOf(Emulator::Handset& handset)
{
    return handset.edit([](Emulator::FileSystem& fileSystem) {
        std::map<std::string, std::string> contents;
        const std::function<void(const Emulator::Node&, const std::string&)> walk =
            [&](const Emulator::Node& node, const std::string& path) {
                char mode[16];
                std::snprintf(mode, sizeof mode, "%06o ", node.mode);
                std::string text = mode;
                if (node.isSymbolicLink()) {
                    text += "-> " + node.linkTarget();
                } else if (!node.isDirectory()) {
                    text.append(node.data().begin(), node.data().end());
                }
                contents[path.empty() ? "/" : path] = text;
                for (const auto& [name, child] : node.entries) {
                    walk(*child, path + "/" + name);
                }
            };
        walk(*fileSystem.root(), "");
        return contents;
    });
}

class Fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vornak-backup-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        host = pattern;
        archive = host / "backup.tar";
    }
    void TearDown() override
    {
        for (const auto& used : {handset, other}) {
            EXPECT_EQ(used->openDescriptors(), 0u) << "a descriptor was left open";
            EXPECT_EQ(used->openDirectories(), 0u) << "a directory handle was left open";
        }
        std::filesystem::remove_all(host);
    }

    // Runs `verb` on a session to `on`, as the tool does: a Failure becomes
    // its message and exit code.
    template <class Verb>
    Outcome run(const std::shared_ptr<Emulator::Handset>& on, Verb&& verb)
    {
        std::ostringstream out, err;
        Outcome outcome;
        try {
            VornakEfs::Session session(Emulator::EmulatedPort::create(on), kTimeoutMs, 19);
            outcome.exitCode = verb(session, out, err);
        } catch (const VornakEfs::Failure& e) {
            err << "vornak-efs: " << e.what() << '\n';
            outcome.exitCode = e.exitCode();
        }
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }

    Outcome backup(const std::shared_ptr<Emulator::Handset>& on,
                   std::vector<std::string> paths = {}, bool verify = false)
    {
        return run(on, [&](VornakEfs::Session& session, std::ostream&, std::ostream& err) {
            return VornakEfs::backup(session, {paths, archive.string(), verify, nullptr}, err);
        });
    }

    Outcome restore(const std::shared_ptr<Emulator::Handset>& on, std::string destination = "/",
                    bool dryRun = false, bool deleteExtra = false)
    {
        return run(on, [&](VornakEfs::Session& session, std::ostream& out, std::ostream& err) {
            return VornakEfs::restore(
                session, {archive.string(), destination, dryRun, deleteExtra, nullptr}, out, err);
        });
    }

    Outcome diff(const std::shared_ptr<Emulator::Handset>& on, std::string destination = "/")
    {
        return run(on, [&](VornakEfs::Session& session, std::ostream& out, std::ostream& err) {
            return VornakEfs::compare(session, {archive.string(), destination, false, false, nullptr},
                                      out, err);
        });
    }

    void addFile(const std::shared_ptr<Emulator::Handset>& on, std::u16string_view path,
                 std::string_view bytes, std::uint32_t permissions = 0644)
    {
        on->edit([&](Emulator::FileSystem& fileSystem) {
            fileSystem.addFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                               permissions, 1'600'000'000);
        });
    }

    static constexpr std::uint32_t kTimeoutMs = 100;

    std::shared_ptr<Emulator::Handset> handset = newHandset();
    std::shared_ptr<Emulator::Handset> other = newHandset(); // where restores go
    std::filesystem::path host;                              // a fresh folder of this computer
    std::filesystem::path archive;
};

} // namespace BackupTest
