# SPDX-License-Identifier: GPL-2.0-or-later
# The installed layout (cmake --install build/<preset> [--prefix ...], also
# into DESTDIR), the way a Linux program is installed:
#
#   <prefix>/lib/tavrin/tavrin           the program, with its product file
#                                        (product.ini) and a link to its art beside it
#   <prefix>/share/tavrin/sounds/        the art (ISORes*/), reached through
#                                        lib/tavrin/sounds
#   <prefix>/bin/tavrin                  a relative symbolic link to the program
#   <prefix>/bin/tavrin-burn             the command-line program (when it is built)
#   <libdir>/libStarBurn.so.1            the disc library (libdir: lib/<multiarch>)
#   <libdir>/pkgconfig/starburn.pc       for programs built against it
#   <prefix>/include/tavrin/             StarBurn.h, StarBurnLinux.h
#   /etc/tavrin/registry.ini             the settings file (<prefix>/etc/tavrin/ unless
#                                        the prefix is /usr)
#   <prefix>/share/applications, metainfo, icons/hicolor, man/man1, doc/<package>
#
# The program finds its art through /proc/self/exe, which names the real file
# behind the link, so the link needs no help.
#
# Every rule belongs to one install component, and each component is one
# Debian package (cmake/TavrinPackage.cmake):
#   wizard       tavrin           the wizard, its art, desktop files, settings file
#   cli          tavrin-burn      the command-line program
#   library      libstarburn1     libStarBurn.so.1 (the package is named after the soname)
#   development  libstarburn-dev  headers, the libStarBurn.so link, pkg-config file
# A plain cmake --install installs all four.
include(GNUInstallDirs)

set(TAVRIN_INSTALL_PROGRAMDIR "lib/tavrin" CACHE STRING
    "Folder of the program and its art, relative to the prefix")
set(TAVRIN_MAINTAINER "The Tavrin developers <maintainers@users.noreply.c-seed-3ce0e451.example>"
    CACHE STRING "Maintainer named in the package")
set(TAVRIN_HOMEPAGE "https://tavrin.example.org/" CACHE STRING "The project's web site")
set(TAVRIN_SCREENSHOTS_URL "${TAVRIN_HOMEPAGE}tavrin/screenshots/" CACHE STRING
    "Where docs/screenshots/ is published (AppStream metadata)")

# The library's ABI version: its soname is libStarBurn.so.<major>.
set(STARBURN_ABI_VERSION 1.0.0)
set(STARBURN_ABI_MAJOR 1)
set_target_properties(StarBurn PROPERTIES VERSION ${STARBURN_ABI_VERSION}
                                          SOVERSION ${STARBURN_ABI_MAJOR})

# In the build tree the program finds libStarBurn through CMake's build RPATH
# (build/<preset>/bin); installed, through a path relative to itself, so a
# --prefix install anywhere (and a DESTDIR tree) finds its own copy.
function(tavrin_install_rpath target from)
  file(RELATIVE_PATH rel ${CMAKE_INSTALL_PREFIX}/${from}
       ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${rel}")
endfunction()
tavrin_install_rpath(tavrin ${TAVRIN_INSTALL_PROGRAMDIR})

# The program and what it reads beside itself. The art is the same on every
# architecture, so it lives under share/ (the file system's rule for such
# data); a relative link in the program's folder keeps it where the program
# looks for it, in any prefix and in DESTDIR trees.
install(TARGETS tavrin RUNTIME DESTINATION ${TAVRIN_INSTALL_PROGRAMDIR} COMPONENT wizard)
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sounds
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrin COMPONENT wizard)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/product.ini
        DESTINATION ${TAVRIN_INSTALL_PROGRAMDIR} COMPONENT wizard)
