// The main() of every COM test program: its tests run in the multithreaded
// apartment, and it ends with no object or lock of the module left.
#include "support/ComTest.h"

#include <gmock/gmock.h>

namespace {

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override
    {
        if (GetModuleHandleW(L"Vornak.dll") != nullptr) {
            EXPECT_EQ(ComTest::canUnloadNow(), S_OK) << "an object or a lock of the module lives";
        }
        CoUninitialize();
    }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleMock(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);
    return RUN_ALL_TESTS();
}
