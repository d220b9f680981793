# Cross-compiling qiv and kestrel for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64, the POSIX-threads flavour, for std::thread and
# std::mutex). Libraries are looked for only under the mingw sysroot
# (libz-mingw-w64-dev puts zlib there); the header-only libraries that Debian
# ships for Linux are taken from /usr/include folder by folder (see
# cmake/windows.cmake), never the whole of /usr/include.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QIV_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${QIV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QIV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QIV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QIV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
