#include "tools/vornak-efs/App.h"

#include "tools/vornak-efs/CommandLine.h"
#include "tools/vornak-efs/Failure.h"
#include "tools/vornak-efs/Mount.h"
#include "tools/vornak-efs/Port.h"
#include "tools/vornak-efs/Serve.h"
#include "tools/vornak-efs/Session.h"
#include "tools/vornak-efs/Terminal.h"
#include "tools/vornak-efs/Transfer.h"
#include "tools/vornak-efs/Verbs.h"

#include <ostream>

namespace VornakEfs {

namespace {

int runVerb(const Options& options, std::ostream& out, std::ostream& err, std::FILE* terminal)
{
    if (options.verb == "serve") {
        return serve(options, out, err);
    }
    if (options.verb == "mount") {
        return mount(options, err);
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
