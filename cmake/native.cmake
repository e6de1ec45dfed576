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

# Windows-side tests run under Wine, built by the cross trees named here.
set(TAMSEL_WIN64_DIR "" CACHE PATH "Build tree of the x86_64 Windows build")
set(TAMSEL_WIN32_DIR "" CACHE PATH "Build tree of the i686 Windows build")
if(TAMSEL_WIN64_DIR)
    include(${CMAKE_CURRENT_SOURCE_DIR}/cmake/winetests.cmake)
endif()
