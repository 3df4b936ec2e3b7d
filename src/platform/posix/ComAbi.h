// The part of the COM binary interface that the portable core uses, for builds
// that are not Windows. Widths and layouts are those of Windows: LONG, ULONG and
// DWORD are 32-bit everywhere, and text units are 16-bit (char16_t, never the
// 32-bit wchar_t of Linux). The stand-in headers beside this one (windows.h,
// ole2.h, comdef.h, ...) all lead here, so portable code and widl's output
// include the same header names on every platform.
#pragma once

#include <cstdint>
#include <cstring>

using BYTE = std::uint8_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualIID(REFIID a, REFIID b)
{
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b)
{
    return IsEqualGUID(a, b);
}

// What widl's headers expect of the platform.
#define interface struct
#define STDMETHODCALLTYPE
#define MIDL_INTERFACE(x) struct
#define DECLSPEC_UUID(x)
#define DECLSPEC_NOVTABLE
#define EXTERN_C extern "C"
#define __RPC_USER

// DEFINE_GUID declares an identifier; a source file that includes <initguid.h>
// first defines it instead.
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                               \
    EXTERN_C const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) EXTERN_C const GUID name
#endif

// The result codes of the system, with their Windows values.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

// A time in 100 ns units since 1601-01-01, in two halves.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// BSTR: a length-prefixed, NUL-terminated string of 16-bit units, allocated and
// freed only by these functions.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// The exception that wraps a failed call into another COM object. Windows'
// comdef.h also carries the callee's error information; the portable core
// reads only the HRESULT.
class _com_error {
public:
    explicit _com_error(HRESULT hr) noexcept
        : hresult_(hr)
    {}
    virtual ~_com_error() = default;
    _com_error(const _com_error&) = default;
    _com_error& operator=(const _com_error&) = default;

    HRESULT Error() const noexcept { return hresult_; }

private:
    HRESULT hresult_;
};
