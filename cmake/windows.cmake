# The Windows build: qiv.exe and kestrel.exe over the win32 backends
# (platform/win32: window, WGL contexts, display mode; audio/win32: waveOut
# and stb_vorbis; shell/win32: the message pump and what the Linux build does
# with child processes). Included by CMakeLists.txt once the engine library is
# defined; nothing else of the Linux build (tests, benchmarks, packages) is
# made here. The tests of these programs run under Wine from the Linux build
# (tests/windows), and `./run windows` packs them (scripts/windows-zip).
#
# Left out: the kestrel tool's import and export (assimp is not built for
# mingw); qiv-mkdata (the archive's data is made by the Linux build).

# --- platform ----------------------------------------------------------------
# The GL entry points past 1.1 that the engine calls directly (see the file).
target_sources(kestrel PRIVATE platform/win32/gl/gl_entry.cpp)
qiv_module(kestrel_platform platform STATIC)
target_link_libraries(kestrel_platform PUBLIC kestrel OpenGL::GL gdi32 user32)

# --- demo modules -------------------------------------------------------------
qiv_module(qiv_audio audio STATIC)
target_link_libraries(qiv_audio PUBLIC kestrel Threads::Threads winmm)
qiv_module(qiv_ife ife STATIC)
target_link_libraries(qiv_ife PUBLIC kestrel)
qiv_module(qiv_shell shell STATIC)
target_link_libraries(qiv_shell PUBLIC kestrel kestrel_platform qiv_ife qiv_audio CLI11::CLI11
  PRIVATE qiv_tomlplusplus)
target_compile_definitions(qiv_shell PRIVATE QIV_DATA_FROM_BIN="data")

add_executable(qiv shell/main.cpp)
target_link_libraries(qiv PRIVATE qiv_shell)

# --- tools --------------------------------------------------------------------
file(GLOB kestrel_tool_srcs CONFIGURE_DEPENDS tools/kestrel/*.cpp)
list(FILTER kestrel_tool_srcs EXCLUDE REGEX "/cmd_import\\.cpp$")
add_executable(kestrel_tool ${kestrel_tool_srcs})
set_target_properties(kestrel_tool PROPERTIES OUTPUT_NAME kestrel)
target_compile_definitions(kestrel_tool PRIVATE KESTREL_NO_IMPORT=1)
target_link_libraries(kestrel_tool PRIVATE kestrel kestrel_platform qiv_ife qiv_audio
  CLI11::CLI11 nlohmann_json::nlohmann_json)

# support/child.cpp waits for POSIX children; the Windows build's child_scope,
# which has none to wait for, is platform/win32/child.cpp.
get_target_property(qiv_support_srcs kst_support SOURCES)
list(FILTER qiv_support_srcs EXCLUDE REGEX "/support/child\\.cpp$")
set_target_properties(kst_support PROPERTIES SOURCES "${qiv_support_srcs}")
