# The Debian package (scripts/package.sh): the three programs and the files of packaging/,
# its dependencies computed from the binaries with dpkg-shlibdeps, its version the project's.
set(KM71_PACKAGE_MAINTAINER "71-Series setup program developers <km71-dev@example.org>"
    CACHE STRING "Maintainer field of the Debian package (name <address>)")

add_subdirectory(packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME km71)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KM71_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KM71_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "setup program for 71-Series portable gas detectors")
set(CPACK_PACKAGE_DESCRIPTION [=[
Service technicians and production workers configure the 71-Series portable
single-gas detectors with it: connect one detector over the USB infrared
module or an infrared endpoint, read its identity, clock, gas, alarm points
and options, edit and write them back, store and load configuration files,
calibrate it while watching the live reading, set its clock and power it off.

The package holds the window program km71setup, the command-line tool km71ctl
for production lines and scripts, and km71sim, a simulated detector on a
pseudo-terminal or a TCP port for trying both without hardware. A udev rule
gives the person at the seat access to the USB infrared module.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its SQL drivers as plugins, which the binaries do not name: the fleet register's
# default SQLite file needs the SQLite driver, a shared register the PostgreSQL one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The binaries of the build carry debug information; the package's do not.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
# Directories of the package are rwxr-xr-x whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
