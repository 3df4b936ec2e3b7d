// Connection-point containers: an enumerator over a fixed list of connection
// points, and the container of a class whose event interface has no members
// and so offers no connection point at all.
#pragma once

#include "platform/ComPtr.h"
#include "vornak/ComObject.h"

#include <cstddef>
#include <span>
#include <vector>

namespace Vornak {

class EnumConnectionPoints final : public ComObject<EnumConnectionPoints, IEnumConnectionPoints> {
public:
    using Points = std::vector<Platform::ComPtr<IConnectionPoint>>;

    static std::span<const InterfaceEntry<EnumConnectionPoints>> interfaceTable();

    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint** ppCP,
                                   ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) override;

private:
    friend ComObject;
    EnumConnectionPoints(IUnknown* outer, Points points, std::size_t position);

    Points points_;
    std::size_t position_;
};

// IConnectionPointContainer with no connection points: the enumeration is
// empty and every interface is refused with CONNECT_E_NOCONNECTION.
class NoConnectionPoints : public IConnectionPointContainer {
public:
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
};

} // namespace Vornak
