// The enumerator through ITavoEFSEnum and IEnumSTATSTG, filled and read as a
// client or a folder does.
#include "support/ComTest.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Platform::ComPtr;
using Names = std::vector<std::u16string>;

namespace {

struct Entry {
    std::u16string name;
    ULONG type, mode, size, atime, mtime, ctime;
};

// Types 0 and 1 are stream and storage; others count down from -2. Times
// are unsigned.
const std::vector<Entry> kEntries = {
    {u"/nvm", 1, 040755, 0, 10, 20, 30},
    {u"/a.bin", 0, 0100644, 1234, 1, 2, 3},
    {u"/\u00e9t\u00e9/\u263a\U0001F600", 0, 0100600, 7, 100, 200, 0xFFFFFFFF},
    {u"", 2, 0, 0, 0, 0x80000000u, 0},
    {u"", 7, 0, 0, 0, 0, 0},
};
const DWORD kTypes[] = {STGTY_STORAGE, STGTY_STREAM, STGTY_STREAM, 0xFFFFFFFEu, 0xFFFFFFFFu};

// A FILETIME as a count, and a handset time (seconds from 1970) as one.
std::uint64_t ticks(const FILETIME& time)
{
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}
std::uint64_t ticks(ULONG seconds)
{
    return 116444736000000000ULL + seconds * 10000000ULL;
}

class EnumTest : public ::testing::Test {
protected:
    void add(std::size_t count = kEntries.size())
    {
        for (std::size_t i = 0; i < count; ++i) {
            const Entry& e = kEntries[i];
            ASSERT_EQ(filling_->AddEntry(Platform::Bstr(e.name).get(), e.type, e.mode, e.size,
                                         e.atime, e.mtime, e.ctime),
                      S_OK);
        }
    }
    // The names that Next hands out one at a time from the cursor on.
    static Names rest(IEnumSTATSTG* reading)
    {
        Names names;
        STATSTG record = {};
        while (reading->Next(1, &record, nullptr) == S_OK) {
            names.push_back(Platform::toU16String(record.pwcsName));
            CoTaskMemFree(record.pwcsName);
        }
        return names;
    }

