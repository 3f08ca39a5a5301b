# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMERE_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex, which GoogleTest uses.
set(CMAKE_C_COMPILER ${QUILLMERE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMERE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMERE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMERE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine in a prefix of the build tree's own, never the user's ~/.wine: the registry tests
# write the game's key there. Without Mono and Gecko a new prefix sets itself up without asking.
set(QUILLMERE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")
find_program(QUILLMERE_WINE NAMES wine wine64)
if(QUILLMERE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${QUILLMERE_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= ${QUILLMERE_WINE})
endif()
