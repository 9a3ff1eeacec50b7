# The portable app folder: ORVA at the top, the launcher and the extension
# folders under Extensions/. Every on-disk name keeps its Windows spelling;
# these are the names orva/extensions/ExtensionLayout.h gives the programs,
# repeated here only because the build has to place the files.
set(ORVA_INSTALL_EXTENSIONS_DIR "Extensions")
set(ORVA_INSTALL_INSTALLER_DIR "Extensions/00000001")
if(WIN32)
  set(ORVA_EXE_SUFFIX ".exe")
else()
  set(ORVA_EXE_SUFFIX "")
endif()

# Adds the manifest that makes the process code page UTF-8 on Windows, so that
# the C runtime and argv see extension names as UTF-8 as everywhere else.
# MSVC embeds a .manifest source itself; MinGW's windres takes it from a .rc.
function(orva_utf8_manifest target)
  if(MSVC)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows/utf8.manifest)
  elseif(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/windows/utf8.rc)
  endif()
endfunction()

# A windowed program: no console of its own on Windows.
function(orva_windows_program target)
  if(WIN32)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    orva_utf8_manifest(${target})
  endif()
endfunction()

# The programs a user sees in Explorer (ORVA and packsetup, which opens packs)
# carry ORVA's icon (icon/).
function(orva_program_icon target)
  if(WIN32)
    target_sources(${target} PRIVATE ${ORVA_ICON_DIR}/orva-icon.rc)
    add_dependencies(${target} orva_icon_files)
    # windres's dependency scan sees #include only, not the .ico it embeds:
    # without this a new drawing would leave the old icon in the program.
    # (A source's properties belong to the folder that uses it: this one's.)
    set_property(SOURCE ${ORVA_ICON_DIR}/orva-icon.rc APPEND PROPERTY OBJECT_DEPENDS ${ORVA_ICON_DIR}/orva.ico)
  endif()
endfunction()

# A fresh app folder starts with five empty start lists, and the installer's
# folder with its name file (the extension name, no line break). Lists that
# exist (an upgrade over a folder in use) are never overwritten.
install(CODE [[
  set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  foreach(list Listener Controller Runner Structure MainControllerExtension)
    if(NOT EXISTS "${root}/Start/${list}.etl")
      file(WRITE "${root}/Start/${list}.etl" "")
    endif()
  endforeach()
  file(WRITE "${root}/Extensions/00000001/ExtensionName.etn" "packsetup")
]])
