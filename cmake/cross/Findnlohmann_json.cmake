# nlohmann_json for a cross build. A copy built for the target's root is taken when there is
# one; otherwise the build machine's headers serve, since the library is header only. They are
# staged alone into the build tree: the build machine's whole include folder on the target's
# include path would put its C library's headers before the target's.

find_package(nlohmann_json ${nlohmann_json_FIND_VERSION} CONFIG QUIET)
if(nlohmann_json_FOUND)
    return()
endif()

find_path(QVL_NLOHMANN_JSON_HOST_INCLUDE nlohmann/json.hpp
    PATHS /usr/include /usr/local/include
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

if(QVL_NLOHMANN_JSON_HOST_INCLUDE)
    set(_abi ${QVL_NLOHMANN_JSON_HOST_INCLUDE}/nlohmann/detail/abi_macros.hpp)
    if(NOT EXISTS ${_abi})
        set(_abi ${QVL_NLOHMANN_JSON_HOST_INCLUDE}/nlohmann/json.hpp)
    endif()
    foreach(_part MAJOR MINOR PATCH)
        file(STRINGS ${_abi} _line REGEX "#define NLOHMANN_JSON_VERSION_${_part} +[0-9]+")
        string(REGEX MATCH "[0-9]+" _number "${_line}")
        list(APPEND _version ${_number})
    endforeach()
    list(JOIN _version "." nlohmann_json_VERSION)
    unset(_version)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(nlohmann_json
    REQUIRED_VARS QVL_NLOHMANN_JSON_HOST_INCLUDE
    VERSION_VAR nlohmann_json_VERSION)

if(nlohmann_json_FOUND AND NOT TARGET nlohmann_json::nlohmann_json)
    set(_staged ${CMAKE_BINARY_DIR}/cross-include)
    file(COPY ${QVL_NLOHMANN_JSON_HOST_INCLUDE}/nlohmann DESTINATION ${_staged})
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${_staged})
endif()
