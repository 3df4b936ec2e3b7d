
// ---- The checks of every script test, appended to it when the build is
// configured. Only function declarations live here: they are hoisted, so the
// test above calls them before this part is reached.

// Runs the test's body, then writes "PASS" and ends with 0, or writes how
// many checks failed and ends with 1. An exception that escapes the body is a
// failure too; the body's objects are released before the script ends.
function runTest(body) {
    try {
        body();
    } catch (e) {
        fail("uncaught exception: " + describeError(e));
    }
    CollectGarbage();
    if (fail.count) {
        WScript.Echo("FAIL: " + fail.count + " check(s) failed");
        WScript.Quit(1);
    }
    WScript.Echo("PASS");
    WScript.Quit(0);
}

function fail(what) {
    fail.count = (fail.count || 0) + 1;
    WScript.Echo("FAIL: " + what);
}

function check(condition, what) {
    if (!condition) {
        fail(what);
    }
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
        fail(what + ": threw " + describeError(e) + ", expected " + hex(number));
        return null;
    }
    fail(what + ": threw nothing, expected " + hex(number));
    return null;
}

function hex(number) {
    return "0x" + (number >>> 0).toString(16).toUpperCase();
}

function describeError(e) {
    return hex(e.number) + " <" + e.description + ">";
}
