// The COM binary interface the core relies on, checked the same way on Windows
// (the platform's own) and elsewhere (the stand-ins).
#include "platform/Com.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
const OLECHAR kText[] = {'h', 'a', 'n', 'd', 's', 'e', 't', 0};
}

TEST(ComAbi, BstrKeepsLengthAndTerminator)
{
    BSTR text = SysAllocString(kText);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 7u);
    EXPECT_EQ(text[7], 0);
    EXPECT_EQ(std::memcmp(text, kText, sizeof kText), 0);
    // The byte count sits just before the text, as clients of BSTRs expect.
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - 4, 4);
    EXPECT_EQ(prefix, 14u);
    SysFreeString(text);

    BSTR cut = SysAllocStringLen(kText, 4);
    EXPECT_EQ(SysStringLen(cut), 4u);
    EXPECT_EQ(cut[4], 0);
    SysFreeString(cut);

    BSTR blank = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 3u);
    SysFreeString(blank);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(ComAbi, GuidsAndResultCodes)
{
    const GUID a = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    GUID b = a;
    EXPECT_TRUE(IsEqualGUID(a, b));
    b.Data4[7] = 9;
    EXPECT_FALSE(IsEqualGUID(a, b));
    EXPECT_EQ(sizeof(GUID), 16u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_POINTER), 0x80004003u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOINTERFACE), 0x80004002u);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    try {
        throw _com_error(E_POINTER);
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }
}
