// A parsed, normalised path: its text, the length of its root and the kind of
// root, with the traits of the file system it belongs to.
#pragma once

#include "lang/Exception.h"
#include "system/Private/PathStringParser.h"
#include "system/RootType.h"

#include <cstdint>
#include <string>
#include <utility>

namespace System {

template <class Traits>
class BasicPath {
public:
    // A path that cannot be parsed; each traits has its own type.
    class Exception : public Lang::Exception {
    public:
        explicit Exception(const std::string& message)
            : Lang::Exception(message, std::string())
        {}
    };

    // Each constructor parses the text: white space and one quote at either
    // end are removed, then root, separators and "." and ".." are normalised.
    // Throws Exception for malformed paths, std::invalid_argument for
    // malformed UTF-16.
    explicit BasicPath(std::u16string&& text);
    explicit BasicPath(const std::u16string& text);
    // A null pointer is the empty path, as a null string is in COM.
    explicit BasicPath(const char16_t* text);

    // The normalised text.
    const std::u16string& path() const { return path_; }
    // The normalised text, NUL-terminated.
    const char16_t* c_str() const { return path_.c_str(); }
    // The number of units at the start of the text that form the root.
    std::uint32_t rootLength() const { return rootLength_; }
    RootType rootType() const { return rootType_; }

private:
    void parse();

    std::u16string path_;
    std::uint32_t rootLength_ = 0;
    RootType rootType_ = RootType::Relative;
};

template <class Traits>
BasicPath<Traits>::BasicPath(std::u16string&& text)
    : path_(std::move(text))
{
    parse();
}

template <class Traits>
BasicPath<Traits>::BasicPath(const std::u16string& text)
    : path_(text)
{
    parse();
}

template <class Traits>
BasicPath<Traits>::BasicPath(const char16_t* text)
    : path_(text != nullptr ? text : u"")
{
    parse();
}

template <class Traits>
void BasicPath<Traits>::parse()
{
    Private::trimAndUnquote(path_);
    if (!path_.empty()) {
        rootType_ = Private::PathStringParser<Traits>::processPathString(rootLength_, path_);
    }
}

} // namespace System
