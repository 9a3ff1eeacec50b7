# One interface target carries warnings, definitions and sanitizer flags for
# every target of the project.
option(ORVA_WERROR "Treat compiler warnings as errors" OFF)
option(ORVA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(orva_common INTERFACE)
# Includes name the layer they reach into: "platform/Platform.h",
# "pack/PackHeader.h", "orva/extensions/ExtensionLayout.h".
target_include_directories(orva_common INTERFACE ${PROJECT_SOURCE_DIR})
# Under both Qt 5.15 and Qt 6, what Qt deprecated before 6.0 is left out of
# its headers, and what it deprecates later warns (an error with ORVA_WERROR):
# the sources use only what both majors keep.
target_compile_definitions(orva_common INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_DISABLE_DEPRECATED_BEFORE=0x060000 QT_DEPRECATED_WARNINGS)

if(MSVC)
  target_compile_options(orva_common INTERFACE /W4 /utf-8 /permissive-)
  if(ORVA_WERROR)
    target_compile_options(orva_common INTERFACE /WX)
  endif()
else()
  target_compile_options(orva_common INTERFACE -Wall -Wextra -Wpedantic)
  if(ORVA_WERROR)
    target_compile_options(orva_common INTERFACE -Werror)
  endif()
  if(ORVA_SANITIZE)
    target_compile_options(orva_common INTERFACE
      -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(orva_common INTERFACE -fsanitize=address,undefined)
  endif()
endif()

if(WIN32)
  # The wide Windows API everywhere, and no min/max macros in the way of std::.
  target_compile_definitions(orva_common INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE)
endif()
