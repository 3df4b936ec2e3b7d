# libFuzzer targets (the fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer). Every library of the build is compiled with
# coverage instrumentation; each target is also a ctest entry that runs a
# bounded number of inputs, starting from the seeds committed in
# tests/fuzz/corpus/<target>, with the dictionary of the protocol's constants
# that the target names. New inputs go to the build folder, never into the
# source tree; scripts/fuzz runs the targets for longer and merges what they
# find into the committed corpus. It reads the list of targets from
# fuzz-targets.txt in the build folder.

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (use the fuzz preset)")
endif()

target_compile_options(vornak_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_link_options(vornak_options INTERFACE -fsanitize=address,undefined)

set(VORNAK_FUZZ_RUNS 200000 CACHE STRING "Inputs each fuzz target runs under ctest")

set(VORNAK_FUZZ_MANIFEST "${CMAKE_BINARY_DIR}/fuzz-targets.txt")
file(WRITE "${VORNAK_FUZZ_MANIFEST}" "# target program seeds dictionary\n")

# vornak_add_fuzz_target(<name> SOURCES <files...> LIBRARIES <targets...>
#                        DICTIONARY <file in tests/fuzz> [RUNS <n>])
function(vornak_add_fuzz_target name)
    cmake_parse_arguments(ARG "" "RUNS;DICTIONARY" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT ARG_DICTIONARY)
        message(FATAL_ERROR "fuzz target ${name} names no DICTIONARY")
    endif()
    if(NOT ARG_RUNS)
        set(ARG_RUNS ${VORNAK_FUZZ_RUNS})
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} vornak::options)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(seeds "${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name}")
    set(found "${CMAKE_CURRENT_BINARY_DIR}/corpus/${name}")
    set(dictionary "${PROJECT_SOURCE_DIR}/tests/fuzz/${ARG_DICTIONARY}")
    file(MAKE_DIRECTORY "${found}")
    add_test(NAME fuzz.${name}
        COMMAND ${name} -runs=${ARG_RUNS} -seed=1 -max_len=4096 "-dict=${dictionary}"
                "${found}" "${seeds}")
    file(APPEND "${VORNAK_FUZZ_MANIFEST}"
        "${name} ${CMAKE_CURRENT_BINARY_DIR}/${name} ${seeds} ${dictionary}\n")
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 900)
endfunction()
