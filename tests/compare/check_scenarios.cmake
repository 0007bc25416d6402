# cmake -DHOST=qvl-host -DSCRIPT=scenarios.py -DOUT=file -DEXPECTED=sha256 -P check_scenarios.cmake
execute_process(COMMAND /usr/bin/python3 ${SCRIPT} ${HOST} ${OUT} COMMAND_ERROR_IS_FATAL ANY)
file(SHA256 ${OUT} actual)
if(NOT actual STREQUAL EXPECTED)
    message(FATAL_ERROR "the answers in ${OUT} changed (sha256 ${actual}); compare them with "
                        "those of the build before the change")
endif()
