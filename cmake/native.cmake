# The native side: pure-logic unit tests with sanitizers, and the registration
# of every Windows-side test so that one CTest run covers all tiers.
enable_testing()
find_package(GTest REQUIRED)

set(TAMSEL_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(tamsel_pure PRIVATE ${TAMSEL_SANITIZE} -Werror)
target_link_options(tamsel_pure PUBLIC ${TAMSEL_SANITIZE})
# stb_image_write's bit writer shifts its int accumulator left past the sign
# bit and keeps only the low bytes; GCC and Clang define that shift (two's
# complement), the sanitizer's shift-base check does not. Every other check
# stays on for that file.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/src/snapshot/QualityJpeg.cpp
                            PROPERTIES COMPILE_OPTIONS -fno-sanitize=shift-base)

file(GLOB TAMSEL_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(tamsel_unit ${TAMSEL_NATIVE_TESTS}
               ${CMAKE_CURRENT_SOURCE_DIR}/src/framework/XpCompat.cpp)
target_compile_options(tamsel_unit PRIVATE ${TAMSEL_SANITIZE} -Wall -Wextra)
target_link_libraries(tamsel_unit PRIVATE tamsel_pure GTest::gtest_main)
add_test(NAME unit COMMAND tamsel_unit)
# The YUY2 conversion again on its narrower vector path and on the formula
# alone, which processors without those instructions take.
foreach(path ssse3 none)
    add_test(NAME unit.yuy2.${path} COMMAND tamsel_unit --gtest_filter=Yuy2ToBgr.*:StillImage.*)
    set_tests_properties(unit.yuy2.${path} PROPERTIES ENVIRONMENT TAMSEL_YUY2_SIMD=${path})
endforeach()

# libFuzzer targets (fuzz/), built with clang as a project of their own; a
# short run of each in CTest from the seeds in fuzz/corpus, new inputs and
# any crash kept in the build tree. Longer runs by hand: see fuzz/README.md.
find_program(TAMSEL_CLANGXX NAMES clang++ clang++-14)
if(TAMSEL_CLANGXX)
    include(ExternalProject)
    set(TAMSEL_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz)
    ExternalProject_Add(tamsel_fuzz
        SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz
        BINARY_DIR ${TAMSEL_FUZZ_DIR}/build
        CMAKE_ARGS -DCMAKE_CXX_COMPILER=${TAMSEL_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
        INSTALL_COMMAND ""
        BUILD_ALWAYS ON)
    # tamsel_fuzz_test(NAME TARGET): seeds in fuzz/corpus/NAME.
    function(tamsel_fuzz_test name target)
        set(run ${TAMSEL_FUZZ_DIR}/${name})
        file(MAKE_DIRECTORY ${run}/corpus ${run}/crashes)
        add_test(NAME fuzz.${name}
                 COMMAND ${TAMSEL_FUZZ_DIR}/build/${target} -max_total_time=20 -timeout=10
                         -print_final_stats=1 -artifact_prefix=${run}/crashes/
                         ${run}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
        set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120)
    endfunction()
    tamsel_fuzz_test(still_image StillImageFuzz)
    tamsel_fuzz_test(nmea NmeaFuzz)
    tamsel_fuzz_test(exif_insert ExifInsertFuzz)
    tamsel_fuzz_test(jpeg_tables JpegTablesFuzz)
else()
    message(WARNING "clang++ not found: the fuzz targets are neither built nor run")
endif()

# Nothing in a Windows program may be imported that Windows XP or Server 2003
# lacks (tools/imports). The check is itself tested on a small program built
# here for both targets, with and without the XP stand-in.
set(TAMSEL_IMPORTS ${CMAKE_CURRENT_SOURCE_DIR}/tools/imports)
set(TAMSEL_IMPORT_CHECK ${TAMSEL_IMPORTS}/check-imports.sh ${TAMSEL_IMPORTS}/post-xp-functions.txt)
find_program(TAMSEL_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
find_program(TAMSEL_MINGW32_CXX i686-w64-mingw32-g++-posix)
if(TAMSEL_MINGW64_CXX AND TAMSEL_MINGW32_CXX)
    set(probes)
    foreach(arch x86_64 i686)
        set(cxx ${TAMSEL_MINGW64_CXX})
        if(arch STREQUAL i686)
            set(cxx ${TAMSEL_MINGW32_CXX})
        endif()
        foreach(form plain xp)
            set(sources ${TAMSEL_IMPORTS}/TickProbe.cpp)
            if(form STREQUAL xp)
                list(APPEND sources ${CMAKE_CURRENT_SOURCE_DIR}/src/framework/XpCompat.cpp)
            endif()
            set(probe ${CMAKE_BINARY_DIR}/imports/probe-${form}-${arch}.exe)
            add_custom_command(OUTPUT ${probe}
                COMMAND ${cxx} -std=c++17 -O2 -Wall -Wextra -D_WIN32_WINNT=0x0601
                        -I${CMAKE_CURRENT_SOURCE_DIR}/src -static -static-libgcc -static-libstdc++
                        ${sources} -o ${probe}
                DEPENDS ${sources} ${CMAKE_CURRENT_SOURCE_DIR}/src/framework/XpCompat.h
                COMMENT "Import probe ${form} ${arch}")
            list(APPEND probes ${probe})
        endforeach()
    endforeach()
    add_custom_target(tamsel_import_probes ALL DEPENDS ${probes})
    add_test(NAME imports.checker
             COMMAND ${TAMSEL_IMPORTS}/checker-test.sh ${TAMSEL_IMPORT_CHECK} ${CMAKE_BINARY_DIR}/imports)
endif()

# Windows-side tests run under Wine, built by the cross trees named here.
set(TAMSEL_WIN64_DIR "" CACHE PATH "Build tree of the x86_64 Windows build")
set(TAMSEL_WIN32_DIR "" CACHE PATH "Build tree of the i686 Windows build")
if(TAMSEL_WIN64_DIR)
    include(${CMAKE_CURRENT_SOURCE_DIR}/cmake/winetests.cmake)
    add_test(NAME imports.win64 COMMAND ${TAMSEL_IMPORT_CHECK} ${TAMSEL_WIN64_DIR}/Tamsel.exe)
    # The stand-in at work: timed waits of the threads runtime and the count
    # read through it, in the 64-bit probe (the environment runs 64-bit only).
    if(TARGET tamsel_import_probes)
        tamsel_wine_test(imports.xpcompat.run main ${CMAKE_BINARY_DIR}/imports/probe-xp-x86_64.exe)
    endif()
endif()
if(TAMSEL_WIN32_DIR)
    add_test(NAME imports.win32 COMMAND ${TAMSEL_IMPORT_CHECK} ${TAMSEL_WIN32_DIR}/Tamsel.exe)
endif()

# Benchmarks, outside the default build and test run: scripts/bench.sh.
option(TAMSEL_BUILD_BENCH "Build the native benchmarks (needs libbenchmark-dev and libyuv-dev)" OFF)
if(TAMSEL_BUILD_BENCH AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
endif()
