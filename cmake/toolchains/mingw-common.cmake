# Cross build for Windows with mingw-w64, for the processor the including file names.
# The -posix variants of the compilers are required: the default -win32 thread
# model of Debian's GCC 12 has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
# CMAKE_SYSTEM_PROCESSOR is set by the file that includes this one.

set(VORNAK_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${VORNAK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNAK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VORNAK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORNAK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything links the GCC runtime and winpthread statically, so that the
# programs and the module run under Wine (or on Windows) without extra DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
