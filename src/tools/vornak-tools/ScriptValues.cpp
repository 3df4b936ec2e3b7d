#include "tools/vornak-tools/ScriptValues.h"

#include "diag/Efs2.h"
#include "platform/ComPtr.h"

#include <algorithm>
#include <cwctype>
#include <new>

namespace VornakTools {

namespace {

class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value_); }
    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }

private:
    VARIANT value_;
};

// VariantChangeType and VariantCopyInd leave their source alone, though the
// platform declares it writable.
bool changeType(OwnedVariant& target, const VARIANT& source, VARTYPE type)
{
    return SUCCEEDED(VariantChangeType(target.get(), const_cast<VARIANT*>(&source), 0, type));
}
bool copyDirect(OwnedVariant& target, const VARIANT& source)
{
    return SUCCEEDED(VariantCopyInd(target.get(), const_cast<VARIANT*>(&source)));
}

[[noreturn]] void invalid(std::wstring description)
{
    throw Failure{E_INVALIDARG, std::move(description)};
}

std::uint8_t byteFrom(const VARIANT& element)
{
    OwnedVariant number;
    if (!changeType(number, element, VT_I4) || V_I4(&*number) < 0 || V_I4(&*number) > 0xFF) {
        invalid(L"a byte must be a number from 0 to 255");
    }
    return static_cast<std::uint8_t>(V_I4(&*number));
}

// The elements of a one-dimensional SAFEARRAY, each handed to `take`.
template <class Element, class Take>
void forEachElement(SAFEARRAY* array, Take&& take)
{
    LONG lower = 0;
    LONG upper = -1;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        invalid(L"the bytes must be a one-dimensional array");
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        invalid(L"the array cannot be read");
    }
    const auto* elements = static_cast<const Element*>(data);
    try {
        for (LONG i = 0; i <= upper - lower; ++i) {
            take(elements[i]);
        }
    } catch (...) {
        SafeArrayUnaccessData(array);
        throw;
    }
    SafeArrayUnaccessData(array);
}

// A property of a script's object, read through IDispatch.
void readProperty(IDispatch* object, const wchar_t* name, VARIANT* out)
{
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (FAILED(object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id)) ||
        FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out,
                              nullptr, nullptr))) {
        invalid(std::wstring(L"the array has no element ") + name);
    }
}

std::vector<std::uint8_t> bytesFromScriptArray(IDispatch* array)
{
    if (array == nullptr) {
        invalid(L"the bytes are a null object");
    }
    OwnedVariant length;
    readProperty(array, L"length", length.get());
    OwnedVariant count;
    if (!changeType(count, *length, VT_I4) || V_I4(&*count) < 0) {
        invalid(L"the array has no length");
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(V_I4(&*count)));
    for (LONG i = 0; i < V_I4(&*count); ++i) {
        OwnedVariant element;
        readProperty(array, std::to_wstring(i).c_str(), element.get());
        bytes.push_back(byteFrom(*element));
    }
    return bytes;
}

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towupper(static_cast<wint_t>(x)) == std::towupper(static_cast<wint_t>(y));
    });
}

struct CommandName {
    const wchar_t* name;
    Diag::Efs2::Command code;
};
constexpr CommandName kCommands[] = {
    {L"HELLO", Diag::Efs2::Hello},     {L"QUERY", Diag::Efs2::Query},
    {L"OPEN", Diag::Efs2::Open},       {L"CLOSE", Diag::Efs2::Close},
    {L"READ", Diag::Efs2::Read},       {L"WRITE", Diag::Efs2::Write},
    {L"UNLINK", Diag::Efs2::Unlink},   {L"MKDIR", Diag::Efs2::MkDir},
    {L"RMDIR", Diag::Efs2::RmDir},     {L"OPENDIR", Diag::Efs2::OpenDir},
    {L"READDIR", Diag::Efs2::ReadDir}, {L"CLOSEDIR", Diag::Efs2::CloseDir},
    {L"RENAME", Diag::Efs2::Rename},   {L"LSTAT", Diag::Efs2::LStat},
    {L"FSTAT", Diag::Efs2::FStat},
};

struct KindName {
    const wchar_t* name;
    Emulator::Fault::Kind kind;
};
constexpr KindName kKinds[] = {
    {L"StaleOffset", Emulator::Fault::Kind::StaleOffset},
    {L"ForeignDescriptor", Emulator::Fault::Kind::ForeignDescriptor},
    {L"TruncatedResponse", Emulator::Fault::Kind::TruncatedResponse},
    {L"OversizedResponse", Emulator::Fault::Kind::OversizedResponse},
    {L"ErrorResponse", Emulator::Fault::Kind::ErrorResponse},
    {L"PortFailure", Emulator::Fault::Kind::PortFailure},
    {L"NoAnswer", Emulator::Fault::Kind::NoAnswer},
    {L"Latency", Emulator::Fault::Kind::Latency},
};

} // namespace

