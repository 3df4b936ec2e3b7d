# Script tests: JScript files run by Wine's cscript in the build's prefix, as
# a script author would run them against the registered modules.
#
# Each test script calls runTest(function () { ... }) with the checks of
# tests/script/harness.js, which is appended to it at configure time (function
# declarations are hoisted, so the test keeps its own line numbers). The
# test passes when cscript exits 0 and the script's last line is "PASS".

set(VORNAK_SCRIPT_HARNESS "${PROJECT_SOURCE_DIR}/tests/script/harness.js")
set(VORNAK_REGSVR "${PROJECT_SOURCE_DIR}/cmake/wine/regsvr")

# vornak_add_registration_fixture(<fixture> <module target>)
# Tests <fixture>.register and <fixture>.unregister that register the module
# with regsvr32 in the build's prefix before the tests that require <fixture>
# and unregister it after them.
function(vornak_add_registration_fixture fixture module)
    set(wine_arguments "${VORNAK_WINE_RUN}" ${VORNAK_WINE_ARCH} "${VORNAK_WINE_PREFIX}")
    add_test(NAME ${fixture}.register
        COMMAND "${VORNAK_REGSVR}" ${wine_arguments} $<TARGET_FILE:${module}>)
    add_test(NAME ${fixture}.unregister
        COMMAND "${VORNAK_REGSVR}" ${wine_arguments} $<TARGET_FILE:${module}> /u)
    set_tests_properties(${fixture}.register PROPERTIES
        FIXTURES_SETUP ${fixture} FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 300)
    set_tests_properties(${fixture}.unregister PROPERTIES
        FIXTURES_CLEANUP ${fixture} FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 300)
endfunction()

# vornak_add_script_test(<name> SCRIPT <file.js> [FIXTURES <fixtures...>]
#                        [ARGUMENTS <arguments...>])
# Registers the script as ctest test script.<name>, run after the fixtures
# (the registrations it needs; the Wine fixture is always required). The
# arguments reach the script as WScript.Arguments.
function(vornak_add_script_test name)
    cmake_parse_arguments(ARG "" "SCRIPT" "FIXTURES;ARGUMENTS" ${ARGN})
    get_filename_component(source "${ARG_SCRIPT}" ABSOLUTE)
    # Written at configure time; a change to either file configures again.
    set(combined "${CMAKE_CURRENT_BINARY_DIR}/${name}.js")
    file(READ "${source}" body)
    file(READ "${VORNAK_SCRIPT_HARNESS}" harness)
    file(WRITE "${combined}" "${body}${harness}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        "${source}" "${VORNAK_SCRIPT_HARNESS}")
    add_test(NAME script.${name}
        COMMAND "${PROJECT_SOURCE_DIR}/cmake/wine/cscript" "${VORNAK_WINE_RUN}"
                ${VORNAK_WINE_ARCH} "${VORNAK_WINE_PREFIX}" "${combined}" ${ARG_ARGUMENTS})
    set_tests_properties(script.${name} PROPERTIES
        FIXTURES_REQUIRED "wine;${ARG_FIXTURES}" SKIP_RETURN_CODE 77 TIMEOUT 300)
endfunction()
