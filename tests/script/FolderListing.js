// A handset folder of Vornak.dll on the emulated port, both created by ProgID
// from the script's apartment, and the whole tree listed through
// Vornak.ScriptTools.
//
// A script cannot list with RecursiveDirList itself: the listing comes back
// through an [in, out] IUnknown**, and the enumerator's GetEntry answers
// through [out] parameters. JScript passes values only, and VBScript's
// by-reference VARIANTs meet a type mismatch in Wine's type-library Invoke.
// ScriptTools calls both for the script and returns the listing and its
// entries as objects.
runTest(function () {
    var HANDSET_ERROR = 0x80042190;

    // Five directories with the root, seven entries below it.
    var port = new ActiveXObject("Vornak.EmulatedPort");
    port.MakeDirectory("/nvm/num");
    port.PutText("/nvm/num/mdn", "5551234");
    port.MakeDirectory("/zarn/d");
    port.PutBytes("/zarn/d/x", [1, 2, 3]);
    port.PutText("/top.txt", "top");

    var folder = new ActiveXObject("Vornak.TavoEFSFolder");
    folder.Connect(port, 5000, "/", 19);
    checkEqual(folder.path, "/", "the folder's path");
    checkEqual(port.RequestCount(), 0, "requests sent by Connect");

    var tools = new ActiveXObject("Vornak.ScriptTools");
    var listing = null;
    function carried(command) {
        return port.RequestCount(command);
    }
    function listAndCount(command) {
        var before = carried(command);
        listing = tools.ListRecursively(folder);
        return carried(command) - before;
    }
    // One line for each entry: its type as ModeText shows it, its full
    // path and, for files, its size.
    function lines() {
        var shown = [];
        for (var i = 0; i < listing.Count; ++i) {
            var entry = tools.Entry(listing, i);
            shown.push(tools.ModeText(entry.Mode).charAt(0) + " " + entry.Name +
                       (entry.IsDirectory ? "" : " " + entry.Size));
        }
        return shown.join(", ");
    }

    // RecursiveDirList called by the script itself walks the tree, but the
    // listing never reaches the script: its [in, out] argument is left as
    // it was.
    var slot = {};
    folder.RecursiveDirList(slot);
    checkEqual(slot.Count, undefined, "what RecursiveDirList gives a script");

    checkEqual(listAndCount("OPENDIR"), 5, "directories opened by the listing");
    checkEqual(carried("CLOSEDIR"), 10, "directories closed by both listings");
    checkEqual(carried("READDIR"), 24, "reads of both: seven entries and one end per directory");
    checkEqual(port.OpenDirectories, 0, "directory handles left open");
    checkEqual(listing.Count, 7, "entries listed");
    checkEqual(lines(), "d /nvm, - /top.txt 3, d /zarn, d /nvm/num, d /zarn/d, " +
                        "- /nvm/num/mdn 7, - /zarn/d/x 3", "the entries, breadth first");
    var entry = tools.Entry(listing, 1);
    checkEqual(tools.TypeName(entry.Type), "file", "the type of /top.txt");
    check(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/.test(tools.TimeText(entry.ModificationTime)),
          "the time of /top.txt in words");
    check(!isNaN(new Date(entry.Modified).getTime()), "the time of /top.txt as a date");

    // The root's own open passes; the next one, of /nvm (the first
    // directory met), fails in the port and is forgiven: /nvm/num is never
    // opened, and neither it nor what it holds is listed.
    port.InjectFault("Latency", 0, "OPENDIR");
    port.InjectFault("PortFailure", 0x80004005, "OPENDIR");
    checkEqual(listAndCount("OPENDIR"), 4, "opens with /nvm failing in the port");
    checkEqual(port.PendingFaults, 0, "faults left");
    checkEqual(port.OpenDirectories, 0, "directory handles left open");
    checkEqual(listing.Count, 5, "entries listed with /nvm failing");

    // The folder's own elements, by their bare names.
    listing = tools.ListElements(folder);
    checkEqual(lines(), "d nvm, - top.txt 3, d zarn", "the folder's elements");

    // A read that fails ends the whole listing.
    port.InjectFault("ErrorResponse", 22, "READDIR");
    checkThrows(function () { tools.ListRecursively(folder); }, HANDSET_ERROR,
                "a listing whose READDIR fails");

    // So does a root that does not exist, named at the front of the description.
    folder.Connect(port, 5000, "/none", 19);
    var error = checkThrows(function () { tools.ListRecursively(folder); }, HANDSET_ERROR,
                            "a listing of a directory that does not exist");
    if (error) {
        checkEqual(error.description.indexOf("/none "), 0, "the description's start");
    }
    checkThrows(function () { tools.Entry(listing, 3); }, HANDSET_ERROR, "an entry beyond Count");
});
