// main() of every COM test program: the tests run on a thread of the
// multithreaded apartment, and at the end no object of the module may be
// left alive.
#include "com/ComTest.h"

#include <gmock/gmock.h>

namespace {

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }
    void TearDown() override
    {
        if (GetModuleHandleW(L"Vornak.dll") != nullptr) {
            EXPECT_EQ(ComTest::canUnloadNow(), S_OK)
                << "an object or a lock of the module lives on";
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
