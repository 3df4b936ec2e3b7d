// The enumerator through ITavoEFSEnum and IEnumSTATSTG, as a client (or a
// folder) fills and reads it.
#include "com/ComTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using ComTest::create;
using Platform::Bstr;
using Platform::ComPtr;

namespace {

constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;

struct Entry {
    std::wstring name;
    ULONG type, mode, size, atime, mtime, ctime;
};

const std::vector<Entry> kThree = {
    {L"/nvm", 1, 040755, 0, 10, 20, 30},
    {L"/a.bin", 0, 0100644, 1234, 1, 2, 3},
    {L"/b.txt", 0, 0100600, 7, 100, 200, 300},
};

std::uint64_t ticks(const FILETIME& time)
{
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

class EnumTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        filling_ = create<ITavoEFSEnum>(CLSID_TavoEFSEnum, IID_ITavoEFSEnum);
        ASSERT_TRUE(filling_);
        reading_ = ComTest::query<IEnumSTATSTG>(filling_.get(), IID_IEnumSTATSTG);
        ASSERT_TRUE(reading_);
        ComTest::clearErrorInfo();
    }

    void add(const std::vector<Entry>& entries)
    {
        for (const Entry& e : entries) {
            const Bstr name(std::u16string_view(Platform::asUtf16(e.name.c_str()), e.name.size()));
            ASSERT_EQ(
                filling_->AddEntry(name.get(), e.type, e.mode, e.size, e.atime, e.mtime, e.ctime),
                S_OK);
        }
    }
    void fill(const std::vector<Entry>& entries)
    {
        add(entries);
        ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    }

    // The names that Next hands out one by one from the cursor on.
    static std::vector<std::wstring> remainingNames(IEnumSTATSTG* reading)
    {
        std::vector<std::wstring> names;
        STATSTG record = {};
        ULONG fetched = 0;
        while (reading->Next(1, &record, &fetched) == S_OK) {
            names.emplace_back(record.pwcsName);
            CoTaskMemFree(record.pwcsName);
        }
        return names;
    }

    ComPtr<ITavoEFSEnum> filling_;
    ComPtr<IEnumSTATSTG> reading_;
};

