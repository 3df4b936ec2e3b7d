// A handset folder of Vornak.dll on the emulated port, both created by ProgID
// from the script's apartment, and the whole tree listed with
// RecursiveDirList.
//
// The listing comes back through an [in, out] IUnknown**, and the
// enumerator's GetEntry answers through [out] parameters: JScript passes
// values only, and VBScript's by-reference VARIANTs meet a type mismatch in
// Wine's type-library Invoke, so no script reads either. The walk is checked
// through what the port carried instead.
//
// With the argument "listing-pending" the test checks only that a script
// cannot get RecursiveDirList's result itself: its [in, out] argument arrives
// as a null pointer (refused with E_POINTER) or as a copy that is thrown
// away, as Wine's type-library marshaler has it.
runTest(function () {
    var listingPending = WScript.Arguments.length > 0 &&
                         WScript.Arguments.Item(0) === "listing-pending";
    var HANDSET_ERROR = 0x80042190;
    var E_POINTER = 0x80004003;

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

    // Any object will do as the [in, out] argument; what the folder stores
    // there does not come back.
    var slot = {};
    if (listingPending) {
        try {
            folder.RecursiveDirList(slot);
        } catch (e) {
            checkEqual(e.number >>> 0, E_POINTER, "RecursiveDirList's refusal of a null result");
        }
        checkEqual(typeof slot.Count, "undefined", "the listing reaching the script");
        return;
    }

    function carried(command) {
        return port.RequestCount(command);
    }
    function listAndCount(command) {
        var before = carried(command);
        folder.RecursiveDirList(slot);
        return carried(command) - before;
    }

    checkEqual(listAndCount("OPENDIR"), 5, "directories opened by the listing");
    checkEqual(carried("CLOSEDIR"), 5, "directories closed by the listing");
    checkEqual(carried("READDIR"), 12, "reads: seven entries and one end per directory");
    checkEqual(port.OpenDirectories, 0, "directory handles left open");

    // The root's own open passes; the next one, of /nvm (the first
    // directory met), fails in the port and is forgiven: /nvm/num is never
    // opened.
    port.InjectFault("Latency", 0, "OPENDIR");
    port.InjectFault("PortFailure", 0x80004005, "OPENDIR");
    checkEqual(listAndCount("OPENDIR"), 4, "opens with /nvm failing in the port");
    checkEqual(port.PendingFaults, 0, "faults left");
    checkEqual(port.OpenDirectories, 0, "directory handles left open");

    // A read that fails ends the whole listing.
    port.InjectFault("ErrorResponse", 22, "READDIR");
    checkThrows(function () { folder.RecursiveDirList(slot); }, HANDSET_ERROR,
                "a listing whose READDIR fails");

    // So does a root that does not exist, named at the front of the description.
    folder.Connect(port, 5000, "/none", 19);
    var error = checkThrows(function () { folder.RecursiveDirList(slot); }, HANDSET_ERROR,
                            "a listing of a directory that does not exist");
    if (error) {
        checkEqual(error.description.indexOf("/none "), 0, "the description's start");
    }
});
