// Vornak.SerialPort as a script uses it with a handset on a USB cable: opened
// on the handset's COM port, handed to a folder, and the tree listed through
// Vornak.ScriptTools. The test's fixture serves the emulated handset on the
// COM port named by the first argument.
runTest(function () {
    var HANDSET_ERROR = 0x80042190;
    var FILE_NOT_FOUND = 0x80070002;
    var device = WScript.Arguments.Item(0);

    var port = new ActiveXObject("Vornak.SerialPort");
    var folder = new ActiveXObject("Vornak.TavoEFSFolder");
    var tools = new ActiveXObject("Vornak.ScriptTools");
    folder.Connect(port, 5000, "/", 19);

    // Until it is open the port refuses every request, and the folder
    // reports a port that failed (help context 533).
    checkThrows(function () { tools.ListRecursively(folder); }, HANDSET_ERROR,
                "a listing before Open");
    var missing = checkThrows(function () { port.Open("COM43"); }, FILE_NOT_FOUND,
                              "opening a port that is not there");
    if (missing) {
        checkEqual(missing.description.indexOf("there is no serial port COM43: "), 0,
                   "the description's start");
    }
    check(!port.IsOpen, "a port that failed to open is closed");

    port.Open("serial:" + device + ":115200");
    check(port.IsOpen, "the port is open");
    checkEqual(port.Device, device, "the port's device");
    checkEqual(port.Baud, 115200, "the port's baud rate");
    var listing = tools.ListRecursively(folder);
    var names = [];
    for (var i = 0; i < listing.Count; ++i) {
        names.push(tools.Entry(listing, i).Name);
    }
    checkEqual(names.sort().join(" "), "/data /data/log.txt /nvm /nvm/num /nvm/num/mdn /readme.txt",
               "the handset's tree over the line");
    check(port.BytesSent > 0 && port.BytesReceived > port.BytesSent, "bytes carried");
    checkEqual(port.BadFrames, 0, "damaged frames");

    port.Close();
    check(!port.IsOpen, "the port is closed");
});
