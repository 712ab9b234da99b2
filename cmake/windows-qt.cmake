# The Windows programs: cross-compiled with MinGW-w64 (x86_64-w64-mingw32.cmake) against the
# static Qt that scripts/build-qt-windows builds from Debian's source into a cache folder
# outside the clone. KELVARA_QT_WINDOWS names another Qt for Windows instead.

if(DEFINED ENV{KELVARA_QT_WINDOWS})
    set(kelvara_qt_prefix "$ENV{KELVARA_QT_WINDOWS}")
else()
    execute_process(
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-qt-windows --print-prefix
        OUTPUT_VARIABLE kelvara_qt_prefix
        OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE kelvara_qt_result)
    if(NOT kelvara_qt_result EQUAL 0)
        message(FATAL_ERROR "scripts/build-qt-windows --print-prefix failed")
    endif()
endif()
if(NOT EXISTS "${kelvara_qt_prefix}/lib/cmake/Qt6/qt.toolchain.cmake")
    message(FATAL_ERROR
        "No Qt for Windows in ${kelvara_qt_prefix}: run scripts/build-qt-windows first "
        "(about 30 minutes on 2 cores, once per machine)")
endif()

# Qt's toolchain file sets up the search for its own packages and the host tools (moc, rcc,
# uic of qt6-base-dev-tools), then loads the MinGW toolchain of this project.
set(QT_CHAINLOAD_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_DIR}/x86_64-w64-mingw32.cmake)
include("${kelvara_qt_prefix}/lib/cmake/Qt6/qt.toolchain.cmake")
