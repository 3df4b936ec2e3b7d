// A module's type library as the platform registered it: the library is
// loaded on first use and one ITypeInfo per dual interface is kept until the
// module is unloaded.
#pragma once

#include "platform/Com.h"

#include <atomic>
#include <span>

namespace ComServer {

class TypeInfoCache {
public:
    // One dual interface whose type information is kept.
    struct Entry {
        const IID* iid;
        std::atomic<ITypeInfo*> info = nullptr;
    };

    // The registered library `library` (version 1.0, locale 1033) and the
    // interfaces of `entries`, which must outlive the cache.
    constexpr TypeInfoCache(const GUID& library, std::span<Entry> entries)
        : library_(&library)
        , entries_(entries)
    {}
    TypeInfoCache(const TypeInfoCache&) = delete;
    TypeInfoCache& operator=(const TypeInfoCache&) = delete;

    const GUID& library() const { return *library_; }

    // The type information of the dual interface `iid` (a new reference),
    // the failure of loading the registered library, or
    // TYPE_E_ELEMENTNOTFOUND for an interface not among the entries.
    HRESULT typeInfo(REFIID iid, ITypeInfo** out);
    // Releases the library and the type information (module unload).
    void release();

private:
    HRESULT loadLibrary(ITypeLib** out);

    const GUID* library_;
    std::span<Entry> entries_;
    std::atomic<ITypeLib*> loaded_ = nullptr;
};

} // namespace ComServer
