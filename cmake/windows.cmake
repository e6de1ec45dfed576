# The Windows side: the program, the Windows unit tests, the test driver and
# the end-to-end tests. Built with the MinGW-w64 toolchain files.
enable_language(RC)

set(TAMSEL_WIN_FLAGS -Wall -Wextra -Wno-unused-parameter)
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601
                        WINVER=0x0601)
# No MinGW runtime DLLs beside the program.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS "${CMAKE_SHARED_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")

# Everything of the program but its entry point, so tests can link it.
add_library(tamsel_core STATIC
    src/capture/DShowCapture.cpp
    src/capture/SampleGrabberCB.cpp
    src/framework/Debug.cpp
    src/review/PictureReview.cpp
    src/review/PreviewDlg.cpp
    src/ui/AppDescriptionDlg.cpp
    src/ui/KbcButton.cpp
    src/ui/MainButtons.cpp
    src/ui/MainPainter.cpp
    src/ui/SetupDlg.cpp
    src/ui/SkinImages.cpp
    src/framework/Dialog.cpp
    src/framework/Handles.cpp
    src/framework/Worker.cpp
    src/gps/AutoScan.cpp
    src/gps/ComPorts.cpp
    src/gps/GpsControl.cpp
    src/gps/GpsFix.cpp
    src/gps/GpsReader.cpp
    src/gps/GpsSettingDlg.cpp
    src/gps/SerialPort.cpp
    src/settings/DebugLog.cpp
    src/settings/SettingsStore.cpp
    src/shell/IdleClock.cpp
    src/shell/KeyHook.cpp
    src/shell/LivePreview.cpp
    src/shell/SetupControl.cpp
    src/shell/TamselDlg.cpp
    src/shell/TrayIcon.cpp
    src/snapshot/FlashControl.cpp
    src/snapshot/JpegEncoder.cpp
    src/snapshot/Snapshot.cpp
    src/snapshot/SnapshotWorker.cpp
    src/snapshot/StealthControls.cpp
)
target_include_directories(tamsel_core PUBLIC src)
target_compile_options(tamsel_core PRIVATE ${TAMSEL_WIN_FLAGS})
target_link_libraries(tamsel_core PUBLIC tamsel_pure user32 gdi32 comctl32 shell32 ole32
                      oleaut32 uuid strmiids gdiplus winmm wbemuuid version setupapi)
target_sources(tamsel_core INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/src/framework/XpCompat.cpp) # in every program: no GetTickCount64 import

add_executable(Tamsel WIN32 src/shell/TamselApp.cpp src/resources/Tamsel.rc)
target_compile_options(Tamsel PRIVATE ${TAMSEL_WIN_FLAGS})
target_link_libraries(Tamsel PRIVATE tamsel_core)
target_link_options(Tamsel PRIVATE -municode)
set_source_files_properties(src/resources/Tamsel.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/resources/Tamsel.exe.manifest)

option(TAMSEL_BUILD_TESTS "Build the Windows-side tests and test tools" ON)
if(TAMSEL_BUILD_TESTS)
    # GoogleTest from Debian's source package, built with the cross compiler.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# Test-side programs; each folder builds only once it exists.
set(TAMSEL_TEST_DIRS tools/driver tools/vcam tools/acamsim tests/win tests/capture tests/gps tests/e2e bench/win CACHE STRING
    "Test-side folders to build")
foreach(dir ${TAMSEL_TEST_DIRS})
    if(TAMSEL_BUILD_TESTS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()
