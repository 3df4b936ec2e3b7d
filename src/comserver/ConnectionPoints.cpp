#include "comserver/ConnectionPoints.h"

#include <new>
#include <utility>

namespace ComServer {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer& container, const IID& iid)
    : container_(container)
    , iid_(iid)
{}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** out)
{
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        AddRef();
        *out = static_cast<IConnectionPoint*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID)
{
    if (pIID == nullptr) {
        return E_POINTER;
    }
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    if (ppCPC == nullptr) {
        return E_POINTER;
    }
    container_.AddRef();
    *ppCPC = &container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    if (pdwCookie == nullptr) {
        return E_POINTER;
    }
    *pdwCookie = 0;
    if (pUnkSink == nullptr) {
        return E_POINTER;
    }
    Platform::ComPtr<IUnknown> sink;
    if (FAILED(Platform::queryInterfaceNoThrow(pUnkSink, iid_, sink))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    const CriticalSection::Lock lock(section_);
    std::size_t slot = 0;
    while (slot < slots_.size() && slots_[slot]) {
        ++slot;
    }
    try {
        if (slot == slots_.size()) {
            slots_.emplace_back();
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    slots_[slot] = std::move(sink);
    *pdwCookie = static_cast<DWORD>(slot + 1);
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie)
{
    Platform::ComPtr<IUnknown> released;
    {
        const CriticalSection::Lock lock(section_);
        if (dwCookie == 0 || dwCookie > slots_.size() || !slots_[dwCookie - 1]) {
            return CONNECT_E_NOCONNECTION;
        }
        released = std::move(slots_[dwCookie - 1]);
    }
    return S_OK; // the sink is released outside the lock
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum)
{
    if (ppEnum == nullptr) {
        return E_POINTER;
    }
    *ppEnum = nullptr;
    ComServer::EnumConnections::Items connections;
    try {
        const CriticalSection::Lock lock(section_);
        for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
            if (slots_[slot]) {
                connections.push_back({slots_[slot], static_cast<DWORD>(slot + 1)});
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return ComServer::EnumConnections::create(
        nullptr, IID_IEnumConnections, reinterpret_cast<void**>(ppEnum),
        std::span<const ConnectionsTraits::Item>(connections), std::size_t{0});
}

std::size_t ConnectionPoint::slotCount()
{
    const CriticalSection::Lock lock(section_);
    return slots_.size();
}

Platform::ComPtr<IUnknown> ConnectionPoint::sinkAt(std::size_t slot)
{
    const CriticalSection::Lock lock(section_);
    return slots_[slot]; // slots are never removed, only emptied
}

HRESULT NoConnectionPoints::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    return ComServer::EnumConnectionPoints::create(
        nullptr, IID_IEnumConnectionPoints, reinterpret_cast<void**>(ppEnum),
        std::span<const ConnectionPointsTraits::Item>(), std::size_t{0});
}

HRESULT NoConnectionPoints::FindConnectionPoint(REFIID, IConnectionPoint** ppCP)
{
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    return CONNECT_E_NOCONNECTION;
}

} // namespace ComServer
