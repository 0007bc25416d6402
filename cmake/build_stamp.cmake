# Run by every build (cmake -P): fills TEMPLATE with the version passed in and the current time,
# "DD-Mon-YYYY HH:MM", into OUTPUT. configure_file rewrites OUTPUT only when its text changes,
# so a build in the same minute as the one before recompiles and relinks nothing.
#
# Arguments: -DTEMPLATE=... -DOUTPUT=... -DQVL_VERSION=MAJOR.MINOR.PATCH.TWEAK
foreach(arg TEMPLATE OUTPUT QVL_VERSION)
    if(NOT DEFINED ${arg})
        message(FATAL_ERROR "build_stamp.cmake: ${arg} is not given")
    endif()
endforeach()

string(REPLACE "." ";" parts "${QVL_VERSION}")
list(LENGTH parts count)
if(NOT count EQUAL 4)
    message(FATAL_ERROR "build_stamp.cmake: the version '${QVL_VERSION}' has not four parts")
endif()
list(GET parts 0 QVL_VERSION_MAJOR)
list(GET parts 1 QVL_VERSION_MINOR)
list(GET parts 2 QVL_VERSION_PATCH)
list(GET parts 3 QVL_VERSION_TWEAK)

string(TIMESTAMP QVL_BUILD_TIME "%d-%b-%Y %H:%M")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
