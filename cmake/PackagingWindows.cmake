# What a Windows user downloads: quorlink-<version>-win64.zip and the NSIS installer
# quorlink-<version>-win64.exe, both from the same installed tree:
#     bin/      quorlink.dll, moravel-cli.exe (when built), read_position.exe (a sample host)
#     include/  quorlink.h
#     lib/      libquorlink.dll.a (MinGW), quorlink.lib (MSVC), quorlink.def, cmake/Quorlink/
#     share/moravel/NC-Travo_USB_Param_NEW.ncp (the template), README-Windows.txt
#     cd build/win64 && cpack -G "ZIP;NSIS64"
# scripts/windows-test.sh makes both, checks them and installs the installer under wine.

install(FILES ${MORAVEL_PACKAGING_DIR}/windows/README-Windows.txt DESTINATION . COMPONENT libquorlink1)
if(NOT TARGET moravel_document)
  # The template comes with the document's install rule when the programs are built.
  install(FILES ${PROJECT_SOURCE_DIR}/app/resources/NC-Travo_USB_Param_NEW.ncp
    DESTINATION ${CMAKE_INSTALL_DATADIR}/moravel COMPONENT moravel)
endif()
if(TARGET read_position)
  install(TARGETS read_position RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT libquorlink_dev)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(moravel_windows_arch win64)
else()
  set(moravel_windows_arch win32)
endif()
set(CPACK_PACKAGE_NAME Quorlink)
set(CPACK_PACKAGE_VENDOR korvex-travo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Controller link library and configuration tools")
set(CPACK_PACKAGE_FILE_NAME quorlink-${PROJECT_VERSION}-${moravel_windows_arch})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorlink)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_RESOURCE_FILE_LICENSE ${MORAVEL_PACKAGING_DIR}/windows/LICENSE.txt)
set(CPACK_STRIP_FILES TRUE)
# One zip and one installer with everything; the install rules' components are not split.
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_MONOLITHIC_INSTALL ON)

# NSIS: a Unicode 64-bit installer into Program Files; the options page asks whether bin/
# (moravel-cli.exe) goes on the PATH, for all users or the current one.
set(CPACK_NSIS_PACKAGE_NAME "Quorlink ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Quorlink ${PROJECT_VERSION}")
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_CONTACT "moravel@korvex-travo.example")
set(CPACK_NSIS_URL_INFO_ABOUT https://github.com/korvextravo/moravel)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)

# CMake's installer script reads the PATH into a string of at most 1024 characters: a longer
# PATH reads as empty and would be replaced by bin/ alone. The script written here refuses to
# change a PATH it could not read whole, and still adds to a PATH that does not exist yet.
set(nsis_template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
file(READ ${nsis_template} nsis_script)
set(unsafe_read [=[
    DoTrim:
    StrCmp $1 "" AddToPath_NTdoIt]=])
set(safe_read [=[
    DoTrim:
    IfErrors 0 PathRead_whole
      StrCpy $3 0
      PathExists_next:
        ClearErrors
        StrCmp $ADD_TO_PATH_ALL_USERS "1" 0 +3
          EnumRegValue $2 ${NT_all_env} $3
          Goto +2
          EnumRegValue $2 ${NT_current_env} $3
        IfErrors AddToPath_NTdoIt
        StrCmp $2 "" AddToPath_NTdoIt
        StrCmp $2 "PATH" 0 +3
          MessageBox MB_OK|MB_ICONEXCLAMATION "PATH is too long to be changed by the installer; add $0 to it yourself." /SD IDOK
          Goto AddToPath_done
        IntOp $3 $3 + 1
        Goto PathExists_next
    PathRead_whole:
    StrCmp $1 "" AddToPath_NTdoIt]=])
string(FIND "${nsis_script}" "${unsafe_read}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${nsis_template} has changed: the PATH guard of cmake/PackagingWindows.cmake does not fit")
endif()
string(REPLACE "${unsafe_read}" "${safe_read}" nsis_script "${nsis_script}")
string(REPLACE "  AddToPath_NT:\n    StrCmp" "  AddToPath_NT:\n    ClearErrors\n    StrCmp" nsis_script "${nsis_script}")
# Also: "Target amd64-unicode" (the 64-bit Unicode stub) before anything else is declared.
string(REPLACE "; CPack install script designed for a nmake build" "; Installer script of Quorlink\n  Target amd64-unicode"
       nsis_script "${nsis_script}")
# A silent install (/S) puts bin/ on the PATH with /PATH=user or /PATH=all, as the options page
# does; the choice is recorded for the uninstaller as the page's is.
set(path_choice [=[
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH=" $R1
  IfErrors PathOption_done
    StrCpy $DO_NOT_ADD_TO_PATH 1
    StrCpy $ADD_TO_PATH_ALL_USERS 0
    StrCpy $ADD_TO_PATH_CURRENT_USER 0
    StrCmp $R1 "all" 0 +3
      StrCpy $DO_NOT_ADD_TO_PATH 0
      StrCpy $ADD_TO_PATH_ALL_USERS 1
    StrCmp $R1 "user" 0 +3
      StrCpy $DO_NOT_ADD_TO_PATH 0
      StrCpy $ADD_TO_PATH_CURRENT_USER 1
  PathOption_done:
  ; Write special uninstall registry entries]=])
foreach(pattern IN ITEMS "  ; Write special uninstall registry entries" "  !include Sections.nsh")
  string(FIND "${nsis_script}" "${pattern}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${nsis_template} has changed: '${pattern}' is not in it")
  endif()
endforeach()
string(REPLACE "  ; Write special uninstall registry entries" "${path_choice}" nsis_script "${nsis_script}")
string(REPLACE "  !include Sections.nsh" "  !include Sections.nsh\n  !include FileFunc.nsh" nsis_script "${nsis_script}")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/nsis/NSIS.template.in "${nsis_script}")
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_BINARY_DIR}/packaging/nsis)

include(CPack)
