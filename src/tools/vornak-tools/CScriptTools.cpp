#include "tools/vornak-tools/CScriptTools.h"

#include "comserver/TaskMemory.h"
#include "diag/HandsetTime.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "tools/vornak-tools/CListingEntry.h"
#include "tools/vornak-tools/Failure.h"
#include "tools/vornak-tools/ListingText.h"
#include "vornak/Vornak.h"

#include <string>
#include <utility>

namespace VornakTools {

using ComServer::InterfaceEntry;
using ComServer::interfaceEntry;

namespace {

constexpr ComServer::Boundary kBoundary = boundary(CLSID_ScriptTools, IID_IScriptTools);

// `object` asked for `iid`; a caller that handed something else is told
// `what` it should have handed.
template <class T>
Platform::ComPtr<T> require(IUnknown* object, REFIID iid, const wchar_t* what)
{
    Platform::ComPtr<T> result;
    if (FAILED(Platform::queryInterfaceNoThrow(object, iid, result))) {
        throw Failure{E_INVALIDARG, what};
    }
    return result;
}

// A listing as scripts receive it: its IDispatch, the ITavoEFSEnum dual.
IDispatch* handOut(IUnknown* listing)
{
    return Platform::queryInterface<IDispatch>(listing, IID_IDispatch).detach();
}

HRESULT giveText(const std::wstring& text, BSTR* out)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The elements of a storage that is no handset folder, copied into a new
// TavoEFSEnum, which Vornak.dll provides.
Platform::ComPtr<ITavoEFSEnum> copyIntoListing(IEnumSTATSTG* elements)
{
    Platform::ComPtr<ITavoEFSEnum> listing;
    const HRESULT created = CoCreateInstance(CLSID_TavoEFSEnum, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_ITavoEFSEnum, listing.putVoid());
    if (FAILED(created)) {
        throw Failure{created,
                      L"a Vornak.TavoEFSEnum cannot be created: is Vornak.dll registered?"};
    }
    for (;;) {
        STATSTG record{};
        ULONG fetched = 0;
        HRESULT next = S_OK;
        callPassingErrors([&] { return next = elements->Next(1, &record, &fetched); });
        const ComServer::TaskMemory<OLECHAR> owner(record.pwcsName);
        if (next != S_OK || fetched == 0) {
            break;
        }
        const Platform::Bstr name(Platform::toU16String(record.pwcsName));
        const ULONGLONG size = record.cbSize.QuadPart;
        callPassingErrors([&] {
            return listing->AddEntry(name.get(), entryTypeOf(record.type), modeOf(record.type),
                                     size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<ULONG>(size),
                                     Diag::Efs2::secondsOf(record.atime),
                                     Diag::Efs2::secondsOf(record.mtime),
                                     Diag::Efs2::secondsOf(record.ctime));
        });
    }
    callPassingErrors([&] { return listing->AddEntryEnd(); });
    return listing;
}

} // namespace

CScriptTools::CScriptTools(IUnknown* outer)
    : ComObject(outer)
{}

std::span<const InterfaceEntry<CScriptTools>> CScriptTools::interfaceTable()
{
    using Dual = ComServer::DualDispatch<IScriptTools, IID_IScriptTools>;
    static constexpr InterfaceEntry<CScriptTools> table[] = {
        interfaceEntry<CScriptTools, IScriptTools, Dual>(IID_IScriptTools),
        interfaceEntry<CScriptTools, IDispatch, Dual>(IID_IDispatch),
        interfaceEntry<CScriptTools, ISupportErrorInfo>(IID_ISupportErrorInfo),
    };
    return table;
}

HRESULT CScriptTools::ListRecursively(IUnknown* folder, IDispatch** listing)
{
    if (listing == nullptr) {
        return E_POINTER;
    }
    *listing = nullptr;
    return ComServer::guard(kBoundary, [&] {
        const auto efsFolder = require<ITavoEFSFolder>(
            folder, IID_ITavoEFSFolder, L"ListRecursively takes a Vornak.TavoEFSFolder");
        Platform::ComPtr<IUnknown> found;
        callPassingErrors([&] { return efsFolder->RecursiveDirList(found.put()); });
        *listing = handOut(found.get());
        return S_OK;
    });
}

HRESULT CScriptTools::ListElements(IUnknown* folder, IDispatch** listing)
{
    if (listing == nullptr) {
        return E_POINTER;
    }
    *listing = nullptr;
    return ComServer::guard(kBoundary, [&] {
        const auto storage = require<IStorage>(
            folder, IID_IStorage,
            L"ListElements takes a folder: a Vornak.TavoEFSFolder or another IStorage");
        Platform::ComPtr<IEnumSTATSTG> elements;
        callPassingErrors([&] { return storage->EnumElements(0, nullptr, 0, elements.put()); });
        // A handset folder's elements come as a TavoEFSEnum already.
        Platform::ComPtr<ITavoEFSEnum> found;
        if (FAILED(Platform::queryInterfaceNoThrow(elements.get(), IID_ITavoEFSEnum, found))) {
            found = copyIntoListing(elements.get());
        }
        *listing = handOut(found.get());
        return S_OK;
    });
}

HRESULT CScriptTools::Entry(IUnknown* listing, ULONG index, IDispatch** entry)
{
    if (entry == nullptr) {
        return E_POINTER;
    }
    *entry = nullptr;
    return ComServer::guard(kBoundary, [&] {
        const auto enumerator = require<ITavoEFSEnum>(
            listing, IID_ITavoEFSEnum, L"Entry takes a listing: a Vornak.TavoEFSEnum");
        Platform::Bstr name;
        EntryValues values;
        callPassingErrors([&] {
            return enumerator->GetEntry(index, name.put(), &values.type, &values.mode, &values.size,
                                        &values.atime, &values.mtime, &values.ctime);
        });
        const std::u16string text = name.text();
        values.name.assign(text.begin(), text.end());
        return CListingEntry::create(nullptr, IID_IDispatch, reinterpret_cast<void**>(entry),
                                     std::move(values));
    });
}

HRESULT CScriptTools::TypeName(ULONG type, BSTR* name)
{
    return ComServer::guard(kBoundary, [&] { return giveText(entryTypeName(type), name); });
}

HRESULT CScriptTools::ModeText(ULONG mode, BSTR* text)
{
    return ComServer::guard(kBoundary, [&] { return giveText(modeText(mode), text); });
}

HRESULT CScriptTools::TimeText(ULONG seconds, BSTR* text)
{
    return ComServer::guard(kBoundary, [&] { return giveText(timeText(seconds), text); });
}

HRESULT CScriptTools::InterfaceSupportsErrorInfo(REFIID riid)
{
    static const IID* const supported[] = {&IID_IScriptTools};
    return ComServer::supportsErrorInfo(riid, supported);
}

} // namespace VornakTools
