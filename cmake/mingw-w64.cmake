# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads), its programs run under
# Wine: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake. Only the libraries without Qt are built
# (KINETRA_QT_FREE_DIRS in the top CMakeLists.txt); ctest runs their tests through wine_run.sh,
# in a Wine prefix of the build folder's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KINETRA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KINETRA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KINETRA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KINETRA_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KINETRA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config sees only the target's libraries (Debian has none of ours for MinGW).
set(ENV{PKG_CONFIG_LIBDIR} /usr/${KINETRA_MINGW}/lib/pkgconfig)

# The programs carry their runtime (libstdc++, libgcc, winpthreads), so Wine needs no DLL path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${CMAKE_BINARY_DIR}/wine)
