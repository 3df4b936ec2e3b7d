// DllRegisterServer and DllUnregisterServer: the class keys, the ProgID keys
// and the type library, written and removed with direct registry calls
// driven by a module's class table.
#include "comserver/InprocServer.h"

#include "comserver/Module.h"
#include "comserver/Registry.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"

#include <string>

namespace ComServer {

namespace {

using Registry::guidText;
using Registry::removeTree;
using Registry::writeKey;

std::wstring modulePath()
{
    return Registry::modulePath(Module::instance());
}

class Steps {
public:
    // Runs `step` unless an earlier one failed; the first failure is kept.
    template <class Step>
    Steps& then(Step&& step)
    {
        if (SUCCEEDED(result_)) {
            result_ = step();
        }
        return *this;
    }
    HRESULT result() const { return result_; }

private:
    HRESULT result_ = S_OK;
};

HRESULT registerRow(const ClassRow& row, const std::wstring& module, const std::wstring& library)
{
    const std::wstring clsid = guidText(*row.clsid);
    const std::wstring progId = row.progId;
    const std::wstring independent = row.versionIndependentProgId;
    const std::wstring display = row.displayName;
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring threadingModel = row.threadingModel;
    return Steps()
        .then([&] { return writeKey(progId, display); })
        .then([&] { return writeKey(progId + L"\\CLSID", clsid); })
        .then([&] { return writeKey(independent, display); })
        .then([&] { return writeKey(independent + L"\\CLSID", clsid); })
        .then([&] { return writeKey(independent + L"\\CurVer", progId); })
        // The class key is rewritten whole, so nothing of an earlier
        // registration (another server, another threading model) survives.
        .then([&] { return removeTree(classKey); })
        .then([&] { return writeKey(classKey, display); })
        .then([&] { return writeKey(classKey + L"\\ProgID", progId); })
        .then([&] { return writeKey(classKey + L"\\VersionIndependentProgID", independent); })
        .then([&] { return writeKey(classKey + L"\\Programmable", nullptr, nullptr); })
        .then([&] { return writeKey(classKey + L"\\InprocServer32", module); })
        .then([&] {
            return writeKey(classKey + L"\\InprocServer32", L"ThreadingModel", &threadingModel);
        })
        .then([&] { return writeKey(classKey + L"\\TypeLib", library); })
        .result();
}

HRESULT unregisterRow(const ClassRow& row)
{
    return Steps()
        .then([&] { return removeTree(row.progId); })
        .then([&] { return removeTree(row.versionIndependentProgId); })
        .then([&] { return removeTree(L"CLSID\\" + guidText(*row.clsid)); })
        .result();
}

HRESULT loadOwnTypeLibrary(const std::wstring& module, ITypeLib** library)
{
    return LoadTypeLibEx(module.c_str(), REGKIND_NONE, library);
}

} // namespace

HRESULT InprocServer::registerServer() const
{
    try {
        const std::wstring module = modulePath();
        if (module.empty()) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        const std::wstring library = guidText(typeInfo_->library());
        Steps steps;
        for (const ClassRow& row : rows_) {
            steps.then([&] { return registerRow(row, module, library); });
        }
        Platform::ComPtr<ITypeLib> typeLibrary;
        return steps.then([&] { return loadOwnTypeLibrary(module, typeLibrary.put()); })
            .then([&] {
                std::wstring path = module;
                return RegisterTypeLib(typeLibrary.get(), path.data(), nullptr);
            })
            .result();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT InprocServer::unregisterServer() const
{
    try {
        Steps steps;
        for (const ClassRow& row : rows_) {
            steps.then([&] { return unregisterRow(row); });
        }
        Platform::ComPtr<ITypeLib> typeLibrary;
        TLIBATTR* attributes = nullptr;
        return steps.then([&] { return loadOwnTypeLibrary(modulePath(), typeLibrary.put()); })
            .then([&] { return typeLibrary->GetLibAttr(&attributes); })
            .then([&] {
                // A library that is not registered is already as it should be.
                Platform::Bstr registeredPath;
                HRESULT hr = QueryPathOfRegTypeLib(attributes->guid, attributes->wMajorVerNum,
                                                   attributes->wMinorVerNum, attributes->lcid,
                                                   registeredPath.put());
                if (SUCCEEDED(hr)) {
                    hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum,
                                           attributes->wMinorVerNum, attributes->lcid,
                                           attributes->syskind);
                } else {
                    hr = S_OK;
                }
                typeLibrary->ReleaseTLibAttr(attributes);
                return hr;
            })
            .result();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // namespace ComServer
