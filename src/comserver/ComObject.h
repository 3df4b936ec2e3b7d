// The base of every COM object of the project: an interlocked reference
// count that starts at 0, a hold on the module while the object lives,
// QueryInterface driven by the object's interface table, and aggregation.
// The IUnknown methods of the object's interfaces go to the controlling
// unknown: the outer object when the object is aggregated, the object's own
// inner IUnknown otherwise. It builds on every platform, so that the ports of
// the portable core are such objects too.
#pragma once

#include "comserver/ModuleLock.h"
#include "platform/Com.h"
#include "platform/ComPtr.h"

#include <atomic>
#include <new>
#include <span>
#include <utility>

namespace ComServer {

// One row of an object's interface table: an interface identifier and how to
// reach that interface of the object.
template <class Object>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*get)(Object* object);
};

// The row for interface I of Object, reached through Via (the dual interface
// when I is IDispatch).
template <class Object, class I, class Via = I>
constexpr InterfaceEntry<Object> interfaceEntry(const IID& iid)
{
    return {&iid,
            [](Object* object) -> IUnknown* { return static_cast<I*>(static_cast<Via*>(object)); }};
}

// Object derives from ComObject<Object, Interfaces...> and provides
//   static std::span<const InterfaceEntry<Object>> interfaceTable();
// whose first row also answers IID_IUnknown for a stand-alone object. An
// object that aggregates another (the free-threaded marshaler) may also
// provide
//   HRESULT queryAggregate(REFIID iid, void** out);
// which is asked for what the table does not hold and answers with a new
// reference, as the aggregated object's inner QueryInterface does. A class
// object, which the module keeps until it unloads, declares
//   static constexpr bool kHoldsModule = false;
// so that it does not keep the module loaded itself.
template <class Object, class... Interfaces>
class ComObject : public Interfaces... {
public:
    // Creates an object (count 0) from `outer` and `arguments`, asks it for
    // `iid` and destroys it again when that fails. With an outer object only
    // IID_IUnknown may be asked for; anything else gives CLASS_E_NOAGGREGATION.
    // A constructor's failure is its _com_error's HRESULT, E_OUTOFMEMORY, or
    // E_FAIL for anything else.
    template <class... Arguments>
    static HRESULT create(IUnknown* outer, REFIID iid, void** out,
                          Arguments&&... arguments) noexcept
    {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        Object* object = nullptr;
        try {
            object = new Object(outer, std::forward<Arguments>(arguments)...);
        } catch (const _com_error& error) {
            return FAILED(error.Error()) ? error.Error() : E_FAIL;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
        const HRESULT hr = object->inner_.QueryInterface(iid, out);
        if (FAILED(hr)) {
            delete object;
        }
        return hr;
    }

    // A new stand-alone object, its one reference held by the result, asked
    // for nothing: for the project's own use of its objects. Throws what the
    // constructor throws.
    template <class Result = Object, class... Arguments>
    static Platform::ComPtr<Result> make(Arguments&&... arguments)
    {
        return Platform::ComPtr<Result>(new Object(std::forward<Arguments>(arguments)...));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return controlling_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return controlling_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return controlling_->Release(); }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    explicit ComObject(IUnknown* outer = nullptr)
        : inner_(*this)
        , controlling_(outer != nullptr ? outer : &inner_)
    {
        if constexpr (holdsModule()) {
            ModuleLock::lock();
        }
    }
    virtual ~ComObject()
    {
        if constexpr (holdsModule()) {
            ModuleLock::unlock();
        }
    }

private:
    static constexpr bool holdsModule()
    {
        if constexpr (requires { Object::kHoldsModule; }) {
            return Object::kHoldsModule;
        } else {
            return true;
        }
    }

    // The object's own IUnknown: the one an outer object holds, and the
    // controlling unknown of a stand-alone object.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(ComObject& owner)
            : owner_(owner)
        {}

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
        {
            if (out == nullptr) {
                return E_POINTER;
            }
            *out = nullptr;
            Object* object = static_cast<Object*>(&owner_);
            const std::span<const InterfaceEntry<Object>> table = Object::interfaceTable();
            IUnknown* found = nullptr;
            if (IsEqualIID(iid, IID_IUnknown)) {
                found = owner_.controlling_ == this ? table.front().get(object) : this;
            } else {
                for (const InterfaceEntry<Object>& entry : table) {
                    if (IsEqualIID(iid, *entry.iid)) {
                        found = entry.get(object);
                        break;
                    }
                }
            }
            if (found == nullptr) {
                if constexpr (requires { object->queryAggregate(iid, out); }) {
                    return object->queryAggregate(iid, out);
                }
                return E_NOINTERFACE;
            }
            found->AddRef();
            *out = found;
            return S_OK;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return owner_.references_.fetch_add(1) + 1; }
        ULONG STDMETHODCALLTYPE Release() override
        {
            const ULONG remaining = owner_.references_.fetch_sub(1) - 1;
            if (remaining == 0) {
                delete &owner_;
            }
            return remaining;
        }

    private:
        ComObject& owner_;
    };

    InnerUnknown inner_;
    IUnknown* controlling_;
    std::atomic<ULONG> references_ = 0;
};

// InterfaceSupportsErrorInfo for a class whose methods record error
// information for `supported`: S_OK for those, S_FALSE for any other.
inline HRESULT supportsErrorInfo(REFIID iid, std::span<const IID* const> supported)
{
    for (const IID* candidate : supported) {
        if (IsEqualIID(iid, *candidate)) {
            return S_OK;
        }
    }
    return S_FALSE;
}

} // namespace ComServer
