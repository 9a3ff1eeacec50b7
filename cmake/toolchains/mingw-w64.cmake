# Cross-compiles for 64-bit Windows on Debian with MinGW-w64, against the kit
# of scripts/build-windows-kit.sh (qtbase, libarchive, zlib, nlohmann/json):
#   cmake -S . -B /tmp/win-build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64.cmake \
#         -DORVA_WINDOWS_KIT="$(scripts/build-windows-kit.sh)" -DCMAKE_BUILD_TYPE=Release
# ORVA_WINDOWS_KIT may come from the environment instead.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX-thread flavour, whichever update-alternatives selects: the
# win32-thread one has no std::thread or std::mutex, and the kit's Qt was
# built with the posix one.
set(_orva_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_orva_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_orva_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_orva_triplet}-windres)

if(NOT ORVA_WINDOWS_KIT)
  set(ORVA_WINDOWS_KIT "$ENV{ORVA_WINDOWS_KIT}")
endif()
if(NOT ORVA_WINDOWS_KIT OR NOT IS_DIRECTORY "${ORVA_WINDOWS_KIT}")
  message(FATAL_ERROR "ORVA_WINDOWS_KIT=\"${ORVA_WINDOWS_KIT}\" is not a folder: "
                      "scripts/build-windows-kit.sh builds the kit and prints its path")
endif()
set(ORVA_WINDOWS_KIT "${ORVA_WINDOWS_KIT}" CACHE PATH "Kit of scripts/build-windows-kit.sh")
# try_compile() reads this file again in projects of its own.
set(ENV{ORVA_WINDOWS_KIT} "${ORVA_WINDOWS_KIT}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVA_WINDOWS_KIT)

# Libraries, headers and packages from the kit and the MinGW-w64 runtime only,
# never Linux's; programs (moc, uic, rcc, python) from the host.
set(CMAKE_FIND_ROOT_PATH "${ORVA_WINDOWS_KIT}/qt" "${ORVA_WINDOWS_KIT}" /usr/${_orva_triplet})
set(CMAKE_PREFIX_PATH "${ORVA_WINDOWS_KIT}/qt" "${ORVA_WINDOWS_KIT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# try_run(), tests and build steps that run one of our programs do so under
# Wine, through wine-run.sh for the kit's DLLs. Without an emulator, Debian
# 12's CMake (3.25.1) crashes in try_run() when cross-compiling, libarchive's
# configure checks included.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ORVA_WINE NAMES wine)
  if(ORVA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh" "${ORVA_WINDOWS_KIT}")
  endif()
endif()
