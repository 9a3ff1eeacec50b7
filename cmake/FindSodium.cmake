# libsodium, which has no CMake package of its own: Debian's libsodium-dev, or
# the static library of the Windows kit. Defines Sodium::Sodium.
find_path(Sodium_INCLUDE_DIR sodium.h)
find_library(Sodium_LIBRARY NAMES sodium libsodium)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Sodium REQUIRED_VARS Sodium_LIBRARY Sodium_INCLUDE_DIR)
if(Sodium_FOUND AND NOT TARGET Sodium::Sodium)
  add_library(Sodium::Sodium UNKNOWN IMPORTED)
  set_target_properties(Sodium::Sodium PROPERTIES
    IMPORTED_LOCATION "${Sodium_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Sodium_INCLUDE_DIR}")
  # A static library on Windows: its header would otherwise import from a DLL.
  if(WIN32 AND Sodium_LIBRARY MATCHES "\\.a$")
    set_target_properties(Sodium::Sodium PROPERTIES INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
  endif()
endif()
mark_as_advanced(Sodium_INCLUDE_DIR Sodium_LIBRARY)
