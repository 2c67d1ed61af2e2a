# Cross-building the layers without a window and quorbit-cli for 64-bit Windows with MinGW-w64 (the
# POSIX-threads flavour, which std::thread needs). Tests run under Wine (scripts/test-windows.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORBIT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORBIT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORBIT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORBIT_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORBIT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program links the compiler's run-time statically, so it runs on a Windows machine without MinGW.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(QUORBIT_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUORBIT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORBIT_WINE})
endif()
