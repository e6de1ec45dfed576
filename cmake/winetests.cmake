# Windows-side tests, run under Wine. Each environment is a private prefix
# with its own virtual display, made by a fixture before its tests and torn
# down after them. Tests of one environment share its desktop and settings
# folder, so they never run at the same time.
set(TAMSEL_WINENV ${CMAKE_CURRENT_SOURCE_DIR}/scripts/winenv.sh)
set(TAMSEL_WINE_TEST ${CMAKE_CURRENT_SOURCE_DIR}/scripts/wine-test.sh)

function(tamsel_wine_env name)
    set(state ${CMAKE_BINARY_DIR}/wine/${name})
    add_test(NAME wineenv.${name}.start COMMAND ${TAMSEL_WINENV} start ${state} ${ARGN})
    set_tests_properties(wineenv.${name}.start PROPERTIES FIXTURES_SETUP wine_${name}
                         RESOURCE_LOCK wine_${name} TIMEOUT 300)
    add_test(NAME wineenv.${name}.stop COMMAND ${TAMSEL_WINENV} stop ${state})
    set_tests_properties(wineenv.${name}.stop PROPERTIES FIXTURES_CLEANUP wine_${name}
                         RESOURCE_LOCK wine_${name})
endfunction()

# tamsel_wine_test(NAME env exe [args...])
function(tamsel_wine_test name env exe)
    add_test(NAME ${name}
             COMMAND ${TAMSEL_WINE_TEST} ${CMAKE_BINARY_DIR}/wine/${env} ${exe} ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_${env}
                         RESOURCE_LOCK wine_${env} TIMEOUT 900
                         ENVIRONMENT "TAMSEL_EXE=${TAMSEL_WIN64_DIR}/Tamsel.exe;TAMSEL_VCAM_DLL=${TAMSEL_WIN64_DIR}/tools/vcam/tamsel_vcam.dll")
endfunction()

set(W64 ${TAMSEL_WIN64_DIR})

tamsel_wine_env(main --screen 1024x768)
tamsel_wine_env(small --screen 1024x600)
tamsel_wine_env(noaudio --screen 1024x768 --audio none)

if(EXISTS ${W64}/tests/win/tamsel_win_tests.exe)
    tamsel_wine_test(win.units main ${W64}/tests/win/tamsel_win_tests.exe)
    tamsel_wine_test(win.units.small_screen small ${W64}/tests/win/tamsel_win_tests.exe
                     --gtest_filter=*SmallScreen*)
endif()
if(EXISTS ${W64}/tests/capture/capture_tests.exe)
    tamsel_wine_env(capture --screen 1024x768)
    tamsel_wine_test(win.capture capture ${W64}/tests/capture/capture_tests.exe)
endif()
if(EXISTS ${W64}/tests/e2e/tamsel_e2e.exe)
    # GpsTest, SnapshotGpsTest, MainWindowGpsTest and GpsDialogTest need the receiver simulator: e2e.gps below.
    tamsel_wine_test(e2e main ${W64}/tests/e2e/tamsel_e2e.exe --gtest_filter=-GpsTest.*:SnapshotGpsTest.*:MainWindowGpsTest.*:GpsDialogTest.*)
    tamsel_wine_test(e2e.small_screen small ${W64}/tests/e2e/tamsel_e2e.exe --gtest_filter=*SmallScreen*)
    tamsel_wine_test(e2e.no_audio noaudio ${W64}/tests/e2e/tamsel_e2e.exe --gtest_filter=*NoAudio*)
endif()

include(${CMAKE_CURRENT_SOURCE_DIR}/tools/vcam/winetests.cmake OPTIONAL)

# GPS: simulated receivers (tools/gpssim, a native program) serve the
# environment's COM ports; the test program drives them through a control
# FIFO that with-gpssim.sh sets up around it.
add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/tools/gpssim ${CMAKE_BINARY_DIR}/tools/gpssim)
set(TAMSEL_NMEA_DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests/data/nmea)

# tamsel_gps_wine_test(NAME env exe [args...])
function(tamsel_gps_wine_test name env exe)
    add_test(NAME ${name}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/gpssim/with-gpssim.sh $<TARGET_FILE:gpssim>
                     ${CMAKE_BINARY_DIR}/wine/${env} ${TAMSEL_NMEA_DIR} --
                     ${TAMSEL_WINE_TEST} ${CMAKE_BINARY_DIR}/wine/${env} ${exe} ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_${env}
                         RESOURCE_LOCK wine_${env} TIMEOUT 900
                         ENVIRONMENT "TAMSEL_EXE=${TAMSEL_WIN64_DIR}/Tamsel.exe;TAMSEL_VCAM_DLL=${TAMSEL_WIN64_DIR}/tools/vcam/tamsel_vcam.dll")
endfunction()

if(EXISTS ${W64}/tests/gps/tamsel_gps_tests.exe)
    tamsel_wine_env(gps --screen 1024x768)
    tamsel_gps_wine_test(win.gps gps ${W64}/tests/gps/tamsel_gps_tests.exe)
    if(EXISTS ${W64}/tests/e2e/tamsel_e2e.exe)
        tamsel_gps_wine_test(e2e.gps gps ${W64}/tests/e2e/tamsel_e2e.exe --gtest_filter=GpsTest.*:SnapshotGpsTest.*:MainWindowGpsTest.*:GpsDialogTest.*)
    endif()
endif()
