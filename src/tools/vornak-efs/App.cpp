#include "tools/vornak-efs/App.h"

#include "tools/vornak-efs/About.h"
#if defined(VORNAK_EFS_ARCHIVES)
#include "tools/vornak-efs/Backup.h"
#include "tools/vornak-efs/Restore.h"
#endif
#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Items.h"
#include "tools/vornak-efs/Json.h"
#include "tools/vornak-efs/Mount.h"
#include "tools/vornak-efs/Port.h"
#include "tools/vornak-efs/Serve.h"
#include "tools/vornak-efs/Session.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Transfer.h"
#include "tools/vornak-efs/Verbs.h"

#include <functional>
#include <ostream>

namespace VornakEfs {

namespace {

// backup, restore and diff, where the build has them.
bool isArchiveVerb(const std::string& verb)
{
    return verb == "backup" || verb == "restore" || verb == "diff";
}

#if defined(VORNAK_EFS_ARCHIVES)
int runArchiveVerb(Session& session, const Options& options, std::FILE* progress,
                   std::ostream& out, std::ostream& err)
{
    if (options.verb == "backup") {
        return backup(session, {options.operands, options.output, options.verify, progress}, err);
    }
    RestoreOptions restoreOptions;
    restoreOptions.archive = options.operands.at(0);
    restoreOptions.destination = options.operands.size() > 1 ? options.operands[1] : "/";
    restoreOptions.dryRun = options.dryRun;
    restoreOptions.deleteExtra = options.deleteExtra;
    restoreOptions.progress = progress;
    if (options.verb == "diff") {
        return compare(session, restoreOptions, out, err);
    }
    return restore(session, restoreOptions, out, err);
}
#endif

using PortFor = std::function<Platform::ComPtr<IDiagPort>(const Options&)>;

int runVerb(const Options& options, const PortFor& portFor, std::ostream& out, std::ostream& err,
            std::FILE* terminal)
{
    if (options.verb == "serve") {
        return serve(options, out, err);
    }
#if !defined(VORNAK_EFS_ARCHIVES)
    if (isArchiveVerb(options.verb)) {
        // Said before the port is opened: no handset can help.
        err << "vornak-efs: " << options.verb
            << " is not available in this build, which has no archive library (libarchive); "
               "use the Linux build\n";
        return kUsage;
    }
#endif
    if (options.verb == "mount") {
        return mount(options, [&] { return portFor(options); }, err);
    }
    Session session(portFor(options), options.timeoutMs, options.subsystem,
                    options.listingLimit);
    Terminal::catchInterrupts();
    TransferOptions transfer;
    transfer.recursive = options.recursive;
    transfer.progress = options.quiet ? nullptr : terminal;
    transfer.warnings = &err;

    if (options.verb == "ls" && options.json) {
        JsonListing json(out);
        list(session, options.operands, true, options.recursive, json);
    } else if (options.verb == "ls") {
        TextListing text(options.longListing,
                         listingHeaders(options.operands, options.recursive), out);
        list(session, options.operands, options.longListing, options.recursive, text);
    } else if (options.verb == "stat" && options.json) {
        showAttributesJson(session, options.operands, out);
    } else if (options.verb == "df" && options.json) {
        showFileSystemsJson(session, options.operands, out);
    } else if (options.verb == "info" && options.json) {
        showInfoJson(session, out);
    } else if (options.verb == "get") {
        get(session, options.operands, transfer);
    } else if (options.verb == "put") {
        put(session, options.operands, transfer);
    } else if (options.verb == "rm") {
        removeFiles(session, options.operands, options.recursive);
    } else if (options.verb == "mkdir") {
        makeDirectories(session, options.operands, options.parents);
    } else if (options.verb == "rmdir") {
        removeDirectories(session, options.operands);
    } else if (options.verb == "mv") {
        move(session, options.operands);
    } else if (options.verb == "stat") {
        showAttributes(session, options.operands, out);
    } else if (options.verb == "chmod") {
        changeModes(session, options.mode, options.operands);
    } else if (options.verb == "ln") {
        makeLink(session, options.operands);
    } else if (options.verb == "readlink") {
        showLinks(session, options.operands, out);
    } else if (options.verb == "truncate") {
        truncateFiles(session, options.size, options.operands);
    } else if (options.verb == "md5sum" && !options.checkAgainst.empty()) {
        checkDigest(session, options.checkAgainst, options.operands.front(), out);
    } else if (options.verb == "md5sum") {
        showDigests(session, options.operands, out);
    } else if (options.verb == "df") {
        showFileSystems(session, options.operands, out);
    } else if (options.verb == "info") {
        showInfo(session, out);
    } else if (options.verb == "item" && options.itemAction == "get") {
        getItem(session, options.operands, out);
    } else if (options.verb == "item") {
        putItem(session, options.operands);
    }
#if defined(VORNAK_EFS_ARCHIVES)
    if (isArchiveVerb(options.verb)) {
        return runArchiveVerb(session, options, transfer.progress, out, err);
    }
#endif
    return kSuccess;
}

int runWith(const PortFor& portFor, const std::vector<std::string>& arguments, std::ostream& out,
            std::ostream& err, std::FILE* terminal)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments, out, err);
    if (!parsed.options) {
        return parsed.exitCode;
    }
    int exitCode = kSuccess;
    try {
        exitCode = runVerb(*parsed.options, portFor, out, err, terminal);
    } catch (const Failure& e) {
        out.flush();
        err << "vornak-efs: " << e.what() << '\n';
        exitCode = e.exitCode();
    } catch (const std::exception& e) {
        out.flush();
        err << "vornak-efs: " << e.what() << '\n';
        exitCode = kHandsetFailure;
    }
    out.flush();
    return exitCode;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::FILE* terminal)
{
    return runWith([&](const Options& options) { return openPort(options, err); }, arguments, out,
                   err, terminal);
}

int runOn(Platform::ComPtr<IDiagPort> port, const std::vector<std::string>& arguments,
          std::ostream& out, std::ostream& err, std::FILE* terminal)
{
    return runWith([&](const Options&) { return port; }, arguments, out, err, terminal);
}

} // namespace VornakEfs
