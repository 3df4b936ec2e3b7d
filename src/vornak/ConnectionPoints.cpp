#include "vornak/ConnectionPoints.h"

namespace Vornak {

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
