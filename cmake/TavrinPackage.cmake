# The Debian package, made by CPack from the installed layout
# (cmake/TavrinInstall.cmake): scripts/package.sh builds
# build/package/tavrin_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrin)
set(CPACK_PACKAGE_VENDOR "The Tavrin developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVRIN_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wizard that burns CD and DVD image files onto discs")
set(CPACK_PACKAGE_DESCRIPTION
    "Tavrin walks you through burning an ISO image onto a recordable CD or DVD:
the recorder, the image file, the write mode (with a test mode that leaves
the disc blank), the write speed and power calibration, and a summary before
the burn, which shows its progress, the drive's buffer and a log.
.
Real CD, DVD and Blu-ray writers are reached through libburn. Virtual
recorders, whose discs are image files in the user's home folder, let
everything be tried without a drive.
.
The package also holds libStarBurn, the disc library the wizard is built on,
with its C headers and a pkg-config file (starburn).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tavrin_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVRIN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TAVRIN_HOMEPAGE})
# Depends: what dpkg-shlibdeps finds the binaries linked against, and the
# Tahoma-metric font the windows are laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xorriso")
# libStarBurn.so.1 is a public library: a shlibs file for packages built
# against it, and the ldconfig trigger (CPack also writes postinst and postrm
# scripts that run ldconfig; lintian warns about those, the trigger is what
# dpkg wants).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
file(WRITE ${PROJECT_BINARY_DIR}/dist/triggers "activate-noawait ldconfig\n")
# The settings file is the administrator's: an upgrade keeps their edits.
file(WRITE ${PROJECT_BINARY_DIR}/dist/conffiles "/etc/tavrin/registry.ini\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/dist/conffiles
                                       ${PROJECT_BINARY_DIR}/dist/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The package installs into /usr (and /etc) whatever the build's prefix.
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
