# libFuzzer targets (the fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer). Every library of the build is compiled with
# coverage instrumentation; each target is also a ctest entry that runs a
# bounded number of inputs, starting from the seeds committed in
# tests/fuzz/corpus/<target>. New inputs go to the build folder, never into the
# source tree.

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (use the fuzz preset)")
endif()

target_compile_options(vornak_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(vornak_options INTERFACE -fsanitize=address,undefined)

set(VORNAK_FUZZ_RUNS 200000 CACHE STRING "Inputs each fuzz target runs under ctest")

# vornak_add_fuzz_target(<name> SOURCES <files...> LIBRARIES <targets...> [RUNS <n>])
function(vornak_add_fuzz_target name)
    cmake_parse_arguments(ARG "" "RUNS" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT ARG_RUNS)
        set(ARG_RUNS ${VORNAK_FUZZ_RUNS})
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} vornak::options)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(seeds "${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name}")
    set(found "${CMAKE_CURRENT_BINARY_DIR}/corpus/${name}")
    file(MAKE_DIRECTORY "${found}")
    add_test(NAME fuzz.${name}
        COMMAND ${name} -runs=${ARG_RUNS} -seed=1 -max_len=4096 "${found}" "${seeds}")
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 900)
endfunction()
