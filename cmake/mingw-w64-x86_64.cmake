# Cross-builds the Windows program on Linux with mingw-w64 (64-bit).
#
# The posix-threads flavour of the compiler is used because the engine relies on
# std::mutex and std::thread, which the win32-threads flavour of GCC 12 lacks.
# Everything is linked statically so that the program runs on a bare Windows
# machine without any runtime DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NORVANE_MINGW_PREFIX x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${NORVANE_MINGW_PREFIX}-gcc-posix ${NORVANE_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${NORVANE_MINGW_PREFIX}-g++-posix ${NORVANE_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NORVANE_MINGW_PREFIX}-windres REQUIRED)
set(CMAKE_ASM_COMPILER "${CMAKE_C_COMPILER}")

set(CMAKE_FIND_ROOT_PATH /usr/${NORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows test programs registered with CTest run under Wine when it is there.
find_program(NORVANE_WINE NAMES wine64 wine)
if(NORVANE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${NORVANE_WINE}")
endif()
