// Connection points and their containers: the point of one outgoing
// interface with its advised sinks, enumerators over points and over
// connections, and the container of a class whose event interface has no
// members and so offers no connection point at all.
#pragma once

#include "platform/ComPtr.h"
#include "vornak/ComObject.h"

#include <cstddef>
#include <span>
#include <vector>

namespace Vornak {

// A critical section, entered for the lifetime of a Lock.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    class Lock {
    public:
        explicit Lock(CriticalSection& section)
            : section_(section.section_)
        {
            EnterCriticalSection(&section_);
        }
        ~Lock() { LeaveCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

private:
    CRITICAL_SECTION section_;
};

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

// The connections of a point as they were when it was asked: each sink with
// its cookie.
class EnumConnections final : public ComObject<EnumConnections, IEnumConnections> {
public:
    struct Connection {
        Platform::ComPtr<IUnknown> sink;
        DWORD cookie;
    };
    using Connections = std::vector<Connection>;

    static std::span<const InterfaceEntry<EnumConnections>> interfaceTable();

    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA* rgcd,
                                   ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) override;

private:
    friend ComObject;
    EnumConnections(IUnknown* outer, Connections connections, std::size_t position);

    Connections connections_;
    std::size_t position_;
};

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
