# Interface definitions are written once, in IDL, and widl turns them into the
# C++ declarations for every build: on Windows beside the platform headers, on
# Linux beside the stand-in headers of src/platform/posix. The Windows builds
# also take type libraries and proxy code from the same files.

find_program(VORNAK_WIDL NAMES x86_64-w64-mingw32-widl i686-w64-mingw32-widl widl REQUIRED)
find_path(VORNAK_WINE_IDL_DIR unknwn.idl
    PATHS /usr/include/wine/wine/windows REQUIRED NO_CMAKE_FIND_ROOT_PATH)

set(VORNAK_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")

# vornak_idl_header(<idl file> <header path under the generated folder> <output variable>)
# The identifiers are defined by one source file that includes <initguid.h>
# before the generated header.
function(vornak_idl_header idl header out_var)
    get_filename_component(idl_path "${idl}" ABSOLUTE)
    set(output "${VORNAK_GENERATED_DIR}/${header}")
    add_custom_command(OUTPUT "${output}"
        COMMAND ${VORNAK_WIDL} -I "${VORNAK_WINE_IDL_DIR}" -I "${PROJECT_SOURCE_DIR}/src"
                -h -o "${output}" "${idl_path}"
        DEPENDS "${idl_path}"
        COMMENT "widl: ${header}"
        VERBATIM)
    set(${out_var} "${output}" PARENT_SCOPE)
endfunction()
