// Connection points and their containers: the point of one outgoing
// interface with its advised sinks, enumerators over points and over
// connections, and the container of a class whose event interface has no
// members and so offers no connection point at all.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/CriticalSection.h"
#include "platform/ComPtr.h"

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace ComServer {

// The connection point of one outgoing interface, living inside its
// container and counting its references on the container's. The advised
// sinks sit in a growable array of slots; a cookie is a slot's number plus
// one, and a slot freed by Unadvise is used again. The slots are guarded by
// the point's critical section, which is never held while a sink is called.
class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer& container, const IID& iid);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return container_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return container_.Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // Keeps `pUnkSink`'s answer for the point's interface; a sink without it
    // gives CONNECT_E_CANNOTCONNECT.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    // The sinks advised now, with their cookies.
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    // Calls `call(Sink&)` for every advised sink, slot by slot. The number of
    // slots is read once; each sink is fetched and held under the lock, then
    // called outside it, so a sink may advise or unadvise from the call.
    // Sink is the point's interface.
    template <class Sink, class Call>
    void forEachSink(Call&& call)
    {
        const std::size_t count = slotCount();
        for (std::size_t slot = 0; slot < count; ++slot) {
            const Platform::ComPtr<IUnknown> sink = sinkAt(slot);
            if (sink) {
                call(*static_cast<Sink*>(sink.get()));
            }
        }
    }

private:
    std::size_t slotCount();
    Platform::ComPtr<IUnknown> sinkAt(std::size_t slot);

    IConnectionPointContainer& container_;
    const IID& iid_;
    CriticalSection section_;
    // Each holds the sink's answer for iid_, or nothing.
    std::vector<Platform::ComPtr<IUnknown>> slots_;
};

// An enumerator over a copy of the items it was made with: Traits names the
// enumerator interface and its identifier, the item kept, the element handed
// out, and handOut, which fills an element with a reference the caller owns.
// Its calls move one position one at a time, whichever threads make them.
template <class Traits>
class SnapshotEnum final : public ComObject<SnapshotEnum<Traits>, typename Traits::Interface> {
public:
    using Interface = typename Traits::Interface;
    using Items = std::vector<typename Traits::Item>;

    static std::span<const InterfaceEntry<SnapshotEnum>> interfaceTable()
    {
        static constexpr InterfaceEntry<SnapshotEnum> table[] = {
            interfaceEntry<SnapshotEnum, Interface>(Traits::iid),
        };
        return table;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, typename Traits::Element* elements,
                                   ULONG* fetched) override
    {
        if (elements == nullptr) {
            return E_POINTER;
        }
        const CriticalSection::Lock lock(section_);
        ULONG handed = 0;
        while (handed < count && position_ < items_.size()) {
            Traits::handOut(items_[position_++], elements[handed++]);
        }
        if (fetched != nullptr) {
            *fetched = handed;
        }
        return handed == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        const CriticalSection::Lock lock(section_);
        if (count > items_.size() - position_) {
            position_ = items_.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        const CriticalSection::Lock lock(section_);
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** clone) override
    {
        // The constructor copies the items: no room for them is E_OUTOFMEMORY.
        const CriticalSection::Lock lock(section_);
        return SnapshotEnum::create(nullptr, Traits::iid, reinterpret_cast<void**>(clone),
                                    std::span<const typename Traits::Item>(items_), position_);
    }

private:
    friend ComObject<SnapshotEnum, Interface>;
    SnapshotEnum(IUnknown* outer, std::span<const typename Traits::Item> items,
                 std::size_t position)
        : ComObject<SnapshotEnum, Interface>(outer)
        , items_(items.begin(), items.end())
        , position_(position)
    {}

    CriticalSection section_;
    Items items_;
    std::size_t position_;
};

// The connections of a point as they were when it was asked: each sink with
// its cookie.
struct ConnectionsTraits {
    struct Connection {
        Platform::ComPtr<IUnknown> sink;
        DWORD cookie;
    };
    using Interface = IEnumConnections;
    using Item = Connection;
    using Element = CONNECTDATA;
    static constexpr const IID& iid = IID_IEnumConnections;
    static void handOut(const Connection& connection, CONNECTDATA& data)
    {
        connection.sink->AddRef();
        data.pUnk = connection.sink.get();
        data.dwCookie = connection.cookie;
    }
};
using EnumConnections = SnapshotEnum<ConnectionsTraits>;

// The connection points of a container.
struct ConnectionPointsTraits {
    using Interface = IEnumConnectionPoints;
    using Item = Platform::ComPtr<IConnectionPoint>;
    using Element = IConnectionPoint*;
    static constexpr const IID& iid = IID_IEnumConnectionPoints;
    static void handOut(const Item& point, IConnectionPoint*& element)
    {
        point->AddRef();
        element = point.get();
    }
};
using EnumConnectionPoints = SnapshotEnum<ConnectionPointsTraits>;

// IConnectionPointContainer with no connection points: the enumeration is
// empty and every interface is refused with CONNECT_E_NOCONNECTION.
class NoConnectionPoints : public IConnectionPointContainer {
public:
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;
};

} // namespace ComServer
