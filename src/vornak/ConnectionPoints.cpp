#include "vornak/ConnectionPoints.h"

#include <new>
#include <utility>

namespace Vornak {

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
    if (FAILED(pUnkSink->QueryInterface(iid_, sink.putVoid()))) {
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
    Vornak::EnumConnections::Connections connections;
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
    return Vornak::EnumConnections::create(nullptr, IID_IEnumConnections,
                                           reinterpret_cast<void**>(ppEnum), std::move(connections),
                                           std::size_t{0});
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

EnumConnections::EnumConnections(IUnknown* outer, Connections connections, std::size_t position)
    : ComObject(outer)
    , connections_(std::move(connections))
    , position_(position)
{}

std::span<const InterfaceEntry<EnumConnections>> EnumConnections::interfaceTable()
{
    static constexpr InterfaceEntry<EnumConnections> table[] = {
        interfaceEntry<EnumConnections, IEnumConnections>(IID_IEnumConnections),
    };
    return table;
}

HRESULT EnumConnections::Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched)
{
    if (rgcd == nullptr) {
        return E_POINTER;
    }
    ULONG fetched = 0;
    while (fetched < cConnections && position_ < connections_.size()) {
        const Connection& connection = connections_[position_++];
        connection.sink->AddRef();
        rgcd[fetched].pUnk = connection.sink.get();
        rgcd[fetched].dwCookie = connection.cookie;
        ++fetched;
    }
    if (pcFetched != nullptr) {
        *pcFetched = fetched;
    }
    return fetched == cConnections ? S_OK : S_FALSE;
}

HRESULT EnumConnections::Skip(ULONG cConnections)
{
    const std::size_t left = connections_.size() - position_;
    if (cConnections > left) {
        position_ = connections_.size();
        return S_FALSE;
    }
    position_ += cConnections;
    return S_OK;
}

HRESULT EnumConnections::Reset()
{
    position_ = 0;
    return S_OK;
}

HRESULT EnumConnections::Clone(IEnumConnections** ppEnum)
{
    try {
        return create(nullptr, IID_IEnumConnections, reinterpret_cast<void**>(ppEnum),
                      Connections(connections_), position_);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

EnumConnectionPoints::EnumConnectionPoints(IUnknown* outer, Points points, std::size_t position)
    : ComObject(outer)
    , points_(std::move(points))
    , position_(position)
{}

std::span<const InterfaceEntry<EnumConnectionPoints>> EnumConnectionPoints::interfaceTable()
{
    static constexpr InterfaceEntry<EnumConnectionPoints> table[] = {
        interfaceEntry<EnumConnectionPoints, IEnumConnectionPoints>(IID_IEnumConnectionPoints),
    };
    return table;
}

HRESULT EnumConnectionPoints::Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched)
{
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    ULONG fetched = 0;
    while (fetched < cConnections && position_ < points_.size()) {
        IConnectionPoint* point = points_[position_++].get();
        point->AddRef();
        ppCP[fetched++] = point;
    }
    if (pcFetched != nullptr) {
        *pcFetched = fetched;
    }
    return fetched == cConnections ? S_OK : S_FALSE;
}

HRESULT EnumConnectionPoints::Skip(ULONG cConnections)
{
    const std::size_t left = points_.size() - position_;
    if (cConnections > left) {
        position_ = points_.size();
        return S_FALSE;
    }
    position_ += cConnections;
    return S_OK;
}

HRESULT EnumConnectionPoints::Reset()
{
    position_ = 0;
    return S_OK;
}

HRESULT EnumConnectionPoints::Clone(IEnumConnectionPoints** ppEnum)
{
    try {
        return create(nullptr, IID_IEnumConnectionPoints, reinterpret_cast<void**>(ppEnum),
                      Points(points_), position_);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT NoConnectionPoints::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    return Vornak::EnumConnectionPoints::create(nullptr, IID_IEnumConnectionPoints,
                                                reinterpret_cast<void**>(ppEnum),
                                                Vornak::EnumConnectionPoints::Points(), 0u);
}

HRESULT NoConnectionPoints::FindConnectionPoint(REFIID, IConnectionPoint** ppCP)
{
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    return CONNECT_E_NOCONNECTION;
}

} // namespace Vornak
