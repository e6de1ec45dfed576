# Release packaging. In a Windows tree: "User Manual.pdf" rendered from
# docs/manual.md beside Tamsel.exe (the setup dialog opens it from there).
# In the native tree: the tests of the manual and of the installer
# (packaging/tamsel.nsi) under Wine. scripts/package.sh makes the packages.
set(TAMSEL_MANUAL_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/docs/manual.md)
set(TAMSEL_MANUAL_RENDER ${CMAKE_CURRENT_SOURCE_DIR}/packaging/manual/render-manual.py)
set(TAMSEL_MANUAL_CSS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/manual/manual.css)

if(WIN32)
    find_program(TAMSEL_WEASYPRINT weasyprint)
    if(TAMSEL_WEASYPRINT)
        file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/Tamsel.rc version_line
             REGEX "VALUE \"ProductVersion\"")
        string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+" TAMSEL_VERSION "${version_line}")
        # Screenshots are made by another step and may be missing; the
        # renderer leaves a missing one out.
        file(GLOB screenshots CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/screenshots/*.png)
        set(manual_pdf "${CMAKE_BINARY_DIR}/User Manual.pdf")
        add_custom_command(OUTPUT ${manual_pdf}
            COMMAND ${TAMSEL_MANUAL_RENDER} ${TAMSEL_MANUAL_SOURCE} ${manual_pdf}
                    --css ${TAMSEL_MANUAL_CSS} --version ${TAMSEL_VERSION}
            DEPENDS ${TAMSEL_MANUAL_SOURCE} ${TAMSEL_MANUAL_RENDER} ${TAMSEL_MANUAL_CSS}
                    ${screenshots} ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/Tamsel.rc
            COMMENT "User Manual.pdf"
            VERBATIM)
        add_custom_target(tamsel_manual ALL DEPENDS ${manual_pdf})
    else()
        message(STATUS "weasyprint not found: this tree gets no User Manual.pdf")
    endif()
elseif(TAMSEL_WIN64_DIR)
    set(tests ${CMAKE_CURRENT_SOURCE_DIR}/tests/packaging)
    add_test(NAME packaging.manual
             COMMAND ${tests}/manual-test.sh "${TAMSEL_WIN64_DIR}/User Manual.pdf"
                     ${TAMSEL_MANUAL_SOURCE} ${TAMSEL_MANUAL_RENDER}
                     ${CMAKE_BINARY_DIR}/packaging/manual)
    set_tests_properties(packaging.manual PROPERTIES TIMEOUT 120)

    tamsel_wine_env(packaging --screen 1024x768)
    add_test(NAME packaging.installer
             COMMAND ${tests}/installer-test.sh ${CMAKE_BINARY_DIR}/wine/packaging
                     ${CMAKE_CURRENT_SOURCE_DIR}/packaging/tamsel.nsi ${TAMSEL_WIN64_DIR}
                     ${CMAKE_BINARY_DIR}/packaging/installer)
    set_tests_properties(packaging.installer PROPERTIES FIXTURES_REQUIRED wine_packaging
                         RESOURCE_LOCK wine_packaging TIMEOUT 600)
endif()
