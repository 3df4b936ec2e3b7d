#include "tools/vornak-efs/CommandLine.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <ostream>

namespace VornakEfs {

namespace {

constexpr const char* kDescription =
    "vornak-efs: browse and change the file system (EFS) of a handset through its\n"
    "diagnostic port, or of the built-in emulated handset.";

constexpr const char* kFooter = R"(Handset:
  --port serial:<device>[:<baud>]  a handset on a serial line: serial:/dev/ttyUSB0,
                                   serial:COM3:115200
  --port tcp:<host>:<port>         a handset's port forwarded to TCP: tcp:127.0.0.1:2500
                                   (the port may also come from the environment
                                   variable VORNAK_EFS_PORT)
  --emulator DIR                   the built-in handset, filled from the folder DIR;
                                   it lives as long as this one command does
                                   (see 'vornak-efs serve --help' to keep one running)
  --latency MS --baud N            make the built-in handset (--emulator or serve) as
                                   slow as one on a cable: each answer takes the round
                                   trip MS plus its bytes at N baud

Exit codes:
  0  success                       3  the port could not be opened
  1  the handset refused or failed 4  the port failed: no answer in time, line broken
  2  the command line is wrong     5  a file of this computer could not be read or written
  6  the handset does not support what the verb needs (it lacks the command)
  130  interrupted by Ctrl-C

Examples:
  vornak-efs --emulator ~/handset-copy ls -R /
  vornak-efs --port serial:/dev/ttyUSB0 get -r /nv/item_files backup
  vornak-efs --port serial:/dev/ttyUSB0 put settings.bin /data/)";

constexpr const char* kGlobalOptions =
    "The options of the handset (--port or --emulator, --subsys, --timeout,\n"
    "--listing-limit), -q and --json may stand before or after the verb;\n"
    "'vornak-efs --help' tells them.";

CLI::App* addVerb(CLI::App& app, const char* name, const char* description,
                  const std::string& footer = "")
{
    CLI::App* verb = app.add_subcommand(name, description);
    verb->group("Verbs");
    verb->footer(footer.empty() ? kGlobalOptions : footer + "\n\n" + kGlobalOptions);
    return verb;
}

constexpr const char* kVerbs = "ls, get, put, rm, mkdir, rmdir, mv, stat, chmod, ln, readlink, "
                               "truncate, md5sum, df, info, item, backup, restore, diff, serve or mount";

// What to say when no verb was recognised: the first word that is neither an
// option nor an option's value is taken for the verb meant.
std::string missingVerb(const std::vector<std::string>& arguments)
{
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--port" || word == "--emulator" || word == "--subsys" || word == "--timeout" ||
            word == "--latency" || word == "--baud" || word == "--listing-limit") {
            ++i;
        } else if (!word.empty() && word[0] != '-') {
            return "'" + word + "' is not a verb; the verbs are " + kVerbs;
        }
    }
    return std::string("name a verb: ") + kVerbs;
}

