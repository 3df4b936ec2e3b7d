# Runs widl to make a type library (cmake -P, from vornak_idl_typelib).
#   -DCOMMAND=<widl and its arguments, separated by |> -DOUTPUT=<type library>
# widl 7 warns "duplicate uuid" when it meets a type library identifier twice
# and then writes a corrupt entry (a wrong library identifier among others):
# that warning fails the build instead of leaving a library that registers
# under the wrong identifier.
string(REPLACE "|" ";" command "${COMMAND}")
execute_process(COMMAND ${command} RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR errors MATCHES "duplicate uuid")
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "widl failed or wrote a corrupt type library:\n${errors}")
endif()
