// The enumerator through ITavoEFSEnum and IEnumSTATSTG, filled and read as a
// client or a folder does.
#include "com/ComTest.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Platform::Bstr;
using Platform::ComPtr;

namespace {

struct Entry {
    std::u16string name;
    ULONG type, mode, size, atime, mtime, ctime;
};

const std::vector<Entry> kThree = {
    {u"/nvm", 1, 040755, 0, 10, 20, 30},
    {u"/a.bin", 0, 0100644, 1234, 1, 2, 3},
    {u"/\u00e9t\u00e9/\u263a\U0001F600", 0, 0100600, 7, 100, 200, 0xFFFFFFFF},
};

std::uint64_t ticks(const FILETIME& time)
{
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::uint64_t fileTime(ULONG seconds)
{
    return 116444736000000000ULL + seconds * 10000000ULL;
}

std::u16string text(const OLECHAR* name)
{
    return Platform::toU16String(name);
}

class EnumTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        filling_ = ComTest::create<ITavoEFSEnum>(CLSID_TavoEFSEnum, IID_ITavoEFSEnum);
        ASSERT_TRUE(filling_);
        reading_ = ComTest::query<IEnumSTATSTG>(filling_.get(), IID_IEnumSTATSTG);
    }
    void add(const std::vector<Entry>& entries)
    {
        for (const Entry& e : entries) {
            ASSERT_EQ(filling_->AddEntry(Bstr(e.name).get(), e.type, e.mode, e.size, e.atime,
                                         e.mtime, e.ctime),
                      S_OK);
        }
    }
    void fill(const std::vector<Entry>& entries)
    {
        add(entries);
        ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    }
    // The names that Next hands out one at a time from the cursor on.
    static std::vector<std::u16string> rest(IEnumSTATSTG* reading)
    {
        std::vector<std::u16string> names;
        STATSTG record = {};
        while (reading->Next(1, &record, nullptr) == S_OK) {
            names.push_back(text(record.pwcsName));
            CoTaskMemFree(record.pwcsName);
        }
        return names;
    }

    ComPtr<ITavoEFSEnum> filling_;
    ComPtr<IEnumSTATSTG> reading_;
};

// A call in the wrong phase, or past the end, fails as a handset failure
// whose help context names the mistake, reported for IEnumSTATSTG.
void expectMisplaced(HRESULT hr, DWORD helpContext)
{
    EXPECT_EQ(hr, VORNAK_E_HANDSET);
    const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
    EXPECT_EQ(error.helpContext, helpContext);
    EXPECT_EQ(error.description, L"");
    EXPECT_EQ(error.source, L"Vornak.TavoEFSEnum.1");
    EXPECT_TRUE(IsEqualGUID(error.guid, IID_IEnumSTATSTG));
}

