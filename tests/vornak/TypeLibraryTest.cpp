// The type library the module registers, read back: its own types and the
// platform's storage interfaces with the records they use, nothing else, and
// the platform's GUID taken from the standard library it imports.
#include "support/ComTest.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using Platform::Bstr;
using Platform::ComPtr;

namespace {

// The standard OLE automation library, stdole2.tlb.
constexpr GUID kStdOle = {0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::wstring nameOf(ITypeInfo& info)
{
    Bstr name;
    EXPECT_EQ(info.GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
    return name.get() != nullptr ? name.get() : L"";
}

TEST(TypeLibrary, HoldsTheModulesTypesAndThePlatformsAndImportsGuid)
{
    ComPtr<ITypeLib> library;
    constexpr LCID kEnglishUnitedStates = 1033; // the library's own
    ASSERT_EQ(LoadRegTypeLib(LIBID_VORNAKLib, 1, 0, kEnglishUnitedStates, library.put()), S_OK);
    std::vector<std::pair<std::wstring, TYPEKIND>> types;
    ComPtr<ITypeInfo> statstg;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> info;
        ASSERT_EQ(library->GetTypeInfo(i, info.put()), S_OK);
        TYPEKIND kind = TKIND_MAX;
        ASSERT_EQ(library->GetTypeInfoType(i, &kind), S_OK);
        types.emplace_back(nameOf(*info.get()), kind);
        if (types.back().first == L"tagSTATSTG") {
            statstg = info;
        }
    }
    std::sort(types.begin(), types.end());
    // Dual interfaces read as dispatch interfaces.
    const std::vector<std::pair<std::wstring, TYPEKIND>> expected = {
        {L"IEnumSTATSTG", TKIND_INTERFACE},
        {L"ISequentialStream", TKIND_INTERFACE},
        {L"IStorage", TKIND_INTERFACE},
        {L"IStream", TKIND_INTERFACE},
        {L"ITavoEFSEnum", TKIND_DISPATCH},
        {L"ITavoEFSFile", TKIND_DISPATCH},
        {L"ITavoEFSFolder", TKIND_DISPATCH},
        {L"ITavoFileCopyProgress", TKIND_DISPATCH},
        {L"ITavoWinFolder", TKIND_DISPATCH},
        {L"TavoEFSEnum", TKIND_COCLASS},
        {L"TavoEFSFile", TKIND_COCLASS},
        {L"TavoEFSFolder", TKIND_COCLASS},
        {L"TavoWinFolder", TKIND_COCLASS},
        {L"_FILETIME", TKIND_RECORD},
        {L"_ITavoEFSFileEvents", TKIND_DISPATCH},
        {L"_ITavoEFSFolderEvents", TKIND_DISPATCH},
        {L"_ITavoWinFolderEvents", TKIND_DISPATCH},
        {L"_LARGE_INTEGER", TKIND_RECORD},
        {L"_ULARGE_INTEGER", TKIND_RECORD},
        {L"tagRemSNB", TKIND_RECORD},
        {L"tagSTATSTG", TKIND_RECORD},
        {L"wireSNB", TKIND_ALIAS},
    };
    EXPECT_EQ(types, expected);

    // A client importing the library meets stdole2's GUID in STATSTG.clsid.
    ASSERT_TRUE(statstg);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(statstg->GetTypeAttr(&attributes), S_OK);
    const WORD fields = attributes->cVars;
    statstg->ReleaseTypeAttr(attributes);
    ComPtr<ITypeInfo> clsid;
    for (UINT i = 0; i < fields && !clsid; ++i) {
        VARDESC* field = nullptr;
        ASSERT_EQ(statstg->GetVarDesc(i, &field), S_OK);
        Bstr name;
        UINT names = 0;
        statstg->GetNames(field->memid, name.put(), 1, &names);
        if (name.text() == u"clsid") {
            ASSERT_EQ(field->elemdescVar.tdesc.vt, VT_USERDEFINED);
            EXPECT_EQ(statstg->GetRefTypeInfo(field->elemdescVar.tdesc.hreftype, clsid.put()),
                      S_OK);
        }
        statstg->ReleaseVarDesc(field);
    }
    ASSERT_TRUE(clsid);
    EXPECT_EQ(nameOf(*clsid.get()), L"GUID");
    ComPtr<ITypeLib> owner;
    UINT index = 0;
    ASSERT_EQ(clsid->GetContainingTypeLib(owner.put(), &index), S_OK);
    TLIBATTR* ownerAttributes = nullptr;
    ASSERT_EQ(owner->GetLibAttr(&ownerAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(ownerAttributes->guid, kStdOle));
    owner->ReleaseTLibAttr(ownerAttributes);
}

} // namespace
