# SPDX-License-Identifier: GPL-2.0-or-later
# The Debian packages, made by CPack from the installed layout
# (cmake/TavrinInstall.cmake), one package per install component:
# scripts/package.sh builds them into build/package/:
#   tavrin_<version>_<arch>.deb           the wizard
#   tavrin-burn_<version>_<arch>.deb      the command-line program (no Qt)
#   libstarburn1_<version>_<arch>.deb     the disc library
#   libstarburn-dev_<version>_<arch>.deb  building against the library
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VENDOR "The Tavrin developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVRIN_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # <package>_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVRIN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TAVRIN_HOMEPAGE})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_COMPONENTS_ALL wizard library development)
if(TARGET tavrin-burn)
  list(INSERT CPACK_COMPONENTS_ALL 1 cli)
endif()
set(CPACK_DEBIAN_WIZARD_PACKAGE_NAME tavrin)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME tavrin-burn)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libstarburn${STARBURN_ABI_MAJOR})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libstarburn-dev)
set(CPACK_DEBIAN_WIZARD_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)

# Depends: the library package at this very version (the programs use calls
# of this build, and the -dev package's link names its file), what
# dpkg-shlibdeps finds the binaries linked against, and for the wizard the
# Tahoma-metric font its windows are laid out for.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_WIZARD_DEPENDS library)
set(CPACK_COMPONENT_CLI_DEPENDS library)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds libStarBurn in the build tree, which no installed
# package owns; the dependency on it is the one above.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_WIZARD_PACKAGE_DEPENDS "fonts-wine")
set(CPACK_DEBIAN_WIZARD_PACKAGE_RECOMMENDS "xorriso")

# Descriptions: the first line is the package's synopsis.
set(CPACK_COMPONENT_WIZARD_DESCRIPTION
    "wizard that burns CD and DVD image files onto discs
Tavrin walks you through burning an ISO image onto a recordable CD or DVD:
the recorder, the image file, the write mode (with a test mode that leaves
the disc blank), the write speed and power calibration, and a summary before
the burn, which shows its progress, the drive's buffer and a log.
.
Real CD, DVD and Blu-ray writers are reached through libburn. Virtual
recorders, whose discs are image files in the user's home folder, let
everything be tried without a drive.")
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "burn CD and DVD image files from a terminal
tavrin-burn is the Tavrin wizard's engine without windows: it lists the
recorders and their discs, checks an image (its ISO9660 size, an implanted
MD5 and its SHA-256), burns it with the wizard's checks and log, verifies
the disc against the image, blanks rewritable discs and ejects. Progress and
results can be read as JSON lines by scripts.
.
It needs no graphical libraries.")
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "CD and DVD recording library of the Tavrin wizard
libStarBurn is the disc library the Tavrin wizard and tavrin-burn are built
on: a C interface to find recorders, ask them about their discs, write images
and file trees (ISO9660 with Joliet) in the CD and DVD write modes, read
discs back, blank and eject.
.
Real drives are reached through libburn; virtual recorders keep their discs
as files in the user's home folder.")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "CD and DVD recording library of the Tavrin wizard - development files
libStarBurn is the disc library the Tavrin wizard is built on, with a C
interface to CD and DVD recorders (real ones through libburn, and virtual
ones backed by files).
.
This package holds the headers StarBurn.h and StarBurnLinux.h, the link to
build against and the pkg-config file (starburn).")

# libStarBurn.so.1 is a public library: its package carries the shlibs and
# symbols files for packages built against it (the symbols are checked by
# the tests against the built library) and the ldconfig trigger dpkg asks
# for. The package's own dependencies are what dpkg-shlibdeps finds the
# library linked against, asked when cpack runs (below): CPack's own way of
# asking would also give it postinst and postrm scripts that call ldconfig,
# which the trigger makes needless.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SHLIBDEPS OFF)
set(tavrin_control ${PROJECT_BINARY_DIR}/dist/control)
file(MAKE_DIRECTORY ${tavrin_control}/library ${tavrin_control}/wizard)
file(WRITE ${tavrin_control}/library/triggers "activate-noawait ldconfig\n")
file(WRITE ${tavrin_control}/library/shlibs
     "libStarBurn ${STARBURN_ABI_MAJOR} libstarburn${STARBURN_ABI_MAJOR} (>= ${PROJECT_VERSION})\n")
configure_file(${PROJECT_SOURCE_DIR}/dist/libstarburn1.symbols ${tavrin_control}/library/symbols
               COPYONLY)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${tavrin_control}/library/shlibs ${tavrin_control}/library/symbols
    ${tavrin_control}/library/triggers)
# The settings file is the administrator's: an upgrade keeps their edits.
file(WRITE ${tavrin_control}/wizard/conffiles "/etc/tavrin/registry.ini\n")
set(CPACK_DEBIAN_WIZARD_PACKAGE_CONTROL_EXTRA ${tavrin_control}/wizard/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Run by cpack itself, so every way of calling it gives the same packages:
# without SOURCE_DATE_EPOCH every file is stamped with the version's day; the
# synopsis of each package is its own description's first line (CPack puts
# a summary it was given before every component's description); and the
# library package's dependencies come from dpkg-shlibdeps.
string(CONFIGURE [[
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} @TAVRIN_RELEASE_EPOCH@)
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_DEFAULT_PACKAGE_DESCRIPTION_SUMMARY}")
find_program(TAVRIN_SHLIBDEPS dpkg-shlibdeps)
if(TAVRIN_SHLIBDEPS)
  # dpkg-shlibdeps wants to run in a source package's folder; one of its own
  # for each cpack, which may run beside another (the package test).
  execute_process(COMMAND mktemp -d "@PROJECT_BINARY_DIR@/dist/shlibdeps.XXXXXX"
                  OUTPUT_VARIABLE work OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  file(WRITE "${work}/debian/control" "")
  execute_process(COMMAND "${TAVRIN_SHLIBDEPS}" -O "-e$<TARGET_FILE:StarBurn>"
                  WORKING_DIRECTORY "${work}" RESULT_VARIABLE failed
                  OUTPUT_VARIABLE found ERROR_VARIABLE complaint OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(REMOVE_RECURSE "${work}")
  if(failed OR NOT found MATCHES "^shlibs:Depends=")
    message(FATAL_ERROR "dpkg-shlibdeps on libStarBurn failed: ${complaint}")
  endif()
  string(REGEX REPLACE "^shlibs:Depends=" "" CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${found}")
endif()
]] tavrin_cpack_project_config @ONLY)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/dist/CPackProjectConfig.cmake
     CONTENT "${tavrin_cpack_project_config}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/dist/CPackProjectConfig.cmake)

# The packages install into /usr (and /etc) whatever the build's prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/build/package)
set(CPACK_OUTPUT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackConfig.cmake)
# cpack installs what tavrin_installed built (scripts/package.sh), without
# building every test first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
