// The base of the system's own exceptions: a message and the location text of
// the throw site.
#pragma once

#include <exception>
#include <string>
#include <typeinfo>

namespace Lang {

class Exception : public std::exception {
public:
    Exception(std::string message, std::string location);
    // Takes the texts through what() and location(), so a copy made through a
    // base reference carries the derived object's texts.
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const char* what() const noexcept override;
    // An empty message is stored as "(null message)".
    virtual void setMessage(const std::string& message);
    virtual void setLocation(const std::string& location);
    virtual const char* location() const noexcept;

private:
    std::string message_;
    std::string location_;
};

// The location of an exception built without one.
const std::string& unknownLocation();

// A reference that should have pointed to an object of `type` was null.
class NullPointerException : public Exception {
public:
    explicit NullPointerException(const std::type_info& type,
                                  const std::string& location = unknownLocation());
};

} // namespace Lang
