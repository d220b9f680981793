# The Windows build's libraries (see cmake/mingw-w64-x86_64.cmake).
#
# OpenGL 1.1 and GLU are Windows' own opengl32 and glu32; zlib is the static
# libz.a of libz-mingw-w64-dev. The header-only libraries come from their
# Debian -dev packages for Linux: each one's folder is linked into a folder of
# the build, so that the cross compiler sees those headers and nothing else of
# /usr/include (whose C library headers are glibc's). toml++ is compiled into
# the show file reader (its Linux shared library is of no use here); stb gives
# PNG reading and writing and the Ogg Vorbis decoder.
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

set(QIV_HOST_INCLUDE /usr/include CACHE PATH "Where the Debian header-only libraries are")
set(QIV_WINDOWS_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
foreach(lib CLI nlohmann toml++ stb)
  if(NOT IS_DIRECTORY ${QIV_HOST_INCLUDE}/${lib})
    message(FATAL_ERROR "${QIV_HOST_INCLUDE}/${lib} is missing: install scripts/packages-windows.txt")
  endif()
  file(MAKE_DIRECTORY ${QIV_WINDOWS_HEADERS})
  file(CREATE_LINK ${QIV_HOST_INCLUDE}/${lib} ${QIV_WINDOWS_HEADERS}/${lib} SYMBOLIC)
endforeach()
set(STB_INCLUDE_DIR ${QIV_WINDOWS_HEADERS}/stb)

add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${QIV_WINDOWS_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${QIV_WINDOWS_HEADERS})
add_library(qiv_tomlplusplus INTERFACE IMPORTED)
target_include_directories(qiv_tomlplusplus SYSTEM INTERFACE ${QIV_WINDOWS_HEADERS})
target_compile_definitions(qiv_tomlplusplus INTERFACE TOML_HEADER_ONLY=1)

# One .exe each, with nothing but Windows' own DLLs beside it: libgcc,
# libstdc++ and winpthreads linked in. Windows headers without min/max macros.
add_link_options(-static -static-libgcc -static-libstdc++)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _USE_MATH_DEFINES)
add_compile_options("SHELL:-include ${PROJECT_SOURCE_DIR}/platform/win32/posix.h")
