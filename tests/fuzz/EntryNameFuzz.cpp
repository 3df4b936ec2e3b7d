// Any name a handset may list (UTF-16 from the input's byte pairs) through
// the check of the tools that make host files of listings. A name the check
// lets through must be exactly one plain name inside the destination folder,
// and the quoted form of any name must hold no control character, so that a
// message cannot drive the terminal.
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string name(size / 2, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) {
        name[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    for (const char16_t unit : VornakEfs::fromUtf8(VornakEfs::quotedName(name))) {
        require(unit >= 0x20 && (unit < 0x7F || unit > 0x9F));
    }
    if (VornakEfs::unsafeEntryName(name)) {
        return 0;
    }
    const std::filesystem::path destination = "/destination";
    const std::filesystem::path component = VornakEfs::hostPath(VornakEfs::toUtf8(name));
    const std::filesystem::path placed = destination / component;
    require(placed.parent_path() == destination);
    require(placed.filename() == component);
    require(component != "." && component != "..");
    return 0;
}
