#include "tools/vornak-efs/ArchiveNames.h"

#include "lang/Transcode.h"
#include "tools/vornak-efs/Text.h"

#include <stdexcept>

namespace VornakEfs::ArchiveNames {

namespace {

using Lang::Platform::transcode;
using Lang::Platform::transcodeVerbatim;

// The decoded text of `bytes` as UTF-8, unless it holds a NUL or a lone
// surrogate, or any of `refused`.
std::optional<std::string> decoded(std::string_view bytes, std::u16string_view refused)
{
    const std::u16string text = transcode(bytes);
    if (text.find(u'\0') != std::u16string::npos ||
        text.find_first_of(refused) != std::u16string::npos) {
        return std::nullopt;
    }
    try {
        return toUtf8(text);
    } catch (const std::invalid_argument&) {
        return std::nullopt; // "&#xD800;" and the like
    }
}

bool namesItselfOrParent(std::string_view name)
{
    return name == "." || name == "..";
}

} // namespace

std::optional<std::string> readableName(std::string_view handsetName)
{
    if (handsetName.empty() || namesItselfOrParent(handsetName) ||
        handsetName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        return std::nullopt;
    }
    if (auto text = decoded(handsetName, u"/"); text && !namesItselfOrParent(*text)) {
        return text;
    }
    return toUtf8(transcodeVerbatim(handsetName));
}

std::optional<std::string> readablePath(std::string_view handsetPath)
{
    std::string path;
    for (std::size_t start = 0; start < handsetPath.size();) {
        std::size_t slash = handsetPath.find('/', start);
        if (slash == std::string_view::npos) {
            slash = handsetPath.size();
        }
        const auto name = readableName(handsetPath.substr(start, slash - start));
        if (!name) {
            return std::nullopt;
        }
        path += path.empty() ? "" : "/";
        path += *name;
        start = slash + 1;
        if (start == handsetPath.size()) {
            return std::nullopt; // a trailing "/": an empty last name
        }
    }
    return path;
}

std::string readableText(std::string_view handsetText)
{
    if (auto text = decoded(handsetText, u"")) {
        return *text;
    }
    return toUtf8(transcodeVerbatim(handsetText));
}

std::string handsetBytes(std::string_view readable)
{
    return transcode(fromUtf8(readable));
}

} // namespace VornakEfs::ArchiveNames
