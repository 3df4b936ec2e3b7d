// Every path that goes into a request: at most 1024 bytes once transcoded,
// character references counted, refused before anything is sent.
#include "CommandTest.h"

#include "diag/EFSLStat.h"
#include "diag/EFSMkDir.h"
#include "diag/EFSOpen.h"
#include "diag/EFSOpenDir.h"
#include "diag/EFSRename.h"
#include "diag/EFSRmDir.h"
#include "diag/EFSUnlink.h"

#include <string>

using namespace DiagTest;

namespace {

// 1024 bytes on the wire; U+263A travels as the 8 bytes "&#x263A;".
const std::u16string kAt1024 = u"/" + std::u16string(1023, u'a');
const std::u16string kEscapedAt1024 = u"/" + std::u16string(1015, u'a') + u"\u263A";

template <class Request, class... Arguments>
void expectPathLimit(std::int16_t lengthAt1024, const char* message, const char* file,
                     std::uint32_t line, Arguments... arguments)
{
    for (const std::u16string& path : {kAt1024, kEscapedAt1024}) {
        Request request(arguments..., kSubsystem);
        EXPECT_EQ(request.SetPath(path), lengthAt1024);
        EXPECT_EQ(request.GetPacket()[lengthAt1024 - 1], 0);
        expectFailure([&] { Request(arguments..., kSubsystem).SetPath(path + u"b"); },
                      {516, message, file, line});
    }
}

} // namespace

using PathRequestsTest = CommandTest;

TEST_F(PathRequestsTest, TakeUpTo1024BytesAndRefuseMoreBeforeSending)
{
    expectPathLimit<Diag::Efs::Commands::Open>(1037, "EFS2_DIAG_OPEN", "SharedInc\\EFSOpen", 39, 0u,
                                               0444u);
    expectPathLimit<CEFSOpenDirCmd>(1029, "EFS2_DIAG_OPENDIR", "SharedInc\\EFSOpenDir", 38);
    expectPathLimit<CEFSMkDirCmd>(1031, "EFS2_DIAG_MKDIR", "SharedInc\\EFSMkDirCmd", 34,
                                  std::uint16_t{0666});
    expectPathLimit<CEFSRmDirCmd>(1029, "EFS2_DIAG_RMDIR", "SharedInc\\EFSRmDirCmd", 32);
    expectPathLimit<CEFSUnlinkCmd>(1030, "EFS2_DIAG_UNLINK", "SharedInc\\EFSUnlinkCmd", 33);
    expectPathLimit<CEFSLStatCmd>(1029, "EFS2_DIAG_LSTAT", "SharedInc\\EFSLStat", 36);

    const auto setNames = [](const std::u16string& oldPath, const std::u16string& newPath) {
        return CEFSRenameCmd(kSubsystem).SetNames(CEFSNamePair(oldPath, newPath));
    };
    EXPECT_EQ(setNames(kAt1024, kEscapedAt1024), 2054);
    const Failure tooLong{516, "EFS2_DIAG_RENAME", "vornak\\EFSRename", 35};
    expectFailure([&] { setNames(kAt1024 + u"b", u"/b"); }, tooLong);
    expectFailure([&] { setNames(kAt1024 + u"b", kAt1024 + u"b"); }, tooLong); // old one first
    expectFailure([&] { setNames(u"/b", kAt1024 + u"b"); },
                  {516, tooLong.message, tooLong.file, 42});

    // The commands check before they send.
    expectFailure([&] { command<Diag::Efs::Open>().Execute(kAt1024 + u"b", 0, 0444); },
                  {516, "EFS2_DIAG_OPEN", "SharedInc\\EFSOpen", 39});
    EXPECT_EQ(port().calls(), 0u);
}