TEST_F(EnumTest, MisplacedCallsReportTheirHelpContext)
{
    LONG count = 0;
    IEnumSTATSTG* copy = nullptr;
    expectMisplaced(reading_->Next(1, nullptr, nullptr), 529);
    expectMisplaced(reading_->Skip(1), 529);
    expectMisplaced(reading_->Reset(), 529);
    expectMisplaced(reading_->Clone(&copy), 529);
    expectMisplaced(filling_->get_Count(&count), 529);
    expectMisplaced(
        filling_->GetEntry(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 529);
    fill(kThree);
    expectMisplaced(filling_->AddEntry(nullptr, 0, 0, 0, 0, 0, 0), 531);
    expectMisplaced(filling_->AddEntryEnd(), 531);
    expectMisplaced(filling_->SetIndex(0), 531);
    expectMisplaced(
        filling_->GetEntry(3, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 532);
    EXPECT_EQ(copy, nullptr);
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

TEST_F(EnumTest, NextFillsRecordsThatOutliveTheEnumerator)
{
    fill(kThree);
    STATSTG records[5];
    std::memset(records, 0xCD, sizeof records);
    ULONG fetched = 0;
    EXPECT_EQ(reading_->Next(5, records, &fetched), S_OK) << "fewer than asked is still S_OK";
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(records[3].type, 0xCDCDCDCDu);
    EXPECT_EQ(reading_->Next(1, records + 3, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    filling_.reset();
    EXPECT_EQ(reading_.detach()->Release(), 0u);

    for (ULONG i = 0; i < 3; ++i) {
        const Entry& e = kThree[i];
        const STATSTG& r = records[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(text(r.pwcsName), e.name);
        EXPECT_EQ(r.type, e.type == 1 ? STGTY_STORAGE : STGTY_STREAM);
        EXPECT_EQ(r.cbSize.QuadPart, e.size);
        EXPECT_EQ(ticks(r.atime), fileTime(e.atime));
        EXPECT_EQ(ticks(r.mtime), fileTime(e.mtime));
        EXPECT_EQ(ticks(r.ctime), fileTime(e.ctime));
        EXPECT_EQ(r.grfMode, 0u);
        EXPECT_EQ(r.grfLocksSupported, static_cast<DWORD>(LOCK_WRITE));
        EXPECT_TRUE(IsEqualCLSID(r.clsid, CLSID_NULL));
        EXPECT_EQ(r.grfStateBits, 0u);
        EXPECT_EQ(r.reserved, 0u);
        CoTaskMemFree(r.pwcsName);
    }
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
        {2, 0xFFFFFFFEu, 0x80000000u, 116444736000000000ULL + 0x80000000ULL * 10000000ULL},
        {7, 0xFFFFFFFFu, 0, 116444736000000000ULL},
    };
    for (const Case& c : cases) {
        add({{u"", c.entryType, 0, 0, c.seconds, c.seconds, c.seconds}});
    }
    ASSERT_EQ(filling_->AddEntry(nullptr, 0, 0, 0, 0, 0, 0), S_OK);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entryType);
        STATSTG record = {};
        ASSERT_EQ(reading_->Next(1, &record, nullptr), S_OK);
        EXPECT_EQ(record.type, c.elementType);
        EXPECT_EQ(ticks(record.mtime), c.fileTime);
        CoTaskMemFree(record.pwcsName);
    }
    EXPECT_EQ(rest(reading_.get()), std::vector<std::u16string>{u""}) << "a null name is empty";
}

TEST_F(EnumTest, SkipLandsOnTheLastEntryAtMost)
{
    // The target is compared as a signed value: a count that wraps around
    // moves the cursor back.
    struct Case {
        ULONG start, skip;
        HRESULT result;
        std::size_t left;
    };
    const Case cases[] = {
        {0, 2, S_OK, 1}, {2, 1, S_FALSE, 1},       {0, 3, S_FALSE, 3},
        {1, 0, S_OK, 2}, {2, 0xFFFFFFFF, S_OK, 2},
    };
    fill(kThree);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << " + " << c.skip);
        ASSERT_EQ(reading_->Reset(), S_OK);
        ASSERT_EQ(reading_->Skip(c.start), S_OK);
        EXPECT_EQ(reading_->Skip(c.skip), c.result);
        EXPECT_EQ(rest(reading_.get()).size(), c.left);
    }
}

TEST_F(EnumTest, SetIndexPlacesTheCursorWhileFilling)
{
    add(kThree);
    ASSERT_EQ(filling_->SetIndex(2), S_OK);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    EXPECT_EQ(rest(reading_.get()), std::vector<std::u16string>{kThree[2].name});
    ASSERT_EQ(reading_->Reset(), S_OK);
    EXPECT_EQ(rest(reading_.get()).size(), 3u);
}

TEST_F(EnumTest, GetEntryReadsByIndexWithoutMovingTheCursor)
{
    fill(kThree);
    BSTR name = nullptr;
    ULONG v[6] = {};
    ASSERT_EQ(filling_->GetEntry(1, &name, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), S_OK);
    EXPECT_EQ(text(name), kThree[1].name);
    SysFreeString(name);
    const Entry& e = kThree[1];
    EXPECT_EQ(std::vector<ULONG>(v, v + 6),
              (std::vector<ULONG>{e.type, e.mode, e.size, e.atime, e.mtime, e.ctime}));
    EXPECT_EQ(filling_->GetEntry(2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(rest(reading_.get()).size(), 3u);
}

TEST_F(EnumTest, CloneCopiesEntriesAndCursorIntoAnIndependentObject)
{
    fill(kThree);
    ASSERT_EQ(reading_->Skip(2), S_OK);
    ComPtr<IEnumSTATSTG> copy;
    ASSERT_EQ(reading_->Clone(copy.put()), S_OK);
    EXPECT_EQ(rest(copy.get()), std::vector<std::u16string>{kThree[2].name});
    ASSERT_EQ(copy->Reset(), S_OK);
    ASSERT_EQ(copy->Skip(1), S_OK);
    EXPECT_EQ(rest(reading_.get()), std::vector<std::u16string>{kThree[2].name});
    EXPECT_EQ(rest(copy.get()).size(), 2u);
    EXPECT_EQ(reading_->Clone(nullptr), E_POINTER);
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
    EXPECT_EQ(reading_->Next(0, nullptr, &fetched), S_FALSE) << "nothing asked, nothing read";
    STATSTG record = {};
    EXPECT_EQ(reading_->Next(0x80000000u, &record, &fetched), S_FALSE) << "a negative count";
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(rest(reading_.get()).size(), 3u) << "the cursor did not move";
}

} // namespace
