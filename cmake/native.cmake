# The native side: pure-logic unit tests with sanitizers, and the registration
# of every Windows-side test so that one CTest run covers all tiers.
enable_testing()
find_package(GTest REQUIRED)

set(TAMSEL_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(tamsel_pure PRIVATE ${TAMSEL_SANITIZE} -Werror)
target_link_options(tamsel_pure PUBLIC ${TAMSEL_SANITIZE})

file(GLOB TAMSEL_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(tamsel_unit ${TAMSEL_NATIVE_TESTS})
target_compile_options(tamsel_unit PRIVATE ${TAMSEL_SANITIZE} -Wall -Wextra)
target_link_libraries(tamsel_unit PRIVATE tamsel_pure GTest::gtest_main)
add_test(NAME unit COMMAND tamsel_unit)
# The YUY2 conversion again on its narrower vector path and on the formula
# alone, which processors without those instructions take.
foreach(path ssse3 none)
    add_test(NAME unit.yuy2.${path} COMMAND tamsel_unit --gtest_filter=Yuy2ToBgr.*:StillImage.*)
    set_tests_properties(unit.yuy2.${path} PROPERTIES ENVIRONMENT TAMSEL_YUY2_SIMD=${path})
endforeach()

# Windows-side tests run under Wine, built by the cross trees named here.
set(TAMSEL_WIN64_DIR "" CACHE PATH "Build tree of the x86_64 Windows build")
set(TAMSEL_WIN32_DIR "" CACHE PATH "Build tree of the i686 Windows build")
if(TAMSEL_WIN64_DIR)
    include(${CMAKE_CURRENT_SOURCE_DIR}/cmake/winetests.cmake)
endif()

# Benchmarks, outside the default build and test run: scripts/bench.sh.
option(TAMSEL_BUILD_BENCH "Build the native benchmarks (needs libbenchmark-dev and libyuv-dev)" OFF)
if(TAMSEL_BUILD_BENCH AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
endif()
