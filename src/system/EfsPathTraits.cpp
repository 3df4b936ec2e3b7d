#include "system/EfsPathTraits.h"

namespace Marl::Efs {

const std::u16string& PathTraits::invalidChars()
{
    static const std::u16string chars;
    return chars;
}

const std::string& PathTraits::invalidCharsMsg()
{
    static const std::string message = "paths may not contain any of the following: ";
    return message;
}

} // namespace Marl::Efs
