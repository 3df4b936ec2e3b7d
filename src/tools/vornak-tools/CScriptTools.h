// The script adaptor as a creatable COM object (coclass ScriptTools): it
// calls what scripts cannot call on Vornak's objects (RecursiveDirList and
// its [in, out] IUnknown**, GetEntry and its [out] parameters,
// IStorage::EnumElements) and returns automation values.
//
// It is registered "Free", so that it lives in the multithreaded apartment
// beside Vornak's free-threaded objects: what a script hands it arrives as
// those objects themselves. In the script's own apartment they would be
// proxies, and Wine's type-library marshaller builds no proxy for
// ITavoEFSFolder or ITavoEFSEnum, since Vornak's library is registered for
// locale 1033 and Wine looks only for locale 0; a script calls them through
// IDispatch, which has a proxy of its own. The tools keep no state, and use
// what they are handed within the call.
#pragma once

#include "comserver/ComObject.h"
#include "comserver/DualDispatch.h"
#include "vornak-tools/VornakTools.h"

#include <span>

namespace VornakTools {

class CScriptTools final
    : public ComServer::ComObject<CScriptTools,
                                  ComServer::DualDispatch<IScriptTools, IID_IScriptTools>,
                                  ISupportErrorInfo> {
public:
    static std::span<const ComServer::InterfaceEntry<CScriptTools>> interfaceTable();

    // IScriptTools
    HRESULT STDMETHODCALLTYPE ListRecursively(IUnknown* folder, IDispatch** listing) override;
    HRESULT STDMETHODCALLTYPE ListElements(IUnknown* folder, IDispatch** listing) override;
    HRESULT STDMETHODCALLTYPE Entry(IUnknown* listing, ULONG index, IDispatch** entry) override;
    HRESULT STDMETHODCALLTYPE TypeName(ULONG type, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE ModeText(ULONG mode, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE TimeText(ULONG seconds, BSTR* text) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    friend ComObject;
    explicit CScriptTools(IUnknown* outer);
};

} // namespace VornakTools
