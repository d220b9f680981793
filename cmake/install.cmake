# Installing qiv and Kestrel like any Linux program, in three components:
#
#   qiv    the demo, its man page and the default production data
#   tools  the kestrel command and qiv-mkdata with their man pages
#   dev    libkestrel.a and libkestrel_platform.a, the headers under
#          include/kestrel, the CMake package (find_package(Kestrel)) and
#          the pkg-config modules kestrel, kestrel-platform and kestrel-import
#
# `cmake --install` installs all three; `cpack` (./run package) turns each into
# a Debian package: qiv, kestrel-tools and libkestrel-dev. The production data
# is made by qiv-mkdata while installing, not while building, so an ordinary
# build costs nothing extra; it is remade only when qiv-mkdata changed.

# --- programs ------------------------------------------------------------------
install(TARGETS qiv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT qiv)
install(TARGETS kestrel_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
if(TARGET qiv-mkdata)
  install(TARGETS qiv-mkdata RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

  set(qiv_pkgdata ${PROJECT_BINARY_DIR}/package-data)
  install(CODE "
    set(stamp \"${qiv_pkgdata}.stamp\")
    set(mkdata \"$<TARGET_FILE:qiv-mkdata>\")
    if(NOT EXISTS \"\${stamp}\" OR \"\${mkdata}\" IS_NEWER_THAN \"\${stamp}\")
      message(STATUS \"Making the production data with qiv-mkdata\")
      file(REMOVE_RECURSE \"${qiv_pkgdata}\")
      execute_process(COMMAND \"\${mkdata}\" \"${qiv_pkgdata}\" --quiet RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR \"qiv-mkdata failed with status \${status}\")
      endif()
      file(TOUCH \"\${stamp}\")
    endif()" COMPONENT qiv)
  install(DIRECTORY ${qiv_pkgdata}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qiv/data COMPONENT qiv)
endif()

# --- man pages: one scdoc source each, converted and compressed while building ---
find_program(SCDOC_PROGRAM scdoc)
find_program(GZIP_PROGRAM gzip)
set(QIV_MAN_DIR ${PROJECT_BINARY_DIR}/man)
# component, section, page: qiv(1) and the show file's format qiv-show(5) go
# with qiv, the tools' pages with the tools.
set(qiv_man_pages qiv 1 qiv tools 1 kestrel tools 1 qiv-mkdata qiv 5 qiv-show)
set(qiv_man_outputs)
if(SCDOC_PROGRAM AND GZIP_PROGRAM)
  while(qiv_man_pages)
    list(POP_FRONT qiv_man_pages component section page)
    set(src ${PROJECT_SOURCE_DIR}/docs/man/${page}.${section}.scd)
    set(out ${QIV_MAN_DIR}/${page}.${section})
    add_custom_command(OUTPUT ${out} ${out}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QIV_MAN_DIR}
      COMMAND ${SCDOC_PROGRAM} < ${src} > ${out}
      COMMAND ${GZIP_PROGRAM} -9nf -k ${out}
      DEPENDS ${src} VERBATIM)
    list(APPEND qiv_man_outputs ${out} ${out}.gz)
    install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  endwhile()
  add_custom_target(man_pages ALL DEPENDS ${qiv_man_outputs})
else()
  message(WARNING "scdoc or gzip not found: the man pages are not built (apt-get install scdoc)")
endif()

# --- the engine as a package ---------------------------------------------------
set(kestrel_inc ${CMAKE_INSTALL_INCLUDEDIR}/kestrel)
install(TARGETS kestrel kestrel_platform kestrel_import EXPORT KestrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES engine/kestrel.h ${QIV_GENERATED_DIR}/kestrel_version.h
  DESTINATION ${kestrel_inc} COMPONENT dev)
# Whole module folders, so a new engine module's headers install with no edit here.
foreach(dir engine support platform)
  install(DIRECTORY ${dir}/ DESTINATION ${kestrel_inc}/${dir} COMPONENT dev
    FILES_MATCHING PATTERN "*.h" PATTERN "kestrel.h" EXCLUDE PATTERN "*_internal.h" EXCLUDE
    PATTERN "win32" EXCLUDE)  # the Windows backend's headers are not the Linux package's
endforeach()

set(kestrel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Kestrel)
install(EXPORT KestrelTargets NAMESPACE Kestrel:: DESTINATION ${kestrel_cmake_dir} COMPONENT dev)
include(CMakePackageConfigHelpers)
set(KESTREL_PC_REQUIRES "zlib gl glu")
configure_package_config_file(cmake/KestrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KestrelConfig.cmake INSTALL_DESTINATION ${kestrel_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KestrelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KestrelConfig.cmake ${PROJECT_BINARY_DIR}/KestrelConfigVersion.cmake
  DESTINATION ${kestrel_cmake_dir} COMPONENT dev)

file(RELATIVE_PATH KESTREL_PC_PREFIX_FROM_PCDIR /kestrel/${CMAKE_INSTALL_LIBDIR}/pkgconfig /kestrel)
foreach(pc kestrel kestrel-platform kestrel-import)
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

# --- Debian packages -------------------------------------------------------------
# Every package carries the copyright file and a changelog, as Debian asks.
set(QIV_DEB_NAME_qiv qiv)
set(QIV_DEB_NAME_tools kestrel-tools)
set(QIV_DEB_NAME_dev libkestrel-dev)
configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
set(qiv_changelog ${PROJECT_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${qiv_changelog}
  COMMAND ${GZIP_PROGRAM} -9n < ${PROJECT_BINARY_DIR}/debian/changelog > ${qiv_changelog}
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${qiv_changelog})
foreach(component qiv tools dev)
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${QIV_DEB_NAME_${component}})
  install(FILES cmake/debian/copyright ${qiv_changelog} DESTINATION ${doc} COMPONENT ${component})
endforeach()

# The packaging steps must not rebuild anything (tests package the built tree).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qiv)
set(CPACK_PACKAGE_VENDOR "the qiv developers")
# The maintainer field every package needs; a distributor sets their own.
set(QIV_DEB_MAINTAINER "qiv developers <qiv@example.org>" CACHE STRING "Maintainer of the Debian packages")
set(CPACK_PACKAGE_CONTACT "${QIV_DEB_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL qiv tools dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_QIV_PACKAGE_NAME qiv)
set(CPACK_DEBIAN_QIV_PACKAGE_SECTION graphics)
# SDL loads libEGL and the Mesa drivers at run time: no ELF dependency shows them.
set(CPACK_DEBIAN_QIV_PACKAGE_DEPENDS "libegl1, libgl1-mesa-dri")
set(CPACK_DEBIAN_QIV_PACKAGE_RECOMMENDS "ffmpeg")
set(CPACK_COMPONENT_QIV_DESCRIPTION "self-running real-time 3D demo
qiv plays a 131.5 second show of six real-time 3D scenes with music,
drawn by the Kestrel engine with fixed-function OpenGL. It can also render
the show off screen into PNG frames or a video, and benchmark the machine.
.
The package includes the default production data made by qiv-mkdata.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kestrel-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libegl1, libgl1-mesa-dri, fonts-dejavu-core")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "tools for Kestrel 3D scenes and the qiv data
kestrel inspects, dumps, renders, converts and configures the scene files of
the Kestrel engine; qiv-mkdata makes the default production of the qiv demo
(scenes, interface layers, textures and music) from code.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkestrel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "zlib1g-dev, libgl-dev, libglu1-mesa-dev, libsdl2-dev, libassimp-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "pkg-config, cmake")
set(CPACK_COMPONENT_DEV_DESCRIPTION "Kestrel 3D engine (static library and headers)
Kestrel reads, writes and renders chunked 3D scene files with a multi-pass
fixed-function OpenGL renderer: materials, lights, fog, environment maps,
particles, flares and stencil shadows, with a shared texture manager and
scene configuration files. This package holds the static libraries, the
headers (#include <kestrel/kestrel.h>), the CMake package (Kestrel::kestrel,
Kestrel::platform, Kestrel::import) and the pkg-config modules kestrel,
kestrel-platform and kestrel-import.")
include(CPack)
