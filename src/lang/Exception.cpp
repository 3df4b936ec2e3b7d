#include "lang/Exception.h"

#include "lang/TypeName.h"

namespace Lang {

Exception::Exception(std::string message, std::string location)
    : message_(std::move(message))
    , location_(std::move(location))
{}

Exception::Exception(const Exception& other)
    : std::exception(other)
    , message_(other.what())
    , location_(other.location())
{}

Exception& Exception::operator=(const Exception& other)
{
    if (this != &other) {
        message_ = other.what();
        location_ = other.location();
    }
    return *this;
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept
{
    return message_.c_str();
}

void Exception::setMessage(const std::string& message)
{
    message_ = message.empty() ? "(null message)" : message;
}

void Exception::setLocation(const std::string& location)
{
    location_ = location;
}

const char* Exception::location() const noexcept
{
    return location_.c_str();
}

const std::string& unknownLocation()
{
    static const std::string text = "Unknown Location";
    return text;
}

NullPointerException::NullPointerException(const std::type_info& type, const std::string& location)
    : Exception("NULL " + printableTypeName(type) + " pointer", location)
{}

} // namespace Lang
