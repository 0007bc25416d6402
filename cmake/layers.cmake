# The layers of the product and what each library may link, bottom first. A library may name
# only libraries declared before it, so the layers form no cycle; qvl_check_layers() then fails
# the configuration when a library links a qvl_ library its declaration does not allow, or when
# a qvl_ library has no declaration. Each library exposes only its own include root, so a
# layer can include only what it links.
#
#   qvl_layer(<library> [<allowed library>...])

set_property(GLOBAL PROPERTY QVL_LAYERS "")

function(qvl_layer library)
    get_property(declared GLOBAL PROPERTY QVL_LAYERS)
    foreach(allowed IN LISTS ARGN)
        if(NOT allowed IN_LIST declared)
            message(FATAL_ERROR "layers: ${library} may link only layers declared before it, "
                                "not ${allowed}")
        endif()
    endforeach()
    set_property(GLOBAL APPEND PROPERTY QVL_LAYERS ${library})
    set_property(GLOBAL PROPERTY QVL_LAYER_${library} "${ARGN}")
endfunction()

# Every target named qvl_* in the given folders and below.
function(qvl_collect_targets out)
    set(found "")
    foreach(dir IN LISTS ARGN)
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND found ${targets})
        if(subdirs)
            qvl_collect_targets(more ${subdirs})
            list(APPEND found ${more})
        endif()
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

function(qvl_check_layers)
    get_property(declared GLOBAL PROPERTY QVL_LAYERS)
    qvl_collect_targets(targets ${ARGN})
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(NOT target MATCHES "^qvl_" OR type STREQUAL "UTILITY")
            continue()
        endif()
        if(NOT target IN_LIST declared)
            message(FATAL_ERROR "layers: ${target} has no place in cmake/layers.cmake")
        endif()
        get_property(allowed GLOBAL PROPERTY QVL_LAYER_${target})
        set(links "")
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(items ${target} ${property})
            if(items)
                list(APPEND links ${items})
            endif()
        endforeach()
        # Names inside generator expressions ($<LINK_LIBRARY:...>, $<LINK_ONLY:...>) count too.
        string(REGEX MATCHALL "qvl_[A-Za-z0-9_]+" linked "${links}")
        list(REMOVE_DUPLICATES linked)
        foreach(library IN LISTS linked)
            if(NOT library IN_LIST allowed)
                message(FATAL_ERROR "layers: ${target} links ${library}, which is not below it "
                                    "(allowed: ${allowed})")
            endif()
        endforeach()
    endforeach()
endfunction()

qvl_layer(qvl_text)
qvl_layer(qvl_core qvl_text)
qvl_layer(qvl_objects qvl_core qvl_text)
qvl_layer(qvl_http qvl_objects qvl_core qvl_text)
qvl_layer(qvl_xll_api)
qvl_layer(qvl_xll_framework qvl_xll_api qvl_text)
qvl_layer(qvl_functions qvl_xll_framework qvl_http qvl_objects qvl_core)
qvl_layer(qvl_xll qvl_functions qvl_xll_framework)
qvl_layer(qvl_host qvl_xll_api qvl_text)
qvl_layer(qvl_host_cli qvl_host)
qvl_layer(qvl_host_program qvl_host_cli)
