# What both mingw-w64 toolchain files share; MORAVEL_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${MORAVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORAVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MORAVEL_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${MORAVEL_MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP ${MORAVEL_MINGW_TRIPLET}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${MORAVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The programs and tests carry the GCC runtime (libstdc++, libgcc, winpthread) inside, so
# that they run from any folder, under wine as on a PC, without the compiler's DLLs. The link
# library itself needs none of them (see link/CMakeLists.txt).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Run the programs built here (tests, --help for generated files) through wine, unless the
# caller names another runner.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(MORAVEL_WINE wine)
  if(MORAVEL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MORAVEL_WINE})
  endif()
endif()
