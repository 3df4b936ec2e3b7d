// Lists a handset from JScript through Vornak's dual interfaces, by ProgID.
//
//     cscript //nologo list-handset.js [seed-directory] [port-progid]
//
// The port is the built-in handset emulator ("Vornak.EmulatedPort"), filled
// from the seed directory, or any registered port given by ProgID (for a
// handset on a serial line, "Vornak.SerialPort", opened on COM3 below).
// Scripts cannot receive RecursiveDirList's result or GetEntry's values, which
// come back through out-parameters, so Vornak.ScriptTools reads them for the
// script.
var status = 0;
var port = null, folder = null, tools = null, listing = null;
try {
    var seed = WScript.Arguments.length > 0 ? WScript.Arguments.Item(0) : "";
    var progId = WScript.Arguments.length > 1 ? WScript.Arguments.Item(1) : "Vornak.EmulatedPort";

    port = new ActiveXObject(progId);
    if (progId == "Vornak.EmulatedPort" && seed != "") {
        WScript.Echo("seeded the emulated handset with " + port.Seed(seed) + " entries");
    } else if (progId == "Vornak.SerialPort") {
        port.Open("serial:COM3:115200");
    }

    folder = new ActiveXObject("Vornak.TavoEFSFolder");
    folder.Connect(port, 5000, "/", 19);
    tools = new ActiveXObject("Vornak.ScriptTools");
    listing = tools.ListRecursively(folder);

    WScript.Echo("Everything below " + folder.path + ": " + listing.Count + " entries");
    var bytes = 0;
    for (var i = 0; i < listing.Count; i++) {
        var entry = tools.Entry(listing, i);
        var size = entry.IsDirectory ? "" : String(entry.Size);
        while (size.length < 8) {
            size = " " + size;
        }
        WScript.Echo("  " + tools.ModeText(entry.Mode) + " " + size + "  " +
                     tools.TimeText(entry.ModificationTime) + "  " + entry.Name +
                     (entry.IsDirectory ? "/" : ""));
        if (!entry.IsDirectory) {
            bytes += entry.Size;
        }
    }
    WScript.Echo(bytes + " bytes in files");
} catch (e) {
    // A handset failure carries the device's error as help context.
    WScript.Echo("FAILED: 0x" + (e.number >>> 0).toString(16).toUpperCase() + " " + e.description);
    status = 1;
}
listing = null;
tools = null;
folder = null;
port = null;
CollectGarbage();
WScript.Quit(status);