    ComPtr<ITavoEFSEnum> filling_ =
        ComTest::create<ITavoEFSEnum>(CLSID_TavoEFSEnum, IID_ITavoEFSEnum);
    ComPtr<IEnumSTATSTG> reading_ = ComTest::query<IEnumSTATSTG>(filling_.get(), IID_IEnumSTATSTG);
};

// A call in the wrong phase, or past the end, fails as a handset failure
// whose help context names the mistake, reported for IEnumSTATSTG.
TEST_F(EnumTest, MisplacedCallsReportTheirHelpContext)
{
    const auto expectMisplaced = [](HRESULT hr, DWORD helpContext) {
        EXPECT_EQ(hr, VORNAK_E_HANDSET);
        const ComTest::ErrorRecord error = ComTest::takeErrorInfo();
        EXPECT_EQ(error.helpContext, helpContext);
        EXPECT_EQ(error.source, L"Vornak.TavoEFSEnum.1");
        EXPECT_TRUE(IsEqualGUID(error.guid, IID_IEnumSTATSTG));
    };
    LONG count = 0;
    IEnumSTATSTG* copy = nullptr;
    expectMisplaced(reading_->Next(1, nullptr, nullptr), 529);
    expectMisplaced(reading_->Skip(1), 529);
    expectMisplaced(reading_->Reset(), 529);
    expectMisplaced(reading_->Clone(&copy), 529);
    expectMisplaced(filling_->get_Count(&count), 529);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(filling_->get_Count(nullptr), E_POINTER) << "checked before the phase";
    EXPECT_FALSE(ComTest::takeErrorInfo().present);
    add(1);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    expectMisplaced(filling_->AddEntry(nullptr, 0, 0, 0, 0, 0, 0), 531);
    expectMisplaced(filling_->AddEntryEnd(), 531);
    expectMisplaced(filling_->SetIndex(0), 531);
    expectMisplaced(
        filling_->GetEntry(1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 532);
}

TEST_F(EnumTest, NextFillsRecordsThatOutliveTheEnumerator)
{
    add();
    ASSERT_EQ(filling_->AddEntry(nullptr, 0, 0, 0, 0, 0, 0), S_OK);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    LONG count = 0;
    ASSERT_EQ(filling_->get_Count(&count), S_OK);
    EXPECT_EQ(count, 6);
    STATSTG records[8];
    std::memset(records, 0xCD, sizeof records);
    ULONG fetched = 0;
    EXPECT_EQ(reading_->Next(8, records, &fetched), S_OK) << "fewer than asked is still S_OK";
    ASSERT_EQ(fetched, 6u);
    EXPECT_EQ(records[6].type, 0xCDCDCDCDu) << "a record not filled is not touched";
    EXPECT_EQ(reading_->Next(1, records + 6, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    filling_.reset();
    EXPECT_EQ(reading_.detach()->Release(), 0u);

    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        const Entry& e = kEntries[i];
        const STATSTG& r = records[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(Platform::toU16String(r.pwcsName), e.name);
        EXPECT_EQ(r.type, kTypes[i]);
        EXPECT_EQ(r.cbSize.QuadPart, e.size);
        EXPECT_EQ(ticks(r.atime), ticks(e.atime));
        EXPECT_EQ(ticks(r.mtime), ticks(e.mtime));
        EXPECT_EQ(ticks(r.ctime), ticks(e.ctime));
        EXPECT_EQ(r.grfLocksSupported, static_cast<DWORD>(LOCK_WRITE));
        EXPECT_EQ(r.grfMode | r.grfStateBits | r.reserved, 0u);
        CoTaskMemFree(r.pwcsName);
    }
    EXPECT_EQ(Platform::toU16String(records[5].pwcsName), u"") << "a null name is empty";
    CoTaskMemFree(records[5].pwcsName);
}

TEST_F(EnumTest, TheCursorMovesBySkipSetIndexAndNextOnlyAndClonesWithItsEntries)
{
    // Skip lands on the last entry at most. Its target is compared as a
    // signed value: a count that wraps around moves the cursor back.
    const struct {
        ULONG start, skip;
        HRESULT result;
        std::size_t left;
    } cases[] = {
        {0, 2, S_OK, 1}, {2, 1, S_FALSE, 1},       {0, 3, S_FALSE, 3},
        {1, 0, S_OK, 2}, {2, 0xFFFFFFFF, S_OK, 2},
    };
    add(3);
    ASSERT_EQ(filling_->SetIndex(2), S_OK);
    ASSERT_EQ(filling_->AddEntryEnd(), S_OK);
    EXPECT_EQ(rest(reading_.get()), Names{kEntries[2].name}) << "placed while filling";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << " + " << c.skip);
        ASSERT_EQ(reading_->Reset(), S_OK);
        ASSERT_EQ(reading_->Skip(c.start), S_OK);
        EXPECT_EQ(reading_->Skip(c.skip), c.result);
        EXPECT_EQ(rest(reading_.get()).size(), c.left);
    }

    ASSERT_EQ(reading_->Reset(), S_OK);
    BSTR name = nullptr;
    ULONG v[6] = {};
    ASSERT_EQ(filling_->GetEntry(1, &name, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), S_OK);
    EXPECT_EQ(Platform::toU16String(name), kEntries[1].name);
    SysFreeString(name);
    const Entry& e = kEntries[1];
    EXPECT_EQ(std::vector<ULONG>(v, v + 6),
              (std::vector<ULONG>{e.type, e.mode, e.size, e.atime, e.mtime, e.ctime}));
    ULONG fetched = 99;
    EXPECT_EQ(reading_->Next(2, nullptr, &fetched), STG_E_INVALIDPOINTER);
    EXPECT_EQ(fetched, 99u);
    STATSTG record = {};
    EXPECT_EQ(reading_->Next(0x80000000u, &record, &fetched), S_FALSE) << "a negative count";
    EXPECT_EQ(fetched, 0u);
    ASSERT_EQ(reading_->Skip(2), S_OK) << "GetEntry and refused reads leave the cursor";

    ComPtr<IEnumSTATSTG> copy;
    ASSERT_EQ(reading_->Clone(copy.put()), S_OK);
    EXPECT_EQ(rest(copy.get()), Names{kEntries[2].name});
    ASSERT_EQ(copy->Reset(), S_OK);
    EXPECT_EQ(rest(reading_.get()), Names{kEntries[2].name}) << "the original's cursor stays";
    EXPECT_EQ(rest(copy.get()).size(), 3u);
    EXPECT_EQ(reading_->Clone(nullptr), E_POINTER);
}

} // namespace
