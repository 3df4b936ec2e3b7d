// The emulated port as a script sees it: created by ProgID, filled with a
// script's arrays and from a host directory, its faults scripted by name.
runTest(function () {
    var port = new ActiveXObject("Vornak.EmulatedPort");
    var E_INVALIDARG = 0x80070057;

    // A JScript array goes in as bytes and comes back as a VBArray.
    port.PutBytes("/nvm/raw", [0, 1, 254, 255]);
    checkEqual(new VBArray(port.GetBytes("/nvm/raw")).toArray().join(","), "0,1,254,255",
               "bytes read back");
    checkThrows(function () { port.PutBytes("/nvm/bad", [256]); }, E_INVALIDARG,
                "a byte beyond 255");
    checkThrows(function () { port.GetText("/nvm/none"); }, 0x80042190, "a missing file");

    // A host directory replaces the whole tree.
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
    checkEqual(port.GetText("/pictures/note.txt"), "seeded", "a seeded file");
    checkEqual(port.Exists("/nvm"), false, "the tree built before");

    // Faults are named as a script writes them, and wait for their request.
    port.InjectFault("latency", 5);
    port.InjectFault("ErrorResponse", 2, "READDIR");
    checkEqual(port.PendingFaults, 2, "faults waiting");
    checkThrows(function () { port.InjectFault("Latency", 5, "FORMAT"); }, E_INVALIDARG,
                "an unknown command");
});
