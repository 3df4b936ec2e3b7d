// What the device file tests share: an emulated handset seeded in code, its
// port behind a recording port, and the check that every test leaves no
// descriptor or directory handle open on the handset.
#pragma once

#include "diag/CEFSException.h"
#include "diag/Efs2.h"
#include "emulator/EmulatedPort.h"
#include "emulator/Handset.h"
#include "support/RecordingPort.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace EfsTest {

using TestSupport::Bytes;
using TestSupport::Packet;

// `size` bytes of a pattern in which every 512-byte packet differs.
inline Bytes patterned(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    }
    return bytes;
}

// The CEFSException that `action` throws.
inline CEFSException caught(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CEFSException& e) {
        return e;
    }
    ADD_FAILURE() << "no CEFSException";
    return CEFSException("", 0, 0, nullptr);
}

class HandsetFixture : public ::testing::Test {
protected:
    static constexpr std::uint32_t kTimeout = 1234;
    static constexpr std::uint8_t kSubsys = Diag::Efs2::kFileSubsystem;

    void TearDown() override
    {
        EXPECT_EQ(handset->openDescriptors(), 0u) << "a descriptor was left open";
        EXPECT_EQ(handset->openDirectories(), 0u) << "a directory handle was left open";
    }

    void addFile(std::u16string_view path, const Bytes& bytes)
    {
        handset->edit([&](Emulator::FileSystem& fs) { fs.addFile(path, bytes); });
    }
    void addDirectory(std::u16string_view path)
    {
        handset->edit([&](Emulator::FileSystem& fs) { fs.addDirectory(path); });
    }

    // A 32-bit field of each request of `command` recorded so far.
    std::vector<std::uint32_t> fieldOf(std::uint16_t command, std::size_t offset) const
    {
        std::vector<std::uint32_t> values;
        for (const Bytes& request : port->requests) {
            if (request[2] == command) { // every EFS2 command number fits in a byte
                values.push_back(TestSupport::field32(request, offset));
            }
        }
        return values;
    }
    std::vector<std::uint32_t> readCounts() const { return fieldOf(Diag::Efs2::Read, 8); }

    std::shared_ptr<Emulator::LogBook> log = std::make_shared<Emulator::LogBook>();
    std::shared_ptr<Emulator::Handset> handset = std::make_shared<Emulator::Handset>();
    Platform::ComPtr<IDiagPort> device = Emulator::EmulatedPort::create(handset, 1, log);
    Platform::ComPtr<TestSupport::RecordingPort> port =
        TestSupport::RecordingPort::create(device.get());
};

} // namespace EfsTest
