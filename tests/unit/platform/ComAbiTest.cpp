// The COM binary interface the core relies on, checked the same way on Windows
// (the platform's own) and elsewhere (the stand-ins).
#include "platform/Bstr.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

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

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(ComAbi, GuidsCompareAllSixteenBytes)
{
    const GUID a = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    GUID b = a;
    EXPECT_TRUE(IsEqualGUID(a, b));
    b.Data4[7] = 9;
    EXPECT_FALSE(IsEqualGUID(a, b));
}

namespace {

// A COM object that counts its references, as the pointers see it.
struct CountedObject : IUnknown {
    ULONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

} // namespace

TEST(ComPtr, OwnsExactlyOneReference)
{
    CountedObject object;
    {
        Platform::ComPtr<IUnknown> first(&object);
        EXPECT_EQ(object.references, 2u);
        Platform::ComPtr<IUnknown> copy = first;
        EXPECT_EQ(object.references, 3u);
        Platform::ComPtr<IUnknown> moved = std::move(copy);
        EXPECT_EQ(object.references, 3u);
        // put() releases what the pointer held before lending its slot.
        EXPECT_EQ(Platform::queryInterfaceNoThrow(&object, IID_IUnknown, moved), S_OK);
        EXPECT_EQ(object.references, 3u);
        IUnknown* raw = first.detach();
        EXPECT_EQ(object.references, 3u);
        Platform::ComPtr<IUnknown> adopted = Platform::ComPtr<IUnknown>::attach(raw);
    }
    EXPECT_EQ(object.references, 1u);

    Platform::ComPtr<IUnknown> none;
    EXPECT_EQ(Platform::queryInterfaceNoThrow(nullptr, IID_IUnknown, none), E_POINTER);
    EXPECT_FALSE(none);
}

TEST(Bstr, ConvertsAndOwns)
{
    Platform::Bstr text(u"/nv/\u00E9");
    EXPECT_EQ(SysStringLen(text.get()), 5u);
    EXPECT_EQ(text.text(), u"/nv/\u00E9");
    EXPECT_EQ(Platform::toU16String(nullptr), u"");
    *text.put() = SysAllocString(Platform::asOleText(u"x"));
    EXPECT_EQ(text.text(), u"x");
    BSTR raw = text.detach();
    EXPECT_EQ(text.get(), nullptr);
    SysFreeString(raw);
}
