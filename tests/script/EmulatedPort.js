// The emulated port as a script sees it: created by ProgID, filled in code
// and from a host directory, its faults scripted and its counters read.
runTest(function () {
    var port = new ActiveXObject("Vornak.EmulatedPort");
    var E_INVALIDARG = 0x80070057;
    var HANDSET_ERROR = 0x80042190;

    port.PortId = 19;
    checkEqual(port.PortId, 19, "the identifier after PortId = 19");

    // Content built in code.
    port.MakeDirectory("/nvm/num");
    port.PutText("/nvm/num/mdn", "5551234");
    port.PutBytes("/nvm/raw", [0, 1, 254, 255]);
    checkEqual(port.GetText("/nvm/num/mdn"), "5551234", "text read back");
    checkEqual(new VBArray(port.GetBytes("/nvm/raw")).toArray().join(","), "0,1,254,255",
               "bytes read back");
    check(port.Exists("/nvm/num"), "a directory made in code exists");
    check(!port.Exists("/nvm/none"), "a name never made does not exist");
    checkThrows(function () { port.GetText("/nvm/none"); }, HANDSET_ERROR, "reading a missing file");
    checkThrows(function () { port.PutBytes("/nvm/bad", [256]); }, E_INVALIDARG,
                "a byte beyond 255");

    // A host directory made here replaces the whole tree.
    var fso = new ActiveXObject("Scripting.FileSystemObject");
    var host = fso.BuildPath(fso.GetSpecialFolder(2).Path, "vornak-script-seed");
    if (fso.FolderExists(host)) {
        fso.DeleteFolder(host, true);
    }
    fso.CreateFolder(host);
    fso.CreateFolder(fso.BuildPath(host, "pictures"));
    var file = fso.CreateTextFile(fso.BuildPath(host, "pictures\\note.txt"));
    file.Write("seeded");
    file.Close();
    checkEqual(port.Seed(host), 2, "entries seeded");
    fso.DeleteFolder(host, true);
    checkEqual(port.SeedSkipped, "", "nothing left out");
    checkEqual(port.GetText("/pictures/note.txt"), "seeded", "a seeded file");
    check(!port.Exists("/nvm"), "the tree built in code is gone");
    var refused = false;
    try {
        port.Seed(host);
    } catch (e) {
        refused = true;
    }
    check(refused, "seeding from a directory that is gone fails");
    check(port.Exists("/pictures/note.txt"), "a failed seed leaves the handset as it was");
    port.Clear();
    check(!port.Exists("/pictures"), "Clear empties the handset");

    // Faults wait for their request; nothing has been sent yet.
    port.InjectFault("ErrorResponse", 2, "READDIR");
    port.InjectFault("latency", 5);
    checkEqual(port.PendingFaults, 2, "faults waiting");
    port.ClearFaults();
    checkEqual(port.PendingFaults, 0, "faults after ClearFaults");
    checkThrows(function () { port.InjectFault("Exception", 0); }, E_INVALIDARG,
                "an exception across the module's boundary");
    checkThrows(function () { port.InjectFault("Latency", 5, "FORMAT"); }, E_INVALIDARG,
                "an unknown command");

    checkEqual(port.OpenDescriptors, 0, "descriptors open");
    checkEqual(port.OpenDirectories, 0, "directory handles open");
    checkEqual(port.RequestCount(), 0, "requests carried");
    checkEqual(port.RequestCount("EFS2_DIAG_OPENDIR"), 0, "OPENDIR requests carried");
    checkEqual(port.LogCount, 0, "log lines");
    checkThrows(function () { port.LogLine(0); }, 0x8002000B, "a log line that is not there");
});
