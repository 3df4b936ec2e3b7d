#include "tools/vornak-efs/App.h"

#if defined(VORNAK_EFS_ARCHIVES)
#include "tools/vornak-efs/Backup.h"
#include "tools/vornak-efs/Restore.h"
#endif
#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Port.h"
#include "tools/vornak-efs/Serve.h"
#include "tools/vornak-efs/Session.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Transfer.h"
#include "tools/vornak-efs/Verbs.h"

#include <ostream>

namespace VornakEfs {

namespace {

// backup, restore and diff, where the build has them.
int runArchiveVerb(Session& session, const Options& options, std::FILE* progress,
                   std::ostream& out, std::ostream& err)
{
#if defined(VORNAK_EFS_ARCHIVES)
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
#else
    (void)session, (void)progress, (void)out;
    err << "vornak-efs: " << options.verb
        << " is not available in this build, which has no archive library (libarchive); use "
           "the Linux build\n";
    return kUsage;
#endif
}

int runVerb(const Options& options, std::ostream& out, std::ostream& err, std::FILE* terminal)
{
    if (options.verb == "serve") {
        return serve(options, out, err);
    }
    Session session(openPort(options, err), options.timeoutMs, options.subsystem);
    Terminal::catchInterrupts();
    TransferOptions transfer;
    transfer.recursive = options.recursive;
    transfer.progress = options.quiet ? nullptr : terminal;
    transfer.warnings = &err;

    if (options.verb == "ls") {
        list(session, options.operands, options.longListing, options.recursive, out);
    } else if (options.verb == "get") {
        get(session, options.operands, transfer);
    } else if (options.verb == "put") {
        put(session, options.operands, transfer);
    } else if (options.verb == "rm") {
        removeFiles(session, options.operands);
    } else if (options.verb == "mkdir") {
        makeDirectories(session, options.operands, options.parents);
    } else if (options.verb == "rmdir") {
        removeDirectories(session, options.operands);
    } else if (options.verb == "mv") {
        move(session, options.operands);
    } else if (options.verb == "stat") {
        showAttributes(session, options.operands, out);
    } else if (options.verb == "backup" || options.verb == "restore" ||
               options.verb == "diff") {
        return runArchiveVerb(session, options, transfer.progress, out, err);
    }
    return kSuccess;
}

} // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::FILE* terminal)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments, out, err);
    if (!parsed.options) {
        return parsed.exitCode;
    }
    int exitCode = kSuccess;
    try {
        exitCode = runVerb(*parsed.options, out, err, terminal);
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

} // namespace VornakEfs
