#include "tools/vornak-efs/Json.h"

#include "diag/Efs2Text.h"
#include "tools/vornak-efs/About.h"
#include "tools/vornak-efs/EntryName.h"
#include "tools/vornak-efs/Text.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ostream>
#include <stdexcept>

namespace VornakEfs {

namespace {

using json = nlohmann::ordered_json;

// A handset's name as JSON text. A name that is not valid UTF-16 (a hostile
// handset's unpaired surrogate) has no UTF-8 form, and JSON must be valid
// UTF-8: it is given escaped as ls shows it.
json nameText(std::u16string_view name)
{
    try {
        return toUtf8(name);
    } catch (const std::invalid_argument&) {
        return printableName(name);
    }
}

template <class Value>
json optionalValue(const std::optional<Value>& value)
{
    return value ? json(*value) : json(nullptr);
}

json optionalText(const std::optional<std::u16string>& text)
{
    return text ? nameText(*text) : json(nullptr);
}

// The fields every name has: times are the handset's seconds since 1970,
// which carry no time zone.
json nameObject(const std::u16string& path, const Session::Attributes& attributes,
                const std::optional<std::u16string>& target)
{
    char permissions[8];
    std::snprintf(permissions, sizeof permissions, "%04o", attributes.mode & 07777);
    return {
        {"path", nameText(path)},
        {"type", Diag::Efs2::modeTypeName(attributes.mode)},
        {"mode", attributes.mode},
        {"permissions", permissions},
        {"mode_text", Diag::Efs2::modeText(attributes.mode)},
        {"size", optionalValue(attributes.size)},
        {"links", optionalValue(attributes.linkCount)},
        {"accessed", attributes.accessTime},
        {"modified", attributes.modificationTime},
        {"changed", attributes.creationTime},
        {"target", attributes.isLink() ? optionalText(target) : json(nullptr)},
    };
}

json namesArray(const std::vector<ListedName>& names)
{
    json array = json::array();
    for (const ListedName& listed : names) {
        json object = {{"name", nameText(listed.name)}};
        object.update(nameObject(listed.path, listed.attributes, listed.target));
        array.push_back(std::move(object));
    }
    return array;
}

void write(const json& document, std::ostream& out)
{
    out << document.dump(2) << '\n';
}

} // namespace

void JsonListing::finish()
{
    json directories = json::array();
    for (const auto& [path, names] : directories_) {
        directories.push_back({{"path", nameText(path)}, {"entries", namesArray(names)}});
    }
    write({{"files", namesArray(files_)}, {"directories", std::move(directories)}}, out_);
}

void showAttributesJson(Session& session, const std::vector<std::string>& operands,
                        std::ostream& out)
{
    json array = json::array();
    for (const std::string& operand : operands) {
        const NameReport report = describeName(session, operand);
        array.push_back(nameObject(report.path, report.attributes, report.target));
    }
    write(array, out);
}

void showFileSystemsJson(Session& session, const std::vector<std::string>& operands,
                         std::ostream& out)
{
    json array = json::array();
    for (const FileSystemReport& report : describeFileSystems(session, operands)) {
        const Diag::Efs::FileSystemStatus& fs = report.status;
        array.push_back({
            {"path", nameText(report.path)},
            {"type", fs.type.empty() ? json(nullptr) : json(printableBytes(fs.type))},
            {"block_size", fs.blockSize},
            {"size", report.size},
            {"used", report.used},
            {"available", report.available},
            {"use_percent", optionalValue(report.usePercent)},
            {"files", fs.fileCount},
            {"max_files", fs.maxFileCount != 0 ? json(fs.maxFileCount) : json(nullptr)},
            {"max_file_size", fs.maxFileSize != 0 ? json(fs.maxFileSize) : json(nullptr)},
        });
    }
    write(array, out);
}

void showInfoJson(Session& session, std::ostream& out)
{
    const HandsetReport report = describeHandset(session);
    json document = {
        {"efs2",
         {{"subsystem", report.subsystem},
          {"version", report.hello.version},
          {"min_version", report.hello.minVersion},
          {"max_version", report.hello.maxVersion}}},
        {"limits", nullptr},
        {"limits_failure", report.limits ? json(nullptr) : json(report.limitsFailure)},
        {"flash", nullptr},
        {"flash_failure", report.device ? json(nullptr) : json(report.deviceFailure)},
    };
    // A limit of 0 or less is one the handset does not tell.
    const auto limit = [](std::int32_t value) { return value > 0 ? json(value) : json(nullptr); };
    if (const auto& l = report.limits) {
        document["limits"] = {
            {"max_name_length", limit(l->maxNameLength)},
            {"max_path_length", limit(l->maxPathLength)},
            {"max_file_size", limit(l->maxFileSize)},
            {"max_symlink_depth", limit(l->maxSymlinkDepth)},
            {"max_directories", limit(l->maxDirectories)},
            {"max_mounts", limit(l->maxMounts)},
        };
    }
    if (const auto& d = report.device) {
        document["flash"] = {
            {"kind", d->deviceType == Diag::Efs::DeviceInfo::kNandFlash  ? "NAND"
                     : d->deviceType == Diag::Efs::DeviceInfo::kNorFlash ? "NOR"
                                                                         : "unknown"},
            {"name", printableBytes(d->name)},
            {"maker_id", d->makerId},
            {"device_id", d->deviceId},
            {"blocks", d->totalBlocks},
            {"pages_per_block", d->pagesPerBlock},
            {"page_size", d->pageSize},
            {"size", flashBytes(*d)},
        };
    }
    write(document, out);
}

} // namespace VornakEfs
