// Type names as a Windows compiler prints them ("class Efs::FileBase"), on every
// compiler: they appear in exception messages and locations.
#pragma once

#include <string>
#include <typeinfo>

namespace Lang {

std::string printableTypeName(const std::type_info& type);

} // namespace Lang
