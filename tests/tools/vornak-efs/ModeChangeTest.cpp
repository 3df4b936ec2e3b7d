// chmod's MODE: octal replaces the permission bits, changes apply to them.
#include "tools/vornak-efs/ModeChange.h"
#include "tools/vornak-efs/Failure.h"

#include <gtest/gtest.h>

using VornakEfs::ModeChange;

TEST(ModeChange, OctalAndChangesAsChmodTakesThem)
{
    const struct {
        const char* text;
        std::uint32_t before;
        std::uint16_t after;
    } cases[] = {
        {"644", 0100755, 0644},     {"0", 0100755, 0},        {"7777", 0100000, 07777},
        {"u+x", 0100644, 0744},     {"+x", 0100644, 0755},    {"a-w", 0100666, 0444},
        {"go-rwx", 0040777, 0700},  {"u=r", 0100764, 0464},   {"a=", 0100777, 0},
        {"u+x,g-w", 0100664, 0744}, {"u+x-w", 0100644, 0544}, {"ug+s", 0100755, 06755},
        {"o+t", 0040777, 01777},    {"o+s", 0100644, 0644}, // no set-id bit belongs to others
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ModeChange::parse(c.text).applyTo(c.before), c.after) << c.text;
    }
    EXPECT_FALSE(ModeChange::parse("755").isRelative());
    EXPECT_TRUE(ModeChange::parse("u+x").isRelative());
}

TEST(ModeChange, AnythingElseIsAUsageError)
{
    for (const char* bad : {"", "8", "12345", "u", "u+q", "x+u", "u+x,", ",u+x", "u+x,,g-w",
                            "rwxr-xr-x", "0o644", " 644"}) {
        try {
            ModeChange::parse(bad);
            ADD_FAILURE() << "took '" << bad << "'";
        } catch (const VornakEfs::Failure& e) {
            EXPECT_EQ(e.exitCode(), VornakEfs::kUsage) << bad;
        }
    }
}
