# What a user is handed, made by CPack from the install rules below (scripts/package.sh builds
# both): the Windows cross build gives qvl-VERSION-windows-x64.zip, the Linux build
# qvl-VERSION-linux-x86_64.tar.gz (with the Python package's wheel). Each unpacks into one folder
# of the same name.
set(QVL_EXAMPLE_WORKBOOK ${PROJECT_SOURCE_DIR}/examples/qvl-example.xlsx)

if(WIN32)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/QUICKSTART.txt.in
                   ${PROJECT_BINARY_DIR}/QUICKSTART.txt @ONLY NEWLINE_STYLE CRLF)
    install(TARGETS qvl_xll RUNTIME DESTINATION .)
    install(FILES ${QVL_EXAMPLE_WORKBOOK} ${PROJECT_BINARY_DIR}/QUICKSTART.txt DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(QVL_PACKAGE_SYSTEM windows-x64)
else()
    # qvl-host loads the qvl.xll beside it.
    install(TARGETS qvl_host_program qvl_xll RUNTIME DESTINATION bin LIBRARY DESTINATION bin)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples
            PATTERN __pycache__ EXCLUDE)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
    # The Python package's wheel, in a folder python/ of its own, made by pip from the source
    # tree as a user's own build would be (about a minute); `python3 -m pip install
    # python/qvl-*.whl` installs it for Debian's Python.
    if(TARGET qvl_python)
        install(CODE "execute_process(COMMAND \"${Python3_EXECUTABLE}\" -m pip wheel --quiet
                          --no-build-isolation --no-deps --no-index
                          --wheel-dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/python\"
                          \"${PROJECT_SOURCE_DIR}\"
                      COMMAND_ERROR_IS_FATAL ANY)")
    endif()
    set(CPACK_GENERATOR TGZ)
    set(QVL_PACKAGE_SYSTEM linux-x86_64)
endif()

set(CPACK_PACKAGE_NAME qvl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME qvl-${PROJECT_VERSION}-${QVL_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Calculator for swaps on the QVL credit index")
include(CPack)
