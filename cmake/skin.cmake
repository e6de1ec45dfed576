# The skin: every image of the "pic" folder, rendered from the SVG sources in
# skin/svg (written by skin/make_skin.py) into ${CMAKE_BINARY_DIR}/pic beside
# Tamsel.exe. The native tree checks the rendered folder of the win64 tree.

set(TAMSEL_SKIN_DIR ${CMAKE_CURRENT_SOURCE_DIR}/skin)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(WIN32)
    find_program(TAMSEL_RSVG rsvg-convert REQUIRED)  # Debian: librsvg2-bin
    find_program(TAMSEL_CJPEG cjpeg REQUIRED)        # Debian: libjpeg-turbo-progs

    file(GLOB TAMSEL_SKIN_SOURCES CONFIGURE_DEPENDS ${TAMSEL_SKIN_DIR}/svg/*.svg)
    set(TAMSEL_PIC_DIR ${CMAKE_BINARY_DIR}/pic)
    set(skin_outputs)
    foreach(src ${TAMSEL_SKIN_SOURCES})
        get_filename_component(svgname ${src} NAME)
        string(REGEX REPLACE "\\.svg$" "" name ${svgname})
        set(out ${TAMSEL_PIC_DIR}/${name})
        if(name MATCHES "\\.jpg$")
            # cjpeg reads no PNG: SVG -> PNG -> PPM -> JPEG
            set(tmp ${CMAKE_BINARY_DIR}/skin-tmp/${name})
            add_custom_command(OUTPUT ${out}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${TAMSEL_PIC_DIR} ${CMAKE_BINARY_DIR}/skin-tmp
                COMMAND ${TAMSEL_RSVG} -o ${tmp}.png ${src}
                COMMAND ${Python3_EXECUTABLE} ${TAMSEL_SKIN_DIR}/png2ppm.py ${tmp}.png ${tmp}.ppm
                COMMAND ${TAMSEL_CJPEG} -quality 92 -optimize -outfile ${out} ${tmp}.ppm
                DEPENDS ${src} ${TAMSEL_SKIN_DIR}/png2ppm.py ${TAMSEL_SKIN_DIR}/pngread.py
                COMMENT "Skin ${name}" VERBATIM)
        else()
            add_custom_command(OUTPUT ${out}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${TAMSEL_PIC_DIR}
                COMMAND ${TAMSEL_RSVG} -o ${out} ${src}
                DEPENDS ${src}
                COMMENT "Skin ${name}" VERBATIM)
        endif()
        list(APPEND skin_outputs ${out})
    endforeach()
    add_custom_target(tamsel_skin ALL DEPENDS ${skin_outputs})

    # The program file's own icon (Explorer, the Start menu, the uninstall
    # entry): the skin's application picture at the sizes Windows asks for.
    set(icon_dir ${CMAKE_BINARY_DIR}/icon)
    set(icon_src ${TAMSEL_SKIN_DIR}/svg/App.png.svg)
    set(icon_pngs)
    set(icon_steps)
    foreach(size 16 24 32 48 256)
        list(APPEND icon_pngs ${icon_dir}/app-${size}.png)
        list(APPEND icon_steps COMMAND ${TAMSEL_RSVG} -w ${size} -h ${size} -o ${icon_dir}/app-${size}.png ${icon_src})
    endforeach()
    add_custom_command(OUTPUT ${icon_dir}/Tamsel.ico
        COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
        ${icon_steps}
        COMMAND ${Python3_EXECUTABLE} ${TAMSEL_SKIN_DIR}/png2ico.py ${icon_dir}/Tamsel.ico ${icon_pngs}
        DEPENDS ${icon_src} ${TAMSEL_SKIN_DIR}/png2ico.py ${TAMSEL_SKIN_DIR}/pngread.py
        COMMENT "Program icon" VERBATIM)
    add_custom_target(tamsel_icon DEPENDS ${icon_dir}/Tamsel.ico)

    if(TARGET Tamsel)
        add_dependencies(Tamsel tamsel_skin tamsel_icon)
        set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/Tamsel.rc APPEND PROPERTY
                     OBJECT_DEPENDS ${icon_dir}/Tamsel.ico)
        set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/Tamsel.rc APPEND PROPERTY
                     INCLUDE_DIRECTORIES ${icon_dir})
    endif()
else()
    # The checker itself, against synthetic folders: a complete set passes,
    # each kind of fault is named.
    add_test(NAME skin.checker
             COMMAND ${Python3_EXECUTABLE} ${TAMSEL_SKIN_DIR}/check_skin_test.py)
    add_test(NAME skin.sources
             COMMAND ${Python3_EXECUTABLE} ${TAMSEL_SKIN_DIR}/check_sources.py)
    if(TAMSEL_WIN64_DIR)
        add_test(NAME skin.files
                 COMMAND ${Python3_EXECUTABLE} ${TAMSEL_SKIN_DIR}/check_skin.py ${TAMSEL_WIN64_DIR}/pic)
    endif()
endif()
