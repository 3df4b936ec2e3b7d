// What the command tests share: a scripted port that every test must use up
// and leave with the one reference it started with, and a check of a failure's
// code, message and throw site.
#pragma once

#include "diag/CEFSException.h"
#include "support/Packet.h"
#include "support/ScriptedPort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace DiagTest {

using TestSupport::Bytes;
using TestSupport::Packet;
using TestSupport::ScriptedPort;

inline constexpr std::uint32_t kTimeout = 0x2345;
inline constexpr std::uint8_t kSubsystem = 19;
inline const char* const kTransactFile = "..\\SharedSource\\EFSDiag";

struct Failure {
    std::uint32_t code;
    std::string message;
    std::string file;
    std::uint32_t line;
};

// Runs `call`, which must throw a CEFSException like `expected`.
template <class Call>
void expectFailure(Call&& call, const Failure& expected)
{
    try {
        call();
        ADD_FAILURE() << "no CEFSException";
    } catch (const CEFSException& e) {
        EXPECT_EQ(e.GetCode(), expected.code);
        EXPECT_EQ(e.GetMessage(), expected.message);
        EXPECT_EQ(e.GetFile(), expected.file);
        EXPECT_EQ(e.GetLine(), expected.line);
    }
}

// A READDIR response up to its name: a file of mode 0666 and 3 bytes.
inline Packet readDirResponse(std::uint32_t dirp, std::uint32_t seqno)
{
    return Packet(12).u32(dirp).u32(seqno).u32(0).u32(0).u32(0x81B6).u32(3).zeros(12);
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override { port_->expectTimeout(kTimeout); }
    void TearDown() override
    {
        EXPECT_EQ(port_->pending(), 0u) << "requests expected but not sent";
        EXPECT_EQ(port_->references(), 1u) << "a transaction kept or lost a port reference";
    }

    template <class Command>
    Command command()
    {
        return Command(port_->unknown(), kTimeout, kSubsystem);
    }
    ScriptedPort& port() { return *port_.get(); }

private:
    Platform::ComPtr<ScriptedPort> port_ = ScriptedPort::create();
};

} // namespace DiagTest
