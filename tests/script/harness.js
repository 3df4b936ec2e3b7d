
// ---- The checks of every script test, appended to it when the build is
// configured. Only function declarations live here: they are hoisted, so the
// test above calls them before this part is reached.

// Runs the test's body (an exception that escapes it is a failure too), then
// writes "PASS" and ends with 0, or says how many checks failed and ends with 1.
function runTest(body) {
    try {
        body();
    } catch (e) {
        fail("uncaught exception: " + describeError(e));
    }
    CollectGarbage(); // the body's objects go before the script ends
    WScript.Echo(fail.count ? "FAIL: " + fail.count + " check(s) failed" : "PASS");
    WScript.Quit(fail.count ? 1 : 0);
}

function fail(what) {
    fail.count = (fail.count || 0) + 1;
    WScript.Echo("FAIL: " + what);
}

function checkEqual(actual, expected, what) {
    if (actual !== expected) {
        fail(what + ": got <" + actual + ">, expected <" + expected + ">");
    }
}

// Calls `body`, which must throw an error with the HRESULT `number`; returns
// the error (null when nothing or something else was thrown).
function checkThrows(body, number, what) {
    try {
        body();
    } catch (e) {
        if ((e.number >>> 0) === (number >>> 0)) {
            return e;
        }
        fail(what + ": threw " + describeError(e));
        return null;
    }
    fail(what + ": threw nothing");
    return null;
}

function describeError(e) {
    return "0x" + (e.number >>> 0).toString(16).toUpperCase() + " <" + e.description + ">";
}
