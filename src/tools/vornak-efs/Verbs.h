// The verbs that look at or change names on the handset: ls, stat, rm,
// mkdir, rmdir, mv, chmod, ln -s, readlink and truncate. Operands are handset
// paths as people type them.
#pragma once

#include "tools/vornak-efs/Session.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace VornakEfs {

// One name of a listing, as ls gathers it for either of its renderings.
struct ListedName {
    std::u16string name; // as listed; for an operand that is no directory, its path
    std::u16string path;
    Session::Attributes attributes;
    // A link's target, in long listings; empty when the handset would not tell it.
    std::optional<std::u16string> target;
};

// Where ls puts what it gathers: text as it comes, or one JSON document.
class ListingOutput {
public:
    virtual ~ListingOutput() = default;
    // The operands that are not directories, first and once.
    virtual void files(const std::vector<ListedName>& names) = 0;
    // One directory and its entries, in the order ls walks them.
    virtual void directory(const std::u16string& path, const std::vector<ListedName>& names) = 0;
    // After the last directory.
    virtual void finish() {}
};

// ls as text: names, or with `longListing` type and mode, size, modification
// time and a link's target; a header before each directory when `headers`.
class TextListing final : public ListingOutput {
public:
    TextListing(bool longListing, bool headers, std::ostream& out);
    void files(const std::vector<ListedName>& names) override;
    void directory(const std::u16string& path, const std::vector<ListedName>& names) override;

private:
    void print(const std::vector<ListedName>& names);

    bool long_;
    bool headers_;
    bool first_ = true;
    std::ostream& out_;
};

// Lists directories (the root when no operand is given) and names files
// into `output`: with sizes and link targets when `longListing`, and every
// directory below when `recursive`.
void list(Session& session, const std::vector<std::string>& operands, bool longListing,
          bool recursive, ListingOutput& output);
// Whether ls puts a header before each directory: with -R, or with more than one operand.
bool listingHeaders(const std::vector<std::string>& operands, bool recursive);

// Everything the handset tells of one name, as stat shows it.
struct NameReport {
    std::u16string path;
    Session::Attributes attributes;
    std::optional<std::u16string> target; // for links
};
NameReport describeName(Session& session, const std::string& operand);
// Shows everything the handset tells of each operand.
void showAttributes(Session& session, const std::vector<std::string>& operands, std::ostream& out);
// Removes files and links; with `recursive` also directories with all they
// hold: in one request where the handset has DELTREE, name by name otherwise.
void removeFiles(Session& session, const std::vector<std::string>& operands, bool recursive);
// Makes directories; with `parents`, also the missing ones above, and an
// existing directory is no failure.
void makeDirectories(Session& session, const std::vector<std::string>& operands, bool parents);
void removeDirectories(Session& session, const std::vector<std::string>& operands);
// mv SOURCE DESTINATION: into DESTINATION when it is a directory.
void move(Session& session, const std::vector<std::string>& operands);
// chmod MODE PATH...: every name is looked up before any is changed.
void changeModes(Session& session, const std::string& mode,
                 const std::vector<std::string>& operands);
// ln -s TARGET LINK: LINK, a new name, or a directory that receives the link
// under the target's last name.
void makeLink(Session& session, const std::vector<std::string>& operands);
// readlink PATH...: each link's target, a line each.
void showLinks(Session& session, const std::vector<std::string>& operands, std::ostream& out);
// truncate -s SIZE PATH...: SIZE in bytes, or with K, M or G (1024 based).
void truncateFiles(Session& session, const std::string& size,
                   const std::vector<std::string>& operands);

} // namespace VornakEfs
