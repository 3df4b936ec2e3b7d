# Windows programs of this build run under Wine, in a prefix of the build's
# own, so that ctest runs them like native programs.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VORNAK_WINE_ARCH 64)
else()
    set(VORNAK_WINE_ARCH 32)
endif()
set(VORNAK_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(VORNAK_WINE_RUN "${PROJECT_SOURCE_DIR}/cmake/wine/run")
set(VORNAK_WINE_SERVER "${PROJECT_SOURCE_DIR}/cmake/wine/server")
set(CMAKE_CROSSCOMPILING_EMULATOR "${VORNAK_WINE_RUN};${VORNAK_WINE_ARCH};${VORNAK_WINE_PREFIX}")
