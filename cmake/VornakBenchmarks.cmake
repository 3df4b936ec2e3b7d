# Benchmark programs (native builds without sanitizers): Google Benchmark, and a
# replaced global operator new that counts heap allocations. They are built
# with the rest so they never rot; bench/run runs them and docs/performance.md
# records what they measured.

find_package(benchmark REQUIRED)

# vornak_add_benchmark(<name> SOURCES <files...> LIBRARIES <targets...>)
function(vornak_add_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} vornak_bench_support benchmark::benchmark
                                          vornak::options)
endfunction()
