# The portable app folder: ORVA at the top, the launcher and the extension
# folders under Extensions/. Every on-disk name keeps its Windows spelling.
set(ORVA_INSTALL_EXTENSIONS_DIR "Extensions")
if(WIN32)
  set(ORVA_EXE_SUFFIX ".exe")
else()
  set(ORVA_EXE_SUFFIX "")
endif()

# Adds the manifest that makes the process code page UTF-8 on Windows, so that
# the C runtime and argv see extension names as UTF-8 as everywhere else.
function(orva_windows_program target)
  if(WIN32)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows/utf8.manifest)
  endif()
endfunction()
