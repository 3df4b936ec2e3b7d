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

if(WIN32)
    # importlib("stdole2.tlb") is resolved in Wine's folder of Windows
    # libraries; widl reads the type library whatever the width of the build.
    find_path(VORNAK_STDOLE_DIR stdole2.tlb
        PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
              /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows
        REQUIRED NO_CMAKE_FIND_ROOT_PATH)
endif()

# widl looks a type used by the platform's records up in the imported type
# libraries only by the name it is used with. CLSID and IID, aliases of GUID,
# are not in stdole2.tlb, so widl would write an alias GUID and a record of its
# own, with a generated name, for tagSTATSTG's clsid where MIDL refers to
# stdole2's GUID. For the type library the aliases are GUID itself, under its
# own name; the headers keep the platform's declarations.
set(VORNAK_TYPELIB_GUID_NAMES -D__IID_DEFINED__ -DIID=GUID -DCLSID=GUID -DFMTID=GUID
    -DLPIID=GUID* -DLPCLSID=GUID* -DLPFMTID=GUID*)

# vornak_idl_typelib(<idl file> <type library path under the generated folder> <output variable>)
# The type library describes the build's width (SYS_WIN64 or SYS_WIN32).
function(vornak_idl_typelib idl tlb out_var)
    get_filename_component(idl_path "${idl}" ABSOLUTE)
    set(output "${VORNAK_GENERATED_DIR}/${tlb}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(width --win64)
    else()
        set(width --win32)
    endif()
    set(command ${VORNAK_WIDL} -I "${VORNAK_WINE_IDL_DIR}" -I "${PROJECT_SOURCE_DIR}/src"
                -L "${VORNAK_STDOLE_DIR}" ${width} ${VORNAK_TYPELIB_GUID_NAMES}
                -t -o "${output}" "${idl_path}")
    string(REPLACE ";" "|" command "${command}")
    add_custom_command(OUTPUT "${output}"
        COMMAND ${CMAKE_COMMAND} "-DCOMMAND=${command}" "-DOUTPUT=${output}"
                -P "${PROJECT_SOURCE_DIR}/cmake/VornakWidlTypelib.cmake"
        DEPENDS "${idl_path}" "${PROJECT_SOURCE_DIR}/cmake/VornakWidlTypelib.cmake"
        COMMENT "widl: ${tlb}"
        VERBATIM)
    set(${out_var} "${output}" PARENT_SCOPE)
endfunction()

# vornak_idl_identifiers(<idl file> <C source path under the generated folder> <output variable>)
# The C source defines every identifier the file declares, for clients that
# do not define them through <initguid.h>.
function(vornak_idl_identifiers idl source out_var)
    get_filename_component(idl_path "${idl}" ABSOLUTE)
    set(output "${VORNAK_GENERATED_DIR}/${source}")
    add_custom_command(OUTPUT "${output}"
        COMMAND ${VORNAK_WIDL} -I "${VORNAK_WINE_IDL_DIR}" -I "${PROJECT_SOURCE_DIR}/src"
                -u -o "${output}" "${idl_path}"
        DEPENDS "${idl_path}"
        COMMENT "widl: ${source}"
        VERBATIM)
    set(${out_var} "${output}" PARENT_SCOPE)
endfunction()