// A call in the wrong phase fails with the handset failure and a help context
// that names the mistake; the error information is the same for both
// interfaces.
TEST_F(EnumTest, CallsInTheWrongPhaseReportTheirHelpContext)
{
    struct Case {
        const char* call;
        bool closed;
        std::function<HRESULT(ITavoEFSEnum*, IEnumSTATSTG*)> run;
        DWORD helpContext;
    };
    const Case cases[] = {
        {"Next", false,
         [](ITavoEFSEnum*, IEnumSTATSTG* r) {
             STATSTG s;
             return r->Next(1, &s, nullptr);
         },
         529},
        {"Skip", false, [](ITavoEFSEnum*, IEnumSTATSTG* r) { return r->Skip(1); }, 529},
        {"Reset", false, [](ITavoEFSEnum*, IEnumSTATSTG* r) { return r->Reset(); }, 529},
        {"Clone", false,
         [](ITavoEFSEnum*, IEnumSTATSTG* r) {
             ComPtr<IEnumSTATSTG> copy;
             return r->Clone(copy.put());
         },
         529},
        {"Count", false,
         [](ITavoEFSEnum* f, IEnumSTATSTG*) {
             LONG count;
             return f->get_Count(&count);
         },
         529},
        {"GetEntry", false,
         [](ITavoEFSEnum* f, IEnumSTATSTG*) {
             return f->GetEntry(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
         },
         529},
        {"AddEntry", true,
         [](ITavoEFSEnum* f, IEnumSTATSTG*) { return f->AddEntry(nullptr, 0, 0, 0, 0, 0, 0); },
         531},
        {"AddEntryEnd", true, [](ITavoEFSEnum* f, IEnumSTATSTG*) { return f->AddEntryEnd(); }, 531},
        {"SetIndex", true, [](ITavoEFSEnum* f, IEnumSTATSTG*) { return f->SetIndex(0); }, 531},
        {"GetEntry past the end", true,
         [](ITavoEFSEnum* f, IEnumSTATSTG*) {
             return f->GetEntry(3, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
         },
         532},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        auto filling = create<ITavoEFSEnum>(CLSID_TavoEFSEnum, IID_ITavoEFSEnum);
        auto reading = ComTest::query<IEnumSTATSTG>(filling.get(), IID_IEnumSTATSTG);
        if (c.closed) {
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(filling->AddEntry(nullptr, 0, 0, 0, 0, 0, 0), S_OK);
            }
            ASSERT_EQ(filling->AddEntryEnd(), S_OK);
        }
        ComTest::clearErrorInfo();
        EXPECT_EQ(c.run(filling.get(), reading.get()), VORNAK_E_HANDSET);
        const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
        ASSERT_TRUE(error.present);
        EXPECT_EQ(error.helpContext, c.helpContext);
        EXPECT_EQ(error.description, L"");
        EXPECT_EQ(error.source, L"Vornak.TavoEFSEnum.1");
        EXPECT_TRUE(IsEqualGUID(error.guid, IID_IEnumSTATSTG));
    }
}

TEST_F(EnumTest, AnEmptyListEndsAtOnce)
{
    fill({});
    LONG count = -1;
    EXPECT_EQ(filling_->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
    STATSTG record;
    std::memset(&record, 0xCD, sizeof record);
    ULONG fetched = 99;
    EXPECT_EQ(reading_->Next(1, &record, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(record.type, 0xCDCDCDCDu) << "a record not filled is not touched";
    EXPECT_EQ(reading_->Skip(1), S_FALSE);
    EXPECT_EQ(reading_->Reset(), S_OK);
}

TEST_F(EnumTest, NextFillsRecordsFromTheEntries)
{
    fill(kThree);
    STATSTG records[5];
    std::memset(records, 0xCD, sizeof records);
    ULONG fetched = 0;
    EXPECT_EQ(reading_->Next(5, records, &fetched), S_OK) << "fewer than asked is still S_OK";
    ASSERT_EQ(fetched, 3u);
    for (ULONG i = 0; i < 3; ++i) {
        const Entry& e = kThree[i];
        const STATSTG& r = records[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(std::wstring(r.pwcsName), e.name);
        EXPECT_EQ(r.cbSize.QuadPart, e.size);
        EXPECT_EQ(ticks(r.atime), kUnixEpochFileTime + e.atime * 10000000ULL);
        EXPECT_EQ(ticks(r.mtime), kUnixEpochFileTime + e.mtime * 10000000ULL);
        EXPECT_EQ(ticks(r.ctime), kUnixEpochFileTime + e.ctime * 10000000ULL);
        EXPECT_EQ(r.grfMode, 0u);
        EXPECT_EQ(r.grfLocksSupported, static_cast<DWORD>(LOCK_WRITE));
        EXPECT_TRUE(IsEqualCLSID(r.clsid, CLSID_NULL));
        EXPECT_EQ(r.grfStateBits, 0u);
        EXPECT_EQ(r.reserved, 0u);
        CoTaskMemFree(r.pwcsName);
    }
    EXPECT_EQ(records[3].type, 0xCDCDCDCDu);
    EXPECT_EQ(reading_->Next(1, records, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(EnumTest, EntryTypesAndTimesBecomeStatstgValues)
{
    struct Case {
        ULONG entryType;
        DWORD elementType;
        ULONG seconds;
        std::uint64_t fileTime;
    };
    const Case cases[] = {
        {0, STGTY_STREAM, 0, 116444736000000000ULL},
        {1, STGTY_STORAGE, 1, 116444736010000000ULL},
        {2, 0xFFFFFFFEu, 0x7FFFFFFF, 116444736000000000ULL + 0x7FFFFFFFULL * 10000000ULL},
        {7, 0xFFFFFFFFu, 0xFFFFFFFF, 116444736000000000ULL + 0xFFFFFFFFULL * 10000000ULL},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(filling_->AddEntry(nullptr, c.entryType, 0, 0, c.seconds, c.seconds, c.seconds),
                  S_OK);
    }
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entryType);
        STATSTG record = {};
        ASSERT_EQ(reading_->Next(1, &record, nullptr), S_OK);
        EXPECT_EQ(record.type, c.elementType);
        EXPECT_EQ(ticks(record.mtime), c.fileTime);
        ASSERT_NE(record.pwcsName, nullptr);
        EXPECT_EQ(record.pwcsName[0], L'\0') << "a null name is the empty name";
        CoTaskMemFree(record.pwcsName);
    }
}

TEST_F(EnumTest, SkipLandsOnTheLastEntryAtMost)
{
    struct Case {
        ULONG start;
        ULONG skip;
        HRESULT result;
        ULONG cursorAfter;
    };
    // The target is compared as a signed value: a count that wraps around
    // moves the cursor back.
    const Case cases[] = {
        {0, 2, S_OK, 2}, {2, 1, S_FALSE, 2},       {0, 3, S_FALSE, 0},
        {1, 0, S_OK, 1}, {2, 0xFFFFFFFF, S_OK, 1},
    };
    fill(kThree);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << " + " << c.skip);
        ASSERT_EQ(reading_->Reset(), S_OK);
        ASSERT_EQ(reading_->Skip(c.start), S_OK);
        EXPECT_EQ(reading_->Skip(c.skip), c.result);
        const auto names = remainingNames(reading_.get());
        EXPECT_EQ(names.size(), 3 - c.cursorAfter);
    }
}

TEST_F(EnumTest, SetIndexPlacesTheCursorBeforeTheListIsClosed)
{
    add(kThree);
    ASSERT_EQ(filling_->SetIndex(2), S_OK);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    EXPECT_EQ(remainingNames(reading_.get()), std::vector<std::wstring>{L"/b.txt"});
    ASSERT_EQ(reading_->Reset(), S_OK);
    EXPECT_EQ(remainingNames(reading_.get()).size(), 3u);
}

TEST_F(EnumTest, GetEntryReadsByIndexWithoutMovingTheCursor)
{
    fill(kThree);
    BSTR name = nullptr;
    ULONG values[6];
    std::fill(std::begin(values), std::end(values), 0xCDCDCDCDu);
    ASSERT_EQ(filling_->GetEntry(1, &name, &values[0], &values[1], &values[2], &values[3],
                                 &values[4], &values[5]),
              S_OK);
    const Entry& e = kThree[1];
    EXPECT_EQ(std::wstring(name), e.name);
    SysFreeString(name);
    EXPECT_EQ(std::vector<ULONG>(values, values + 6),
              (std::vector<ULONG>{e.type, e.mode, e.size, e.atime, e.mtime, e.ctime}));
    EXPECT_EQ(filling_->GetEntry(2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(remainingNames(reading_.get()).size(), 3u);
}

TEST_F(EnumTest, CloneCopiesEntriesAndCursorAndIsIndependent)
{
    fill(kThree);
    ASSERT_EQ(reading_->Skip(2), S_OK);
    ComPtr<IEnumSTATSTG> copy;
    ASSERT_EQ(reading_->Clone(copy.put()), S_OK);
    ASSERT_TRUE(copy);
    EXPECT_EQ(ComTest::query<IUnknown>(copy.get(), IID_IUnknown).get() ==
                  ComTest::query<IUnknown>(reading_.get(), IID_IUnknown).get(),
              false);

    ASSERT_EQ(copy->Reset(), S_OK);
    ASSERT_EQ(copy->Skip(1), S_OK);
    EXPECT_EQ(remainingNames(reading_.get()), std::vector<std::wstring>{L"/b.txt"});
    EXPECT_EQ(remainingNames(copy.get()), (std::vector<std::wstring>{L"/a.bin", L"/b.txt"}));

    ComPtr<IEnumSTATSTG> again;
    ASSERT_EQ(reading_->Clone(again.put()), S_OK);
    EXPECT_EQ(remainingNames(again.get()).size(), 0u) << "the cursor at the end is carried over";
    EXPECT_EQ(reading_->Clone(nullptr), E_POINTER);
}

TEST_F(EnumTest, NamesOutliveTheEnumerator)
{
    fill({{std::wstring(L"/\u00e9t\u00e9/\u263a") + wchar_t(0xD83D) + wchar_t(0xDE00), 0, 0, 0, 0,
           0, 0}});
    STATSTG record = {};
    ASSERT_EQ(reading_->Next(1, &record, nullptr), S_OK);
    filling_.reset();
    EXPECT_EQ(reading_.detach()->Release(), 0u);
    EXPECT_EQ(std::wstring(record.pwcsName),
              std::wstring(L"/\u00e9t\u00e9/\u263a") + wchar_t(0xD83D) + wchar_t(0xDE00));
    CoTaskMemFree(record.pwcsName);
}

TEST_F(EnumTest, MisusedPointersWriteNothing)
{
    add(kThree);
    ComTest::clearErrorInfo();
    EXPECT_EQ(filling_->get_Count(nullptr), E_POINTER) << "checked before the phase";
    EXPECT_FALSE(ComTest::takeErrorInfo().present);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);

    ULONG fetched = 99;
    EXPECT_EQ(reading_->Next(2, nullptr, &fetched), STG_E_INVALIDPOINTER);
    EXPECT_EQ(fetched, 99u);
    EXPECT_EQ(remainingNames(reading_.get()).size(), 3u) << "the cursor did not move";

    STATSTG record;
    std::memset(&record, 0xCD, sizeof record);
    ASSERT_EQ(reading_->Reset(), S_OK);
    EXPECT_EQ(reading_->Next(0x80000000u, &record, &fetched), S_FALSE) << "a negative count";
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(reading_->Next(0, nullptr, &fetched), S_FALSE) << "nothing asked, nothing read";
}

} // namespace
