# The version resource of ORVA's Windows programs: the project's version, the
# product name, what the program is and the copyright, as Explorer shows them.
# The copyright is cached so that scripts/build-windows.sh hands the same
# words to the installer.
set(ORVA_COPYRIGHT "Copyright © 2026 The ORVA developers (MIT 许可证)" CACHE INTERNAL "ORVA's copyright notice")

# orva_version_info(<target> <description>): a program's version resource,
# <description> its file description (UTF-8).
function(orva_version_info target description)
  if(NOT WIN32)
    return()
  endif()
  set(ORVA_VERSION_DESCRIPTION "${description}")
  get_target_property(ORVA_VERSION_NAME ${target} OUTPUT_NAME)
  if(NOT ORVA_VERSION_NAME)
    set(ORVA_VERSION_NAME ${target})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