# The links are made where the install goes (the prefix may be given only
# when installing: cmake --install --prefix DIR), relative, so they hold in
# DESTDIR trees and packages.
function(tavrin_install_link folder name target)
  file(RELATIVE_PATH relative /prefix/${folder} /prefix/${target})
  install(CODE "
    set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${folder}\")
    file(MAKE_DIRECTORY \"\${folder}\")
    file(REMOVE_RECURSE \"\${folder}/${name}\")
    file(CREATE_LINK \"${relative}\" \"\${folder}/${name}\" SYMBOLIC)
    message(STATUS \"Installing: \${folder}/${name} -> ${relative}\")
    " ${ARGN})
endfunction()
tavrin_install_link(${CMAKE_INSTALL_BINDIR} tavrin ${TAVRIN_INSTALL_PROGRAMDIR}/tavrin
                    COMPONENT wizard)
tavrin_install_link(${TAVRIN_INSTALL_PROGRAMDIR} sounds ${CMAKE_INSTALL_DATADIR}/tavrin/sounds
                    COMPONENT wizard)

# The translations: the wizard's .qm files under share/ (reached, as the art
# is, through a link beside the program), tavrin-burn's catalogs in its own
# package's folder (found from bin/ through ../share/tavrin-burn/translations).
install(FILES ${TAVRIN_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrin/translations
        COMPONENT wizard)
tavrin_install_link(${TAVRIN_INSTALL_PROGRAMDIR} translations
                    ${CMAKE_INSTALL_DATADIR}/tavrin/translations COMPONENT wizard)

# The library (the versioned file and its soname link), and for building
# against it the libStarBurn.so link, the headers and the pkg-config file.
# StarBurnLinux.h names StarBurn.h from the repository root; the installed
# copy names it beside itself, as both land in include/tavrin/.
install(TARGETS StarBurn
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
                NAMELINK_COMPONENT development)
file(READ ${PROJECT_SOURCE_DIR}/starburn/StarBurnLinux.h starburn_linux_h)
string(REPLACE "#include \"starburn/StarBurn.h\"" "#include \"StarBurn.h\"" starburn_linux_h
               "${starburn_linux_h}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/dist/include/StarBurnLinux.h
     CONTENT "${starburn_linux_h}" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/starburn/StarBurnLinux.h)
install(FILES ${PROJECT_SOURCE_DIR}/starburn/StarBurn.h
              ${PROJECT_BINARY_DIR}/dist/include/StarBurnLinux.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tavrin COMPONENT development)
configure_file(${PROJECT_SOURCE_DIR}/dist/starburn.pc.in ${PROJECT_BINARY_DIR}/dist/starburn.pc
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dist/starburn.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The settings file: /etc/tavrin/registry.ini, where the program looks for
# it, for a /usr install (the package); <prefix>/etc/tavrin/ for any other
# prefix, chosen when installing, so --prefix ~/.local needs no root. It
# comes with the wizard; tavrin-burn reads it too when it is there, and
# without it logs nothing, as the file itself says by default.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(tavrin_etc /etc/tavrin)
  else()
    set(tavrin_etc \"\${CMAKE_INSTALL_PREFIX}/etc/tavrin\")
  endif()
  file(INSTALL DESTINATION \"\${tavrin_etc}\" TYPE FILE
       FILES \"${PROJECT_SOURCE_DIR}/dist/registry.ini\")
  " COMPONENT wizard)

# The desktop: menu entry, AppStream metadata, icons.
install(FILES ${PROJECT_SOURCE_DIR}/dist/org.tavrin.Tavrin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT wizard)
configure_file(${PROJECT_SOURCE_DIR}/dist/org.tavrin.Tavrin.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/dist/org.tavrin.Tavrin.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dist/org.tavrin.Tavrin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT wizard)
install(DIRECTORY ${TAVRIN_ICON_ROOT} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        COMPONENT wizard)

# Manual pages and package documents, compressed the way Debian keeps them
# (gzip -n: no name or time stamp, so two builds give the same bytes).
find_program(TAVRIN_GZIP gzip REQUIRED)
execute_process(COMMAND date -u -R -d "${TAVRIN_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE TAVRIN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${PROJECT_SOURCE_DIR}/dist/changelog.in ${PROJECT_BINARY_DIR}/dist/changelog @ONLY)
set(tavrin_gzipped)
function(tavrin_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${TAVRIN_GZIP} -n -9 -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  set(tavrin_gzipped ${tavrin_gzipped} ${output} PARENT_SCOPE)
endfunction()
tavrin_gzip(${PROJECT_SOURCE_DIR}/dist/tavrin.1 ${PROJECT_BINARY_DIR}/dist/tavrin.1.gz)
tavrin_gzip(${PROJECT_BINARY_DIR}/dist/changelog ${PROJECT_BINARY_DIR}/dist/changelog.gz)
add_custom_target(tavrin_dist ALL DEPENDS ${tavrin_gzipped})
install(FILES ${PROJECT_BINARY_DIR}/dist/tavrin.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT wizard)
# Debian wants the copyright file and the changelog in every package's own
# documents folder.
foreach(component_package wizard:tavrin cli:tavrin-burn library:libstarburn1
                          development:libstarburn-dev)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  if(component STREQUAL "cli" AND NOT TARGET tavrin-burn)
    continue()
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/dist/changelog.gz ${PROJECT_SOURCE_DIR}/dist/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# lintian's overrides, kept for every package in dist/lintian-overrides: each
# package gets its own lines, each with the comment above it that says why.
file(STRINGS ${PROJECT_SOURCE_DIR}/dist/lintian-overrides tavrin_override_lines)
set(tavrin_override_reason "")
foreach(line IN LISTS tavrin_override_lines)
  if(line MATCHES "^# ")
    set(tavrin_override_reason "${line}")
  elseif(line MATCHES "^([a-z0-9.+-]+): ")
    if(NOT CMAKE_MATCH_1 MATCHES "^(tavrin|tavrin-burn|libstarburn1|libstarburn-dev)$")
      message(FATAL_ERROR "dist/lintian-overrides names no package of ours: ${line}")
    endif()
    if(NOT tavrin_override_reason)
      message(FATAL_ERROR "dist/lintian-overrides: no reason above ${line}")
    endif()
    string(APPEND tavrin_overrides_${CMAKE_MATCH_1} "${tavrin_override_reason}\n${line}\n")
    set(tavrin_override_reason "")
  endif()
endforeach()
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/dist/lintian-overrides)
foreach(component_package wizard:tavrin cli:tavrin-burn library:libstarburn1
                          development:libstarburn-dev)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  set(overrides ${PROJECT_BINARY_DIR}/dist/lintian/${package})
  if(DEFINED tavrin_overrides_${package})
    file(CONFIGURE OUTPUT ${overrides} CONTENT "${tavrin_overrides_${package}}")
    install(FILES ${overrides} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            COMPONENT ${component})
  else()
    file(REMOVE ${overrides})
  endif()
endforeach()

# The command-line program and its manual pages, once cli/ builds them. The
# pages are the files the target's TAVRIN_MANPAGES property names (they may be
# generated during the build), else cli/*.1 and cli/man/*.1; each is
# compressed as it is installed.
if(TARGET tavrin-burn)
  tavrin_install_rpath(tavrin-burn ${CMAKE_INSTALL_BINDIR})
  install(TARGETS tavrin-burn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
  install(FILES ${TAVRIN_CAT_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrin-burn/translations
          COMPONENT cli)
  get_target_property(tavrin_burn_pages tavrin-burn TAVRIN_MANPAGES)
  if(NOT tavrin_burn_pages)
    file(GLOB tavrin_burn_pages ${PROJECT_SOURCE_DIR}/cli/*.1 ${PROJECT_SOURCE_DIR}/cli/man/*.1)
  endif()
  foreach(page ${tavrin_burn_pages})
    get_filename_component(name ${page} NAME)
    set(folder "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1")
    install(CODE "
      file(MAKE_DIRECTORY \"${folder}\")
      message(STATUS \"Installing: ${folder}/${name}.gz\")
      execute_process(COMMAND \"${TAVRIN_GZIP}\" -n -9 -c \"${page}\"
                      OUTPUT_FILE \"${folder}/${name}.gz\" RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR \"Cannot compress ${page}\")
      endif()
      " COMPONENT cli)
  endforeach()
endif()

# Everything the install rules take from the build, so the package script
# builds that much and not the tests.
add_custom_target(tavrin_installed DEPENDS tavrin StarBurn tavrin_art tavrin_dist
                                           tavrin_translations)
if(TARGET tavrin-burn)
  add_dependencies(tavrin_installed tavrin-burn)
endif()
if(TARGET tavrin-burn-manpage)
  add_dependencies(tavrin_installed tavrin-burn-manpage)
endif()