std::vector<std::uint8_t> bytesFromVariant(const VARIANT& value)
{
    OwnedVariant direct; // the value itself when it came by reference
    if (!copyDirect(direct, value)) {
        invalid(L"the bytes cannot be read");
    }
    const VARIANT& v = *direct;
    std::vector<std::uint8_t> bytes;
    switch (V_VT(&v)) {
    case VT_ARRAY | VT_UI1:
        forEachElement<std::uint8_t>(V_ARRAY(&v), [&](std::uint8_t b) { bytes.push_back(b); });
        return bytes;
    case VT_ARRAY | VT_VARIANT:
        forEachElement<VARIANT>(
            V_ARRAY(&v), [&](const VARIANT& element) { bytes.push_back(byteFrom(element)); });
        return bytes;
    case VT_DISPATCH:
        return bytesFromScriptArray(V_DISPATCH(&v));
    default:
        invalid(L"the bytes must be an array of numbers from 0 to 255");
    }
}

void bytesToVariant(std::span<const std::uint8_t> bytes, VARIANT* out)
{
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) {
        throw std::bad_alloc();
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        throw std::bad_alloc();
    }
    auto* elements = static_cast<VARIANT*>(data);
    for (const std::uint8_t byte : bytes) {
        V_VT(elements) = VT_UI1;
        V_UI1(elements) = byte;
        ++elements;
    }
    SafeArrayUnaccessData(array);
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array;
}

std::vector<std::uint8_t> toUtf8(std::wstring_view text)
{
    std::vector<std::uint8_t> bytes;
    if (text.empty()) {
        return bytes;
    }
    const auto length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length,
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        invalid(L"the text holds a lone surrogate and has no UTF-8 form");
    }
    bytes.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length,
                        reinterpret_cast<char*>(bytes.data()), size, nullptr, nullptr);
    return bytes;
}

std::wstring fromUtf8(std::span<const std::uint8_t> bytes)
{
    std::wstring text;
    if (bytes.empty()) {
        return text;
    }
    const auto* source = reinterpret_cast<const char*>(bytes.data());
    const auto length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, source, length, nullptr, 0);
    if (size <= 0) {
        throw Failure{HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION),
                      L"the file's content is not UTF-8 text"};
    }
    text.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, source, length, text.data(), size);
    return text;
}

std::optional<std::uint16_t> commandFromVariant(const VARIANT& value)
{
    OwnedVariant direct;
    if (!copyDirect(direct, value)) {
        invalid(L"the command cannot be read");
    }
    const VARIANT& v = *direct;
    switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL:
        return std::nullopt;
    case VT_ERROR: // an optional argument left out
        if (V_ERROR(&v) == DISP_E_PARAMNOTFOUND) {
            return std::nullopt;
        }
        break;
    case VT_BSTR: {
        std::wstring_view name = V_BSTR(&v) != nullptr ? V_BSTR(&v) : L"";
        constexpr std::wstring_view kPrefix = L"EFS2_DIAG_";
        if (name.size() > kPrefix.size() &&
            equalsIgnoringCase(name.substr(0, kPrefix.size()), kPrefix)) {
            name.remove_prefix(kPrefix.size());
        }
        for (const CommandName& command : kCommands) {
            if (equalsIgnoringCase(name, command.name)) {
                return command.code;
            }
        }
        invalid(L"no EFS2 command is named " + std::wstring(name));
    }
    default: {
        OwnedVariant number;
        if (changeType(number, v, VT_I4) && V_I4(&*number) >= 0 && V_I4(&*number) <= 0xFFFF) {
            return static_cast<std::uint16_t>(V_I4(&*number));
        }
        break;
    }
    }
    invalid(L"a command is a name or a code from 0 to 65535");
}

Emulator::Fault::Kind faultKindFromName(std::wstring_view name)
{
    for (const KindName& kind : kKinds) {
        if (equalsIgnoringCase(name, kind.name)) {
            return kind.kind;
        }
    }
    if (equalsIgnoringCase(name, L"Exception")) {
        invalid(L"an exception cannot be thrown from the port across the module's boundary");
    }
    invalid(L"no fault is named " + std::wstring(name));
}

} // namespace VornakTools
