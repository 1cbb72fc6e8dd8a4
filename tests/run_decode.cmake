# Runs hx350-decode once and checks its exit code, and its standard output byte for byte or against a pattern.
#   -DTOOL=path        the built tool
#   -DARG1=, -DARG2=   its arguments (optional)
#   -DSTDIN=path       file fed to its standard input (optional; otherwise empty input)
#   -DOUTPUT=path      where its standard output is kept for inspection
#   -DEXPECTED=path    file its standard output must equal (optional)
#   -DEXPECTED_RC=n    exit code it must return
#   -DSTDOUT_MATCH=re, -DSTDERR_MATCH=re   patterns the outputs must contain (optional)

set(args)
if(DEFINED ARG1)
    list(APPEND args "${ARG1}")
endif()
if(DEFINED ARG2)
    list(APPEND args "${ARG2}")
endif()
if(NOT DEFINED STDIN)
    set(STDIN /dev/null)
endif()

execute_process(COMMAND "${TOOL}" ${args}
                INPUT_FILE "${STDIN}"
                OUTPUT_FILE "${OUTPUT}"
                ERROR_VARIABLE err
                RESULT_VARIABLE rc)

if(NOT "${rc}" STREQUAL "${EXPECTED_RC}")
    message(FATAL_ERROR "hx350-decode ${args} exited with ${rc}, expected ${EXPECTED_RC}; stderr: ${err}")
endif()
if(DEFINED EXPECTED)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT}" "${EXPECTED}" RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "output ${OUTPUT} differs from ${EXPECTED}")
    endif()
endif()
if(DEFINED STDOUT_MATCH)
    file(READ "${OUTPUT}" out)
    if(NOT out MATCHES "${STDOUT_MATCH}")
        message(FATAL_ERROR "stdout does not match '${STDOUT_MATCH}': ${out}")
    endif()
endif()
if(DEFINED STDERR_MATCH)
    if(NOT err MATCHES "${STDERR_MATCH}")
        message(FATAL_ERROR "stderr does not match '${STDERR_MATCH}': ${err}")
    endif()
endif()
