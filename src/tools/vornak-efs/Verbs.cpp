#include "tools/vornak-efs/Verbs.h"

#include "diag/Efs2Text.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace VornakEfs {

namespace {

// The permission bits of directories that mkdir makes.
constexpr std::uint16_t kDirectoryMode = 0755;

std::string sizeText(const Session::Attributes& attributes)
{
    return attributes.size ? std::to_string(*attributes.size) : "-";
}

void printEntries(const std::vector<Session::Entry>& entries, bool longListing, std::ostream& out)
{
    if (!longListing) {
        for (const auto& entry : entries) {
            out << printableName(entry.name) << '\n';
        }
        return;
    }
    std::size_t width = 1;
    for (const auto& entry : entries) {
        width = std::max(width, sizeText(entry.attributes).size());
    }
    for (const auto& entry : entries) {
        const std::string size = sizeText(entry.attributes);
        out << Diag::Efs2::modeText(entry.attributes.mode) << ' '
            << std::string(width - size.size(), ' ') << size << ' '
            << Diag::Efs2::timeText(entry.attributes.modificationTime, false) << ' '
            << printableName(entry.name) << '\n';
    }
}

void listDirectory(Session& session, const std::u16string& path, bool longListing, bool recursive,
                   bool header, bool& first, std::ostream& out)
{
    Terminal::throwIfInterrupted();
    const std::vector<Session::Entry> entries = session.list(path);
    if (header) {
        out << (first ? "" : "\n") << toUtf8(path) << ":\n";
    }
    first = false;
    printEntries(entries, longListing, out);
    if (recursive) {
        for (const auto& entry : entries) {
            if (entry.isDirectory) {
                listDirectory(session, joinHandset(path, entry.name), longListing, true, true,
                              first, out);
            }
        }
    }
}

} // namespace

void list(Session& session, const std::vector<std::string>& operands, bool longListing,
          bool recursive, std::ostream& out)
{
    std::vector<std::u16string> paths;
    for (const std::string& operand : operands) {
        paths.push_back(handsetPath(operand));
    }
    if (paths.empty()) {
        paths.push_back(u"/");
    }
    // As ls does: the files first, then each directory under its own name.
    std::vector<Session::Entry> files;
    std::vector<std::u16string> directories;
    for (const std::u16string& path : paths) {
        Session::Attributes attributes = session.stat(path, longListing);
        if (attributes.isDirectory()) {
            directories.push_back(path);
        } else {
            files.push_back({path, false, attributes});
        }
    }
    printEntries(files, longListing, out);
    bool first = files.empty();
    const bool headers = recursive || paths.size() > 1;
    for (const std::u16string& directory : directories) {
        listDirectory(session, directory, longListing, recursive, headers, first, out);
    }
}

void showAttributes(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    bool first = true;
    for (const std::string& operand : operands) {
        const std::u16string path = handsetPath(operand);
        const Session::Attributes attributes = session.stat(path);
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", attributes.mode & 07777);
        out << (first ? "" : "\n") << toUtf8(path) << '\n'
            << "  type:     " << Diag::Efs2::modeTypeName(attributes.mode) << '\n'
            << "  mode:     " << mode << " (" << Diag::Efs2::modeText(attributes.mode) << ")\n";
        if (attributes.size) {
            out << "  size:     " << *attributes.size << " bytes\n";
        }
        if (attributes.linkCount) {
            out << "  links:    " << *attributes.linkCount << '\n';
        }
        out << "  accessed: " << Diag::Efs2::timeText(attributes.accessTime, true) << '\n'
            << "  modified: " << Diag::Efs2::timeText(attributes.modificationTime, true) << '\n'
            << "  changed:  " << Diag::Efs2::timeText(attributes.creationTime, true) << '\n';
        first = false;
    }
}

void removeFiles(Session& session, const std::vector<std::string>& operands)
{
    for (const std::string& operand : operands) {
        session.remove(handsetPath(operand));
    }
}

void makeDirectories(Session& session, const std::vector<std::string>& operands, bool parents)
{
    for (const std::string& operand : operands) {
        const std::u16string path = handsetPath(operand);
        if (!parents) {
            session.makeDirectory(path, kDirectoryMode);
            continue;
        }
        // Each directory from the top down; those that exist are passed by.
        for (std::size_t slash = path.find(u'/', 1);; slash = path.find(u'/', slash + 1)) {
            const std::u16string step = path.substr(0, slash);
            const auto existing = session.find(step);
            if (!existing) {
                session.makeDirectory(step, kDirectoryMode);
            } else if (!existing->isDirectory()) {
                throw Failure(kHandsetFailure, "Not a directory (device error 20) making " +
                                                   toUtf8(path) + ": " + toUtf8(step) +
                                                   " is a file");
            }
            if (slash == std::u16string::npos) {
                break;
            }
        }
    }
}

void removeDirectories(Session& session, const std::vector<std::string>& operands)
{
    for (const std::string& operand : operands) {
        session.removeDirectory(handsetPath(operand));
    }
}

void move(Session& session, const std::vector<std::string>& operands)
{
    const std::u16string from = handsetPath(operands.at(0));
    std::u16string to = handsetPath(operands.at(1));
    if (const auto existing = session.find(to); existing && existing->isDirectory()) {
        to = joinHandset(to, baseName(from));
    }
    session.rename(from, to);
}

} // namespace VornakEfs
