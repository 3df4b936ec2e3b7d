// The --json renderings of ls, stat, df and info: what the text verbs
// gather, as one JSON document on the output. The field names are kept
// stable for scripts; docs/vornak-efs.md lists them.
#pragma once

#include "tools/vornak-efs/Verbs.h"

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace VornakEfs {

// ls --json: {"files": [...], "directories": [{"path", "entries": [...]}]},
// written once the listing is whole.
class JsonListing final : public ListingOutput {
public:
    explicit JsonListing(std::ostream& out) : out_(out) {}
    void files(const std::vector<ListedName>& names) override { files_ = names; }
    void directory(const std::u16string& path, const std::vector<ListedName>& names) override
    {
        directories_.emplace_back(path, names);
    }
    void finish() override;

private:
    std::ostream& out_;
    std::vector<ListedName> files_;
    std::vector<std::pair<std::u16string, std::vector<ListedName>>> directories_;
};

// stat --json: an array with one object per operand.
void showAttributesJson(Session& session, const std::vector<std::string>& operands,
                        std::ostream& out);
// df --json: an array with one object per operand (default /).
void showFileSystemsJson(Session& session, const std::vector<std::string>& operands,
                         std::ostream& out);
// info --json: one object; a part the handset does not tell is null, with
// the reason beside it.
void showInfoJson(Session& session, std::ostream& out);

} // namespace VornakEfs
