# GoogleTest for every build, and one way to register a test program.
#
# Natively the tests link Debian's GoogleTest and each test case is its own
# ctest entry. The Windows builds compile GoogleTest from Debian's source
# package with the cross compiler; each test program is one ctest entry that
# runs under Wine, inside the fixture that owns the build's wineserver.

include(GoogleTest)

if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(VORNAK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory("${VORNAK_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
    # The source tree defines the GTest:: names itself.

    add_executable(vornak-wine-probe "${PROJECT_SOURCE_DIR}/cmake/wine/probe.c")
    add_test(NAME wine.start
        COMMAND "${VORNAK_WINE_SERVER}" start ${VORNAK_WINE_ARCH} "${VORNAK_WINE_PREFIX}"
                $<TARGET_FILE:vornak-wine-probe>)
    add_test(NAME wine.stop
        COMMAND "${VORNAK_WINE_SERVER}" stop ${VORNAK_WINE_ARCH} "${VORNAK_WINE_PREFIX}")
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine SKIP_RETURN_CODE 77 TIMEOUT 600)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
else()
    find_package(GTest REQUIRED)
endif()

# vornak_add_test_program(<name> SOURCES <files...> LIBRARIES <targets...>)
function(vornak_add_test_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} vornak::options GTest::gmock GTest::gmock_main)
    target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
        set_tests_properties(${name} PROPERTIES
            FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 900)
    else()
        gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60)
    endif()
endfunction()