// The positional operands of a verb.
CLI::Option* operands(CLI::App* verb, Options& options, const char* name, const char* help)
{
    return verb->add_option(name, options.operands, help)->type_name("PATH");
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err)
{
    Options options;
    unsigned subsystem = options.subsystem;
    CLI::App app(kDescription, "vornak-efs");
    app.get_formatter()->label("SUBCOMMAND", "VERB");
    app.footer(kFooter);
    app.set_version_flag("--version", "vornak-efs " VORNAK_VERSION);
    app.require_subcommand(1);
    app.fallthrough(); // the global options may also follow the verb
    // Handset paths begin with "/": never take them for Windows-style options.
    app.allow_windows_style_options(false);

    app.add_option("--port", options.port,
                   "the handset's port: serial:<device>[:<baud>] or tcp:<host>:<port>")
        ->type_name("PORT");
    CLI::Option* emulator =
        app.add_option("--emulator", options.emulator,
                       "use the built-in emulated handset, filled from the folder DIR")
            ->type_name("DIR");
    app.get_option("--port")->excludes(emulator);
    app.add_option("--subsys", subsystem, "the diagnostic subsystem of the file system: 19 or 62")
        ->check(CLI::IsMember({19, 62}))
        ->capture_default_str();
    app.add_option("--timeout", options.timeoutMs,
                   "milliseconds each request may take, also the pause before a read is retried")
        ->check(CLI::Range(1u, 600000u))
        ->capture_default_str()
        ->type_name("MS");
    app.add_option("--listing-limit", options.listingLimit,
                   "the most entries one directory may list; a handset that lists more is "
                   "taken for one that never ends its listing")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 30))
        ->capture_default_str()
        ->type_name("N");
    app.add_flag("-q,--quiet", options.quiet, "no progress bars");
    app.add_flag("--json", options.json,
                 "ls, stat, df and info: one JSON document instead of text");
    CLI::Option* latency =
        app.add_option("--latency", options.latencyMs,
                       "the emulated handset's round trip on its modelled cable")
            ->check(CLI::Range(0u, 60000u))
            ->type_name("MS");
    CLI::Option* baud =
        app.add_option("--baud", options.baud,
                       "the rate of the emulated handset's modelled cable, 10 bits a byte")
            ->check(CLI::Range(50u, 100000000u))
            ->type_name("N");

    CLI::App* ls = addVerb(app, "ls", "list handset directories",
                           "Example: vornak-efs --emulator DIR ls -lR /");
    ls->add_flag("-l", options.longListing, "long listing: type and mode, size, modification time");
    ls->add_flag("-R", options.recursive, "list every directory below too");
    operands(ls, options, "path", "handset directories or files (default /)");

    CLI::App* get =
        addVerb(app, "get", "copy handset files to this computer",
                "As with cp, a destination that is a folder receives the files under their own "
                "names.\nExample: vornak-efs --port serial:/dev/ttyUSB0 get -r /nv nv-backup");
    get->add_flag("-r", options.recursive, "copy directories with everything below them");
    operands(get, options, "paths",
             "SOURCE... [DESTINATION]: handset paths, then a folder or file of this computer "
             "(default: the current folder)")
        ->required();

    CLI::App* put =
        addVerb(app, "put", "copy files of this computer to the handset",
                "As with cp, a destination that is a directory receives the files under their own "
                "names.\nExample: vornak-efs --port serial:/dev/ttyUSB0 put -r config /data");
    put->add_flag("-r", options.recursive, "copy folders with everything below them");
    operands(put, options, "paths",
             "SOURCE... [DESTINATION]: files or folders of this computer, then a handset path "
             "(default /)")
        ->required();

    CLI::App* rm =
        addVerb(app, "rm", "remove handset files, or with -r whole trees",
                "rm -r uses the handset's DELTREE where it has one, and removes name by\n"
                "name where it has not.\nExample: vornak-efs --emulator DIR rm -r /data/logs");
    rm->add_flag("-r,-R", options.recursive, "remove directories and everything below them");
    operands(rm, options, "paths", "handset files, or with -r also directories")->required();

    CLI::App* mkdir = addVerb(app, "mkdir", "make handset directories");
    mkdir->add_flag("-p", options.parents,
                    "make missing directories above too; an existing one is no error");
    operands(mkdir, options, "paths", "handset directories")->required();

    CLI::App* rmdir = addVerb(app, "rmdir", "remove empty handset directories");
    operands(rmdir, options, "paths", "handset directories")->required();

    CLI::App* mv = addVerb(app, "mv", "rename or move a handset file or directory");
    operands(mv, options, "paths",
             "SOURCE DESTINATION: handset paths; into DESTINATION when it is a directory")
        ->required()
        ->expected(2);

    CLI::App* stat = addVerb(app, "stat", "show what the handset tells of names");
    operands(stat, options, "paths", "handset paths")->required();

    CLI::App* chmod =
        addVerb(app, "chmod", "change the permission bits of handset names",
                "MODE is octal (644, 0755) or changes as chmod writes them (u+x, go-w, a=r).\n"
                "Every name is looked up first; a missing one changes nothing.\n"
                "Example: vornak-efs --port serial:/dev/ttyUSB0 chmod 600 /data/secret.bin");
    chmod->add_option("mode", options.mode, "the new mode, or the change")
        ->required()
        ->type_name("MODE");
    operands(chmod, options, "paths", "handset paths")->required();

    CLI::App* ln = addVerb(app, "ln", "make a symbolic link on the handset",
                           "The target is kept as written, relative or absolute; the link must "
                           "be a new name.\nExample: vornak-efs --emulator DIR ln -s "
                           "/data/settings.txt /settings");
    ln->add_flag("-s", options.symbolic, "a symbolic link (the only kind handsets have)");
    operands(ln, options, "paths",
             "TARGET LINK: what the link names, and the new name (or a directory for it)")
        ->required()
        ->expected(2);

    CLI::App* readlink = addVerb(app, "readlink", "show the targets of handset links");
    operands(readlink, options, "paths", "handset links")->required();

    CLI::App* truncate =
        addVerb(app, "truncate", "cut handset files to a size, or make them that long",
                "SIZE is in bytes, or with K, M or G (1024 based). A file that grows is filled\n"
                "with zeros; growing past the free space fails and changes nothing.\n"
                "Example: vornak-efs --emulator DIR truncate -s 0 /data/log.txt");
    truncate->add_option("-s,--size", options.size, "the new size")->required()->type_name("SIZE");
    operands(truncate, options, "paths", "handset files")->required();

    CLI::App* md5sum =
        addVerb(app, "md5sum", "show the MD5 digests the handset computes of its files",
                "With --check FILE, compares the one handset file with FILE of this computer:\n"
                "prints OK or FAILED, and exits with 1 when they differ.\n"
                "Examples: vornak-efs --port serial:/dev/ttyUSB0 md5sum /nv/item_files/mode\n"
                "          vornak-efs --port serial:/dev/ttyUSB0 md5sum --check mode.bin "
                "/nv/item_files/mode");
    md5sum
        ->add_option("--check", options.checkAgainst,
                     "compare the handset file with this file of this computer")
        ->type_name("FILE");
    operands(md5sum, options, "paths", "handset files")->required();

    CLI::App* df = addVerb(app, "df", "show the size and use of the handset's file system");
    operands(df, options, "paths", "handset paths whose file system to show (default /)");

    addVerb(app, "info", "show what the handset tells of itself: EFS2, limits, flash");

    CLI::App* item = addVerb(app, "item", "read or write the handset's item files",
                             "Item files are small (at most 1024 bytes), written and read whole.\n"
                             "Examples: vornak-efs --emulator DIR item get /nv/item_files/mode\n"
                             "          vornak-efs --emulator DIR item put mode.bin "
                             "/nv/item_files/mode");
    item->require_subcommand(1);
    CLI::App* itemGet = item->add_subcommand("get", "an item's bytes into a file, or the output");
    itemGet
        ->add_option("paths", options.operands,
                     "ITEM [FILE]: the handset item, then a file "
                     "of this computer (default: the output)")
        ->required()
        ->expected(1, 2);
    CLI::App* itemPut = item->add_subcommand("put", "a file of this computer as an item");
    itemPut
        ->add_option("paths", options.operands,
                     "FILE ITEM: a file of at most 1024 bytes, then the handset item")
        ->required()
        ->expected(2);

    CLI::App* backup = addVerb(
        app, "backup", "save whole handset trees into one archive (pax tar)",
        "The archive keeps every name (with the handset's own bytes), mode, modification time,\n"
        "symbolic link, empty directory and item file, for restore and diff. A name that cannot\n"
        "be read is reported and left out; the backup goes on, lists at the end what is missing\n"
        "and exits with a failure. "
        "Not available on Windows (no libarchive for that build).\n"
        "Example: vornak-efs --port serial:/dev/ttyUSB0 backup -o handset.tar");
    operands(backup, options, "paths", "handset directories or files (default /)");
    backup->add_option("-o,--output", options.output, "the archive to write")
        ->required()
        ->type_name("FILE.tar");
    backup->add_flag("--verify", options.verify,
                     "check every file against the handset's MD5SUM, where the handset has one");

    CLI::App* restore = addVerb(
        app, "restore", "put a backup back on the handset",
        "Writes directories, files, links, item files and modes below PATH (default /); each\n"
        "file under a temporary name first, renamed into place when it is whole. Names that would\n"
        "leave PATH are refused. The handset cannot set modification times: restored names get\n"
        "the handset's time. Not available on Windows (no libarchive for that build).\n"
        "Example: vornak-efs --port serial:/dev/ttyUSB0 restore --dry-run handset.tar");
    operands(restore, options, "paths", "FILE.tar [PATH]: the archive, then a handset directory")
        ->required()
        ->expected(1, 2);
    restore->add_flag("-n,--dry-run", options.dryRun, "print what would change, change nothing");
    restore->add_flag("--delete", options.deleteExtra,
                      "remove what the backup's directories do not hold; without it nothing is "
                      "removed");

    CLI::App* diff = addVerb(
        app, "diff", "compare a backup with the handset now",
        "One line for each difference: added, removed, content, mode, link, type. Exits with 0\n"
        "when there is none, 1 when there are. Modification times are not compared (a restore\n"
        "cannot set them). Not available on Windows (no libarchive for that build).\n"
        "Example: vornak-efs --port serial:/dev/ttyUSB0 diff handset.tar");
    operands(diff, options, "paths", "FILE.tar [PATH]: the archive, then a handset directory")
        ->required()
        ->expected(1, 2);

    CLI::App* serve = addVerb(
        app, "serve",
        "serve the emulated handset on a pseudo-terminal or TCP port until interrupted",
        "Prints where on the first line of the output: the terminal's path, which other\n"
        "invocations reach with --port serial:<that path>, or tcp:<host>:<port>, which they\n"
        "pass to --port as it is; all of them share the handset's files, one client at a time.\n"
        "The handset starts empty, or filled from --emulator DIR. Ctrl-C stops it.\n"
        "With --latency MS and --baud N each answer takes as long as on such a cable.\n"
        "Not available on Windows.\n"
        "Examples: vornak-efs serve --emulator DIR\n"
        "          vornak-efs serve --listen tcp:127.0.0.1:2500 --emulator DIR\n"
        "          vornak-efs serve --latency 1 --baud 115200 --emulator DIR");
    serve
        ->add_option("--listen", options.listen,
                     "listen on this TCP address instead of a pseudo-terminal; port 0 takes a "
                     "free one")
        ->type_name("tcp:HOST:PORT");

    CLI::App* mount = addVerb(
        app, "mount", "show the handset as a folder of this computer until unmounted (Linux)",
        "Every program then works on the handset's files: cp -r, diff -r, find, an editor.\n"
        "Without --foreground it goes on in the background once mounted. Ctrl-C (with\n"
        "--foreground) or 'fusermount3 -u MOUNTPOINT' ends it. After a crash, the folder\n"
        "answers 'Transport endpoint is not connected' until 'fusermount3 -u MOUNTPOINT'.\n"
        "Needs FUSE 3 (/dev/fuse and fusermount3); not available on Windows.\n"
        "Example: vornak-efs --port serial:/dev/ttyUSB0 mount ~/handset");
    mount->add_flag("--read-only", options.readOnly, "refuse every change");
    mount->add_flag("-f,--foreground", options.foreground,
                    "stay in the foreground, with messages on the error output");
    mount->add_option("-o", options.mountOptions, "a FUSE mount option, such as allow_other")
        ->type_name("OPTION")
        ->allow_extra_args(false);
    mount->add_option("--cache-seconds", options.cacheSeconds,
                      "how long what a listing told of names is reused; 0: never")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str()
        ->type_name("S");
    operands(mount, options, "mountpoint", "an empty folder of this computer")
        ->required()
        ->expected(1);

    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp& e) {
        return {std::nullopt, app.exit(e, out, err)};
    } catch (const CLI::CallForAllHelp& e) {
        return {std::nullopt, app.exit(e, out, err)};
    } catch (const CLI::CallForVersion& e) {
        return {std::nullopt, app.exit(e, out, err)};
    } catch (const CLI::ParseError& e) {
        err << "vornak-efs: "
            << (app.get_subcommands().empty() ? missingVerb(arguments) : std::string(e.what()))
            << "\nRun 'vornak-efs --help' for more.\n";
        return {std::nullopt, 2};
    }

    CLI::App* chosen = app.get_subcommands().front();
    options.verb = chosen->get_name();
    if (options.verb == "item") {
        options.itemAction = chosen->get_subcommands().front()->get_name();
    }
    options.subsystem = static_cast<std::uint8_t>(subsystem);
    options.useEmulator = emulator->count() > 0;
    const auto usage = [&](const std::string& message) {
        err << "vornak-efs: " << message << "\nRun 'vornak-efs --help' for more.\n";
        return ParsedCommandLine{std::nullopt, 2};
    };
    const bool modelsLine = latency->count() > 0 || baud->count() > 0;
    if (options.verb == "serve") {
        if (!options.port.empty()) {
            return usage("serve makes a port of its own; --port does not go with it");
        }
        return {options, 0};
    }
    if (modelsLine && !options.useEmulator) {
        return usage("--latency and --baud slow the emulated handset (--emulator DIR or serve); "
                     "a real port has its own");
    }
    if (options.verb == "md5sum" && !options.checkAgainst.empty() && options.operands.size() != 1) {
        return usage("md5sum --check compares one handset file with FILE");
    }
    if (options.json && options.verb != "ls" && options.verb != "stat" && options.verb != "df" &&
        options.verb != "info") {
        return usage("--json goes with ls, stat, df and info");
    }
    if (options.verb == "ln" && !options.symbolic) {
        return usage("handsets have symbolic links only: ln -s TARGET LINK");
    }
    if (options.port.empty() && !options.useEmulator) {
        if (const char* fromEnvironment = std::getenv("VORNAK_EFS_PORT")) {
            options.port = fromEnvironment;
        }
    }
    if (options.port.empty() && !options.useEmulator) {
        return usage("say which handset to use: --port serial:<device>[:<baud>] or "
                     "tcp:<host>:<port>, or --emulator DIR for the built-in one");
    }
    return {options, 0};
}

} // namespace VornakEfs
