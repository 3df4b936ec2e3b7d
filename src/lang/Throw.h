// The throw convention of the Lang::Exception family: every throw site hands a
// trace line to the trace sink, stamps the exception with its location text
// ("file(line) : function") and throws a copy.
//
//     LANG_THROW(Lang::locationText("Mem/RefCount", 725, function),
//                Lang::NullPointerException(typeid(_PT)));
#pragma once

#include "lang/Format.h"
#include "lang/TraceSink.h"

#include <string>
#include <string_view>

namespace Lang {

// "file(line) : function"
std::string locationText(std::string_view file, unsigned line, std::string_view function);

template <class E>
[[noreturn]] void throwAt(const std::string& location, E exception, const char* expression)
{
    TraceSink::write(format("%s%s", location.c_str(),
                            (std::string(": Throwing ") + expression + "\r\n").c_str()));
    exception.setLocation(location);
    throw E(exception);
}

} // namespace Lang

#define LANG_THROW(location, expression) ::Lang::throwAt((location), expression, #expression)

// The location text of the current line, for throw sites of our own.
#define LANG_HERE() ::Lang::locationText(__FILE__, __LINE__, __func__)
