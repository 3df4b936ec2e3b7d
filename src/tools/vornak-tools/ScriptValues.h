// What the emulated port's dual interface takes from scripts and gives back:
// file content as text or bytes, command codes and fault kinds by name.
#pragma once

#include "emulator/Fault.h"
#include "platform/Com.h"
#include "tools/vornak-tools/Failure.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace VornakTools {

// The bytes of a SAFEARRAY of bytes, of a SAFEARRAY of VARIANT numbers 0 to
// 255, or of a script's array of such numbers (an object with "length" and
// elements "0", "1", ...). Throws Failure(E_INVALIDARG) for anything else.
std::vector<std::uint8_t> bytesFromVariant(const VARIANT& value);
// `bytes` as a new SAFEARRAY of VARIANT bytes (VT_UI1) in `out`: the array
// that scripts read (JScript's VBArray takes no other). Throws std::bad_alloc.
void bytesToVariant(std::span<const std::uint8_t> bytes, VARIANT* out);

// `text` in UTF-8. Throws Failure(E_INVALIDARG) for a lone surrogate.
std::vector<std::uint8_t> toUtf8(std::wstring_view text);
// UTF-8 `bytes` as text. Throws Failure(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION))
// when they are not UTF-8.
std::wstring fromUtf8(std::span<const std::uint8_t> bytes);

// The command a VARIANT names: a code, or a name with or without its
// "EFS2_DIAG_" prefix in any case; nothing for an omitted, empty or null
// argument. Throws Failure(E_INVALIDARG) for any other value.
std::optional<std::uint16_t> commandFromVariant(const VARIANT& value);

// The fault kind of a name, in any case. Throws Failure(E_INVALIDARG) for an
// unknown name and for "Exception": an exception thrown from the port would
// have to cross from this module into its caller's, which the two modules'
// separate C++ runtimes cannot carry.
Emulator::Fault::Kind faultKindFromName(std::wstring_view name);

} // namespace VornakTools
