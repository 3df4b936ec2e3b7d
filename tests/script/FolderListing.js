// A handset folder of Vornak.dll on the emulated port, both created by ProgID
// from the script's apartment, and the whole tree listed through
// Vornak.ScriptTools.
//
// A script cannot list with RecursiveDirList itself: the listing comes back
// through an [in, out] IUnknown**, and the enumerator's GetEntry answers
// through [out] parameters, which JScript cannot receive. ScriptTools calls
// both for the script and returns the listing and its entries as objects.
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

    var tools = new ActiveXObject("Vornak.ScriptTools");
    var listing = tools.ListRecursively(folder);
    // One line for each entry: "d" or "-", its full path and, for files, its size.
    function lines() {
        var shown = [];
        for (var i = 0; i < listing.Count; ++i) {
            var entry = tools.Entry(listing, i);
            shown.push(tools.ModeText(entry.Mode).charAt(0) + " " + entry.Name +
                       (entry.IsDirectory ? "" : " " + entry.Size));
        }
        return shown.join(", ");
    }
    checkEqual(listing.Count, 7, "entries listed");
    checkEqual(lines(), "d /nvm, - /top.txt 3, d /zarn, d /nvm/num, d /zarn/d, " +
                        "- /nvm/num/mdn 7, - /zarn/d/x 3", "the entries, breadth first");
    checkEqual(port.RequestCount("OPENDIR"), 5, "directories opened");
    checkEqual(port.OpenDirectories, 0, "directory handles left open");

    // The folder's own elements, by their bare names.
    listing = tools.ListElements(folder);
    checkEqual(lines(), "d nvm, - top.txt 3, d zarn", "the folder's elements");

    // A root that does not exist fails, named at the front of the description.
    folder.Connect(port, 5000, "/none", 19);
    var error = checkThrows(function () { tools.ListRecursively(folder); }, HANDSET_ERROR,
                            "a listing of a directory that does not exist");
    checkEqual(error && error.description.indexOf("/none "), 0, "the description's start");
});
