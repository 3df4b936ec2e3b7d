#include "platform/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string hex(const Platform::Md5Digest& digest)
{
    std::string text;
    for (const std::uint8_t byte : digest) {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 15];
    }
    return text;
}

std::string digestOf(std::string_view text)
{
    return hex(Platform::md5({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
}

} // namespace

TEST(Md5, GivesTheDigestsOfTheTestSuiteOfItsDefinition)
{
    EXPECT_EQ(digestOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(digestOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(digestOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(digestOf("12345678901234567890123456789012345678901234567890123456789012345678901234"
                       "567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    const std::vector<std::uint8_t> million(1'000'000, 'a');
    EXPECT_EQ(hex(Platform::md5(million)), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, RunsFedOneAfterAnotherGiveTheDigestOfTheWhole)
{
    const std::vector<std::uint8_t> million(1'000'000, 'a');
    for (const std::size_t run : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{4096}}) {
        Platform::Md5 digest;
        for (std::size_t done = 0; done < million.size(); done += run) {
            digest.update(std::span(million).subspan(done, std::min(run, million.size() - done)));
        }
        EXPECT_EQ(hex(digest.finish()), "7707d6ae4e027c70eea2a935c2296f21") << run;
    }
}
