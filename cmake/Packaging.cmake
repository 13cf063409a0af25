# Installation extras and the Debian packages.
#
# The install rules of the parts put every file into one of four components, which CPack turns
# into the Debian packages libquorlink1, libquorlink-dev, moravel and quorlink-sim:
#     cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
#     cmake --build build/release && cpack --config build/release/CPackConfig.cmake -G DEB
# scripts/package.sh does exactly that. A plain `cmake --install` installs all components
# except the per-package Debian documentation (copyright, changelog).

set(MORAVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(MORAVEL_MAN_DIR ${PROJECT_SOURCE_DIR}/docs/man)
set(MORAVEL_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)
find_program(GZIP_EXECUTABLE gzip)

# The date of this release, for the manual pages, the changelog and the metadata (seconds since
# 1970, UTC). Fixed, so that every build of a release carries the same dates.
set(MORAVEL_RELEASE_EPOCH 1796644800)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
endif()
set(ENV{SOURCE_DATE_EPOCH} ${MORAVEL_RELEASE_EPOCH})
string(TIMESTAMP MORAVEL_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP MORAVEL_RELEASE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(DEFINED saved_epoch)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
else()
  unset(ENV{SOURCE_DATE_EPOCH})
endif()

# moravel_gzip(FILE TARGET OUT_VAR): compresses FILE at build time as Debian wants it (gzip -9n:
# no name, no time stamp) and sets OUT_VAR to the file to install (FILE itself without gzip).
function(moravel_gzip file target out_var)
  if(GZIP_EXECUTABLE)
    add_custom_command(OUTPUT ${file}.gz
      COMMAND ${GZIP_EXECUTABLE} -9nfk ${file}
      DEPENDS ${file}
      VERBATIM)
    set(file ${file}.gz)
  endif()
  add_custom_target(${target} ALL DEPENDS ${file})
  set(${out_var} ${file} PARENT_SCOPE)
endfunction()

# moravel_man_page(NAME SECTION COMPONENT SOURCE [PROGRAM])
# Builds the manual page NAME.SECTION and installs it compressed to the section's folder. With
# PROGRAM (a target), SOURCE is a template that cmake/ManPage.cmake fills in from the program's
# --help output; without, only @VERSION@ and @DATE@ are filled in.
function(moravel_man_page name section component source)
  set(page ${MORAVEL_GENERATED_DIR}/man/${name}.${section})
  if(ARGN)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${ARGN}> -DTEMPLATE=${source} -DOUTPUT=${page}
              -DVERSION=${PROJECT_VERSION} -DDATE=${MORAVEL_RELEASE_DATE} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      DEPENDS ${ARGN} ${source} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMENT "Generating the manual page ${name}(${section})"
      VERBATIM)
  else()
    set(VERSION ${PROJECT_VERSION})
    set(DATE ${MORAVEL_RELEASE_DATE})
    configure_file(${source} ${page} @ONLY)
  endif()
  moravel_gzip(${page} man_${name}_${section} page)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

# Windows: a zip and an installer, nothing of the Debian packages.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake)
  return()
endif()

# Manual pages. Those of the command-line programs take their commands, options and exit
# statuses from the program's own --help, so that page and program cannot disagree.
if(NOT CMAKE_CROSSCOMPILING)
  if(TARGET moravel-cli)
    moravel_man_page(moravel-cli 1 moravel ${MORAVEL_MAN_DIR}/moravel-cli.1.in moravel-cli)
  endif()
  if(TARGET quorlink-sim)
    moravel_man_page(quorlink-sim 1 quorlink_sim ${MORAVEL_MAN_DIR}/quorlink-sim.1.in quorlink-sim)
  endif()
endif()
if(TARGET moravel)
  moravel_man_page(moravel 1 moravel ${MORAVEL_MAN_DIR}/moravel.1.in)
endif()
if(TARGET quorlink)
  moravel_man_page(quorlink 3 libquorlink_dev ${MORAVEL_MAN_DIR}/quorlink.3.in)
endif()

# Shell completion, where bash-completion loads it on demand.
if(TARGET moravel-cli)
  install(FILES ${MORAVEL_PACKAGING_DIR}/moravel-cli.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME moravel-cli COMPONENT moravel)
  if(MORAVEL_BUILD_TESTS)
    find_program(BASH_EXECUTABLE bash)
    if(BASH_EXECUTABLE)
      add_test(NAME bash_completion_moravel_cli
        COMMAND ${BASH_EXECUTABLE} ${MORAVEL_PACKAGING_DIR}/test-completion.sh
                ${MORAVEL_PACKAGING_DIR}/moravel-cli.bash-completion)
    endif()
  endif()
endif()

# Software-centre metadata and the MIME type of parameter files (.ncp).
if(TARGET moravel)
  set(metainfo io.github.korvextravo.moravel.metainfo.xml)
  configure_file(${MORAVEL_PACKAGING_DIR}/${metainfo}.in ${MORAVEL_GENERATED_DIR}/${metainfo} @ONLY)
  install(FILES ${MORAVEL_GENERATED_DIR}/${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT moravel)
  install(FILES ${MORAVEL_PACKAGING_DIR}/moravel-mime.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME moravel.xml COMPONENT moravel)
endif()

# ---- Debian packages ------------------------------------------------------------------------

set(MORAVEL_DEB_RELEASE 1)
set(MORAVEL_DEB_VERSION ${PROJECT_VERSION}-${MORAVEL_DEB_RELEASE})
set(MORAVEL_DEB_PACKAGES libquorlink1 libquorlink-dev moravel quorlink-sim)
set(MORAVEL_DEB_COMPONENTS libquorlink1 libquorlink_dev moravel quorlink_sim)

# Every package carries the copyright file and its own changelog in /usr/share/doc/<package>,
# and its lintian overrides, if any, in packaging/lintian/<package>.
# Only the packages get them: a plain install leaves them out (EXCLUDE_FROM_ALL).
foreach(package component IN ZIP_LISTS MORAVEL_DEB_PACKAGES MORAVEL_DEB_COMPONENTS)
  set(MORAVEL_DEB_PACKAGE ${package})
  configure_file(${MORAVEL_PACKAGING_DIR}/changelog.in ${MORAVEL_GENERATED_DIR}/${package}/changelog.Debian @ONLY)
  moravel_gzip(${MORAVEL_GENERATED_DIR}/${package}/changelog.Debian changelog_${component} changelog)
  install(FILES ${changelog} ${MORAVEL_PACKAGING_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  if(EXISTS ${MORAVEL_PACKAGING_DIR}/lintian/${package})
    install(FILES ${MORAVEL_PACKAGING_DIR}/lintian/${package}
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endforeach()

# The control files of libquorlink1: symbols (from the version script, so that the list of
# exports has one source), shlibs and the ldconfig trigger.
file(STRINGS ${PROJECT_SOURCE_DIR}/link/quorlink.map map_lines)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/link/quorlink.map)
set(exports "")
set(in_global FALSE)
foreach(line IN LISTS map_lines)
  string(REGEX REPLACE "/\\*.*\\*/" "" line "${line}")
  if(line MATCHES "global:")
    set(in_global TRUE)
    string(REGEX REPLACE ".*global:" "" line "${line}")
  elseif(line MATCHES "local:")
    set(in_global FALSE)
  endif()
  if(in_global)
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" names "${line}")
    list(APPEND exports ${names})
  endif()
endforeach()
list(SORT exports)
list(LENGTH exports export_count)
set(symbols "libquorlink.so.1 libquorlink1 #MINVER#\n* Build-Depends-Package: libquorlink-dev\n")
foreach(name IN LISTS exports)
  string(APPEND symbols " ${name}@Base ${PROJECT_VERSION}\n")
endforeach()
set(control ${MORAVEL_GENERATED_DIR}/libquorlink1/control)
file(CONFIGURE OUTPUT ${control}/symbols CONTENT "${symbols}")
file(CONFIGURE OUTPUT ${control}/shlibs CONTENT "libquorlink 1 libquorlink1 (>= ${PROJECT_VERSION})\n")
file(CONFIGURE OUTPUT ${control}/triggers CONTENT "activate-noawait ldconfig\n")

# dpkg-shlibdeps learns from here that the programs' libquorlink.so.1 comes from libquorlink1:
# a package root holding the built library and that package's symbols and shlibs files.
set(shlibdeps_root ${MORAVEL_GENERATED_DIR}/shlibdeps-root)
file(COPY ${control}/symbols ${control}/shlibs DESTINATION ${shlibdeps_root}/DEBIAN)
if(TARGET quorlink)
  add_custom_command(OUTPUT ${shlibdeps_root}/lib/libquorlink.so.1
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorlink> ${shlibdeps_root}/lib/libquorlink.so.1
    DEPENDS quorlink
    VERBATIM)
  add_custom_target(quorlink_shlibdeps_root ALL DEPENDS ${shlibdeps_root}/lib/libquorlink.so.1)
endif()

set(CPACK_PACKAGE_NAME moravel)
set(CPACK_PACKAGE_VENDOR korvex-travo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Moravel maintainers <moravel@korvex-travo.example>")
# Empty, so that CPack does not put the project's description above each package's synopsis.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_COMPONENTS_ALL ${MORAVEL_DEB_COMPONENTS})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${MORAVEL_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${shlibdeps_root}/lib)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/korvextravo/moravel)

# Descriptions: a synopsis line, then the long description; CPack indents it and marks its
# empty lines as the control file wants them.
set(CPACK_DEBIAN_LIBQUORLINK1_PACKAGE_NAME libquorlink1)
set(CPACK_DEBIAN_LIBQUORLINK1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBQUORLINK1_PACKAGE_CONTROL_EXTRA ${control}/symbols ${control}/shlibs ${control}/triggers)
set(CPACK_DEBIAN_LIBQUORLINK1_DESCRIPTION
"serial link library for a four-axis stepper-motor CNC controller
Quorlink talks to a four-axis (X, Y, Z, C) stepper-motor CNC controller over
its USB serial line: opening the connection by port, by controller name or
automatically, status and positions, moves, outputs, homing, emergency stops
and reading and changing the controller's parameters.

This package contains the shared library, which programs built against it
need at run time, such as moravel.")

set(CPACK_DEBIAN_LIBQUORLINK_DEV_PACKAGE_NAME libquorlink-dev)
set(CPACK_DEBIAN_LIBQUORLINK_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBQUORLINK_DEV_PACKAGE_DEPENDS "libquorlink1 (= ${MORAVEL_DEB_VERSION})")
set(CPACK_DEBIAN_LIBQUORLINK_DEV_PACKAGE_SUGGESTS quorlink-sim)
set(CPACK_DEBIAN_LIBQUORLINK_DEV_DESCRIPTION
"serial link library for a four-axis CNC controller - development files
Quorlink talks to a four-axis (X, Y, Z, C) stepper-motor CNC controller over
its USB serial line through a flat C interface of 30 functions.

This package contains what a host program needs to be built against the
library: the header quorlink.h, the link libquorlink.so, the CMake package
Quorlink (find_package(Quorlink)), the pkg-config file quorlink.pc and the
manual page quorlink(3).")

set(CPACK_DEBIAN_MORAVEL_PACKAGE_NAME moravel)
set(CPACK_DEBIAN_MORAVEL_PACKAGE_SECTION electronics)
# The window needs a Qt platform plugin; the German Qt dialogs need Qt's translations.
set(CPACK_DEBIAN_MORAVEL_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_MORAVEL_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_MORAVEL_PACKAGE_SUGGESTS quorlink-sim)
set(CPACK_DEBIAN_MORAVEL_DESCRIPTION
"configuration program for a four-axis stepper-motor CNC controller
Moravel configures and services a four-axis (X, Y, Z, C) stepper-motor CNC
controller on a USB serial line. It edits parameter files (.ncp) in six
parameter dialogs, reads the parameter set from the controller, transfers it,
compares it, uploads new firmware (.crx) and moves the axes by hand. The user
interface is German.

moravel-cli offers the same operations on the command line, for scripts and
for workshop PCs without a display: check, format, read, transfer, diff,
flash, update (a firmware upload that keeps the parameters) and ports. A udev rule for the controller's serial device is included
as an example.")

set(CPACK_DEBIAN_QUORLINK_SIM_PACKAGE_NAME quorlink-sim)
set(CPACK_DEBIAN_QUORLINK_SIM_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_QUORLINK_SIM_DESCRIPTION
"simulator of a four-axis stepper-motor CNC controller on pseudo-terminals
quorlink-sim puts simulated controllers behind pseudo-terminals, one per port
COM1 to COM8, so that moravel, moravel-cli and other programs built on the
Quorlink library can be tried and tested without hardware: status and
positions, mode switches, machine actions, the exchangeable parameters and
the firmware bootloader. It can run a command with the simulated ports in its
environment and exit with that command's status.")

include(CPack)
