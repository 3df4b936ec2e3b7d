#include "lang/TypeName.h"

#if defined(__GNUC__)
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#endif

namespace Lang {

#if defined(__GNUC__)

std::string printableTypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    // The Itanium ABI describes class and union types with __class_type_info
    // and enumerations with __enum_type_info; Windows compilers name the kind.
    if (dynamic_cast<const abi::__class_type_info*>(&type) != nullptr) {
        return "class " + name;
    }
    if (dynamic_cast<const abi::__enum_type_info*>(&type) != nullptr) {
        return "enum " + name;
    }
    return name;
}

#else

std::string printableTypeName(const std::type_info& type)
{
    return type.name();
}

#endif

} // namespace Lang
