# Compiler settings shared by every target of the project: warnings, the
# sanitizer build and the Windows API level. Targets opt in by linking
# vornak::options.

add_library(vornak_options INTERFACE)
add_library(vornak::options ALIAS vornak_options)

target_compile_options(vornak_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Woverloaded-virtual
    -Wcast-align -Wconversion -Wnull-dereference -Wimplicit-fallthrough
    $<$<COMPILE_LANGUAGE:CXX>:-Wextra-semi>)

# COM interfaces have no virtual destructor by design, so -Wnon-virtual-dtor
# stays off; -Wdelete-non-virtual-dtor (in -Wall) still catches real misuse.

# Source file names in exception locations and assertions are relative to src/,
# whatever folder the build runs in.
target_compile_options(vornak_options INTERFACE
    "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/src/="
    "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")

if(VORNAK_WARNINGS_AS_ERRORS)
    target_compile_options(vornak_options INTERFACE -Werror)
endif()

if(VORNAK_SANITIZE)
    target_compile_options(vornak_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(vornak_options INTERFACE -fsanitize=address,undefined)
endif()

if(VORNAK_SANITIZE_THREAD)
    target_compile_options(vornak_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(vornak_options INTERFACE -fsanitize=thread)
endif()

if(WIN32)
    # Windows 7 API level; NOMINMAX keeps std::min and std::max usable.
    target_compile_definitions(vornak_options INTERFACE
        _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
endif()
