// vornak-efs in this process, on an emulated handset the test holds: faults
// can be queued on it, and its counters tell what the tool left open.
#pragma once

#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "tools/vornak-efs/App.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace ToolTest {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class EmulatedTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vornak-efs-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        host = pattern;
    }
    void TearDown() override
    {
        EXPECT_EQ(handset->openDescriptors(), 0u) << "a descriptor was left open";
        EXPECT_EQ(handset->openDirectories(), 0u) << "a directory handle was left open";
        std::filesystem::remove_all(host);
    }

    // Runs one invocation with `arguments` after the program's name; the
    // handset is always this test's.
    RunResult tool(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"vornak-efs", "--emulator", ""});
        std::ostringstream out, err;
        RunResult result;
        result.exitCode = VornakEfs::runOn(Emulator::EmulatedPort::create(handset), arguments,
                                           out, err, nullptr);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    void addFile(std::u16string_view path, std::string_view bytes)
    {
        handset->edit([&](Emulator::FileSystem& fs) {
            fs.addFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        });
    }
    void addDirectory(std::u16string_view path)
    {
        handset->edit([&](Emulator::FileSystem& fs) { fs.addDirectory(path); });
    }

    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    std::filesystem::path host; // a fresh folder of this computer
};

} // namespace ToolTest
