# The installed layout (cmake --install build/<preset> [--prefix ...], also
# into DESTDIR), the way a Linux program is installed:
#
#   <prefix>/lib/tavrin/tavrin           the program, with its art (sounds/ISORes*/)
#                                        and product file (lame.dll) beside it
#   <prefix>/bin/tavrin                  a relative symbolic link to it
#   <prefix>/bin/tavrin-burn             the command-line program (when it is built)
#   <libdir>/libStarBurn.so.1            the disc library (libdir: lib/<multiarch>)
#   <libdir>/pkgconfig/starburn.pc       for programs built against it
#   <prefix>/include/tavrin/             StarBurn.h, StarBurnLinux.h
#   /etc/tavrin/registry.ini             the settings file (<prefix>/etc/tavrin/ unless
#                                        the prefix is /usr)
#   <prefix>/share/applications, metainfo, icons/hicolor, man/man1, doc/tavrin
#
# The program finds its art through /proc/self/exe, which names the real file
# behind the link, so the link needs no help.
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

# The program and what it reads beside itself.
install(TARGETS tavrin RUNTIME DESTINATION ${TAVRIN_INSTALL_PROGRAMDIR} COMPONENT tavrin)
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sounds
        DESTINATION ${TAVRIN_INSTALL_PROGRAMDIR} COMPONENT tavrin)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/lame.dll
        DESTINATION ${TAVRIN_INSTALL_PROGRAMDIR} COMPONENT tavrin)
# The link is made where the install goes (the prefix may be given only
# when installing: cmake --install --prefix DIR), relative, so it holds in
# DESTDIR trees and packages.
file(RELATIVE_PATH tavrin_link_target /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${TAVRIN_INSTALL_PROGRAMDIR}/tavrin)
install(CODE "
  set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${folder}\")
  file(REMOVE \"\${folder}/tavrin\")
  file(CREATE_LINK \"${tavrin_link_target}\" \"\${folder}/tavrin\" SYMBOLIC)
  message(STATUS \"Installing: \${folder}/tavrin -> ${tavrin_link_target}\")
  " COMPONENT tavrin)

# The library, its headers and its pkg-config file. StarBurnLinux.h names
# StarBurn.h from the repository root; the installed copy names it beside
# itself, as both land in include/tavrin/.
install(TARGETS StarBurn LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT tavrin)
file(READ ${PROJECT_SOURCE_DIR}/starburn/StarBurnLinux.h starburn_linux_h)
string(REPLACE "#include \"starburn/StarBurn.h\"" "#include \"StarBurn.h\"" starburn_linux_h
               "${starburn_linux_h}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/dist/include/StarBurnLinux.h
     CONTENT "${starburn_linux_h}" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/starburn/StarBurnLinux.h)
install(FILES ${PROJECT_SOURCE_DIR}/starburn/StarBurn.h
              ${PROJECT_BINARY_DIR}/dist/include/StarBurnLinux.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tavrin COMPONENT tavrin)
configure_file(${PROJECT_SOURCE_DIR}/dist/starburn.pc.in ${PROJECT_BINARY_DIR}/dist/starburn.pc
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dist/starburn.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT tavrin)

# The settings file: /etc/tavrin/registry.ini, where the program looks for
# it, for a /usr install (the package); <prefix>/etc/tavrin/ for any other
# prefix, chosen when installing, so --prefix ~/.local needs no root.
install(CODE "
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(tavrin_etc /etc/tavrin)
  else()
    set(tavrin_etc \"\${CMAKE_INSTALL_PREFIX}/etc/tavrin\")
  endif()
  file(INSTALL DESTINATION \"\${tavrin_etc}\" TYPE FILE
       FILES \"${PROJECT_SOURCE_DIR}/dist/registry.ini\")
  " COMPONENT tavrin)

# The desktop: menu entry, AppStream metadata, icons.
install(FILES ${PROJECT_SOURCE_DIR}/dist/org.tavrin.Tavrin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tavrin)
configure_file(${PROJECT_SOURCE_DIR}/dist/org.tavrin.Tavrin.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/dist/org.tavrin.Tavrin.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dist/org.tavrin.Tavrin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT tavrin)
install(DIRECTORY ${TAVRIN_ICON_ROOT} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
        COMPONENT tavrin)

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
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tavrin)
install(FILES ${PROJECT_BINARY_DIR}/dist/changelog.gz ${PROJECT_SOURCE_DIR}/dist/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavrin COMPONENT tavrin)

# The command-line program and its manual pages, once cli/ builds them. The
# pages are the files the target's TAVRIN_MANPAGES property names (they may be
# generated during the build), else cli/*.1 and cli/man/*.1; each is
# compressed as it is installed.
if(TARGET tavrin-burn)
  tavrin_install_rpath(tavrin-burn ${CMAKE_INSTALL_BINDIR})
  install(TARGETS tavrin-burn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tavrin)
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
      " COMPONENT tavrin)
  endforeach()
endif()

# Everything the install rules take from the build, so the package script
# builds that much and not the tests.
add_custom_target(tavrin_installed DEPENDS tavrin StarBurn tavrin_art tavrin_dist)
if(TARGET tavrin-burn)
  add_dependencies(tavrin_installed tavrin-burn)
endif()
if(TARGET tavrin-burn-manpage)
  add_dependencies(tavrin_installed tavrin-burn-manpage)
endif()
