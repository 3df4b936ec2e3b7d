#include "tools/vornak-efs/HandsetTree.h"

#include "diag/EFSLStat.h"
#include "lang/Transcode.h"
#include "tools/vornak-efs/ArchiveNames.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>

namespace VornakEfs {

std::string joinHandsetBytes(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

std::u16string requestPath(std::string_view handsetPath)
{
    return Lang::Platform::transcodeVerbatim(handsetPath);
}

std::u16string shownPath(std::string_view handsetPath)
{
    return fromUtf8(ArchiveNames::readableText(handsetPath));
}

std::vector<ListedEntry> listDirectory(Session& session, std::string_view handsetPath)
{
    const std::u16string request = requestPath(handsetPath);
    const std::vector<Marl::Common::EfsReadDirEntry> read =
        session.readDirectory(request, shownPath(handsetPath));
    std::vector<ListedEntry> entries;
    entries.reserve(read.size());
    for (const auto& found : read) {
        const bool directory = found.type() == Marl::Common::EfsReadDirEntry::kTypeDirectory ||
                               Diag::Efs2::isDirectoryMode(found.mode());
        // A handset may list its directory's own links; a walk must not follow them.
        if (directory && (found.handsetName() == "." || found.handsetName() == "..")) {
            continue;
        }
        ListedEntry entry{found.handsetName(), found.mode(), found.size(),
                          found.modificationTime()};
        if ((entry.mode & Diag::Efs2::kModeTypeMask) == 0) {
            // No type bits: ask for the mode itself rather than guess one.
            const std::string path = joinHandsetBytes(handsetPath, entry.name);
            std::uint32_t atime = 0, ctime = 0;
            session.attempt("looking up", shownPath(path), [&] {
                EFSLStat(session.port(), session.timeout(), session.subsystem())
                    .Execute(requestPath(path), entry.mode, atime, entry.modificationTime, ctime);
            });
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const ListedEntry& a, const ListedEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace VornakEfs
