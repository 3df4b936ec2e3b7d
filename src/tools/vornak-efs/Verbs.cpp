#include "tools/vornak-efs/Verbs.h"

#include "diag/DeviceError.h"
#include "diag/Efs2Text.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/ModeChange.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <ostream>

namespace VornakEfs {

namespace {

// The permission bits of directories that mkdir makes.
constexpr std::uint16_t kDirectoryMode = 0755;

std::string sizeText(const Session::Attributes& attributes)
{
    return attributes.size ? std::to_string(*attributes.size) : "-";
}

// A link's target for a long listing; nothing when the handset will not
// tell it. The port failing stops the listing.
std::optional<std::u16string> linkTarget(Session& session, const std::u16string& path)
{
    try {
        return session.readLink(path);
    } catch (const Failure& e) {
        if (e.exitCode() != kHandsetFailure && e.exitCode() != kNotSupported) {
            throw;
        }
        return std::nullopt;
    }
}

ListedName listedName(Session& session, std::u16string name, std::u16string path,
                      const Session::Attributes& attributes, bool longListing)
{
    ListedName listed{std::move(name), std::move(path), attributes, std::nullopt};
    if (longListing && attributes.isLink()) {
        listed.target = linkTarget(session, listed.path);
    }
    return listed;
}

void listDirectory(Session& session, const std::u16string& path, bool longListing, bool recursive,
                   ListingOutput& output)
{
    Terminal::throwIfInterrupted();
    const std::vector<Session::Entry> entries = session.list(path);
    std::vector<ListedName> names;
    for (const auto& entry : entries) {
        names.push_back(listedName(session, entry.name, joinHandset(path, entry.name),
                                   entry.attributes, longListing));
    }
    output.directory(path, names);
    if (recursive) {
        for (const auto& entry : entries) {
            // Listed as it is, but a name that leads elsewhere is no way down.
            if (entry.isDirectory && !leavesDirectory(entry.name)) {
                listDirectory(session, joinHandset(path, entry.name), longListing, true, output);
            }
        }
    }
}

// Removes the directory `path` and all it holds: DELTREE, or, once the
// handset has shown it lacks that, a walk that removes name by name.
void removeTree(Session& session, const std::u16string& path, bool& withoutDelTree)
{
    Terminal::throwIfInterrupted();
    if (!withoutDelTree) {
        try {
            session.removeTree(path);
            return;
        } catch (const Failure& e) {
            if (e.exitCode() != kNotSupported) {
                throw;
            }
            withoutDelTree = true;
        }
    }
    for (const Session::Entry& entry : session.list(path)) {
        // A name the handset lists must stay one name: never a path that
        // leads elsewhere, nor the directory itself or the one above.
        if (leavesDirectory(entry.name)) {
            throw Failure(kHandsetFailure, "The handset listed the name " +
                                               quotedName(entry.name) + " in " +
                                               printableName(path) +
                                               ", which no file can have; stopped there");
        }
        const std::u16string child = joinHandset(path, entry.name);
        if (entry.isDirectory) {
            removeTree(session, child, withoutDelTree);
        } else {
            session.remove(child);
        }
    }
    session.removeDirectory(path);
}

// SIZE of truncate: digits, then K, M or G for binary multiples.
std::uint32_t parseSize(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
    int shift = -1;
    if (unit.empty()) {
        shift = 0;
    } else if (unit == "K" || unit == "k") {
        shift = 10;
    } else if (unit == "M") {
        shift = 20;
    } else if (unit == "G") {
        shift = 30;
    }
    if (error != std::errc() || end == text.data() || shift < 0) {
        throw Failure(kUsage, "'" + std::string(text) +
                                  "' is not a size: write bytes, or a number with K, M or G");
    }
    if (value > (std::uint64_t{std::numeric_limits<std::uint32_t>::max()} >> shift)) {
        throw Failure(kUsage, std::string(text) +
                                  " is more than a handset file can hold (4 GiB less one byte)");
    }
    return static_cast<std::uint32_t>(value << shift);
}

} // namespace

TextListing::TextListing(bool longListing, bool headers, std::ostream& out)
    : long_(longListing), headers_(headers), out_(out)
{
}

void TextListing::files(const std::vector<ListedName>& names)
{
    print(names);
    first_ = names.empty();
}

void TextListing::directory(const std::u16string& path, const std::vector<ListedName>& names)
{
    if (headers_) {
        out_ << (first_ ? "" : "\n") << printableName(path) << ":\n";
    }
    first_ = false;
    print(names);
}

void TextListing::print(const std::vector<ListedName>& names)
{
    if (!long_) {
        for (const auto& listed : names) {
            out_ << printableName(listed.name) << '\n';
        }
        return;
    }
    std::size_t width = 1;
    for (const auto& listed : names) {
        width = std::max(width, sizeText(listed.attributes).size());
    }
    for (const auto& listed : names) {
        const std::string size = sizeText(listed.attributes);
        std::string target;
        if (listed.attributes.isLink()) {
            target = " -> " + (listed.target ? printableName(*listed.target) : std::string("?"));
        }
        out_ << Diag::Efs2::modeText(listed.attributes.mode) << ' '
             << std::string(width - size.size(), ' ') << size << ' '
             << Diag::Efs2::timeText(listed.attributes.modificationTime, false) << ' '
             << printableName(listed.name) << target << '\n';
    }
}

bool listingHeaders(const std::vector<std::string>& operands, bool recursive)
{
    return recursive || operands.size() > 1;
}

void list(Session& session, const std::vector<std::string>& operands, bool longListing,
          bool recursive, ListingOutput& output)
{
    std::vector<std::u16string> paths;
    for (const std::string& operand : operands) {
        paths.push_back(handsetPath(operand));
    }
    if (paths.empty()) {
        paths.push_back(u"/");
    }
    // As ls does: the files first, then each directory under its own name.
    std::vector<ListedName> files;
    std::vector<std::u16string> directories;
    for (const std::u16string& path : paths) {
        const Session::Attributes attributes = session.stat(path, longListing);
        if (attributes.isDirectory()) {
            directories.push_back(path);
        } else {
            files.push_back(listedName(session, path, path, attributes, longListing));
        }
    }
    output.files(files);
    for (const std::u16string& directory : directories) {
        listDirectory(session, directory, longListing, recursive, output);
    }
    output.finish();
}

NameReport describeName(Session& session, const std::string& operand)
{
    NameReport report{handsetPath(operand), {}, std::nullopt};
    report.attributes = session.stat(report.path);
    if (report.attributes.isItem()) {
        // Item files are not opened; STAT tells their size, where the handset has it.
        try {
            const Session::Attributes followed = session.statFollowing(report.path);
            report.attributes.size = followed.size;
            report.attributes.linkCount = followed.linkCount;
        } catch (const Failure& e) {
            if (e.exitCode() != kNotSupported) {
                throw;
            }
        }
    }
    if (report.attributes.isLink()) {
        report.target = session.readLink(report.path);
    }
    return report;
}

void showAttributes(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    bool first = true;
    for (const std::string& operand : operands) {
        const NameReport report = describeName(session, operand);
        const Session::Attributes& attributes = report.attributes;
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", attributes.mode & 07777);
        out << (first ? "" : "\n") << printableName(report.path) << '\n'
            << "  type:     " << Diag::Efs2::modeTypeName(attributes.mode) << '\n'
            << "  mode:     " << mode << " (" << Diag::Efs2::modeText(attributes.mode) << ")\n";
        if (report.target) {
            out << "  target:   " << printableName(*report.target) << '\n';
        }
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

void removeFiles(Session& session, const std::vector<std::string>& operands, bool recursive)
{
    bool withoutDelTree = false;
    for (const std::string& operand : operands) {
        const std::u16string path = handsetPath(operand);
        if (!recursive) {
            session.remove(path);
            continue;
        }
        if (path == u"/") {
            throw Failure(kUsage, "rm -r / would empty the whole handset; name what is below it");
        }
        if (!session.stat(path, false).isDirectory()) {
            session.remove(path);
        } else {
            removeTree(session, path, withoutDelTree);
        }
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

void changeModes(Session& session, const std::string& mode,
                 const std::vector<std::string>& operands)
{
    const ModeChange change = ModeChange::parse(mode);
    // Every name first: a name that is missing changes nothing.
    std::vector<std::pair<std::u16string, std::uint16_t>> changes;
    for (const std::string& operand : operands) {
        const std::u16string path = handsetPath(operand);
        Session::Attributes attributes = session.stat(path, false);
        if (attributes.isLink() && change.isRelative()) {
            attributes = session.statFollowing(path); // the handset changes what it points to
        }
        changes.emplace_back(path, change.applyTo(attributes.mode));
    }
    for (const auto& [path, bits] : changes) {
        session.changeMode(path, bits);
    }
}

void makeLink(Session& session, const std::vector<std::string>& operands)
{
    const std::string& targetText = operands.at(0);
    if (targetText.empty()) {
        throw Failure(kUsage, "a link needs a target");
    }
    std::u16string target;
    try {
        target = fromUtf8(targetText);
    } catch (const std::invalid_argument&) {
        throw Failure(kUsage, "the target '" + targetText + "' is not valid UTF-8");
    }
    std::u16string link = handsetPath(operands.at(1));
    if (const auto existing = session.find(link); existing && existing->isDirectory()) {
        link = joinHandset(link, baseName(handsetPath(targetText)));
    }
    if (session.find(link)) {
        Session::refuse(Diag::Efs2::kExists, "making the link", link);
    }
    session.makeLink(target, link);
}

void showLinks(Session& session, const std::vector<std::string>& operands, std::ostream& out)
{
    for (const std::string& operand : operands) {
        const std::u16string path = handsetPath(operand);
        if (!session.stat(path, false).isLink()) {
            throw Failure(kHandsetFailure, toUtf8(path) + " is not a symbolic link");
        }
        out << printableName(session.readLink(path)) << '\n';
    }
}

void truncateFiles(Session& session, const std::string& size,
                   const std::vector<std::string>& operands)
{
    const std::uint32_t length = parseSize(size);
    for (const std::string& operand : operands) {
        session.truncate(handsetPath(operand), length);
    }
}

} // namespace VornakEfs
