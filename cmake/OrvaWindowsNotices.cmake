# The Windows app folder carries the licences of everything it bundles:
# ORVA's own as LICENSE.txt, and every other component's copyright file, the
# licence texts that file refers to and one THIRD-PARTY-NOTICES.txt naming
# them all (packaging/windows/notices.py, after packaging/windows/components.tsv).
# A DLL or program of the folder that the table does not place fails the
# install. What a program links statically is read from its link map (ld's
# -Map): the archives the linker took members from and the objects it loaded,
# so a new static library cannot slip in unnoticed.
# MinGW only: an MSVC build gets no notices (no link maps, no kit manifest).
if(NOT MINGW)
  return()
endif()
find_package(Python3 3.8 REQUIRED COMPONENTS Interpreter)

set(_orva_link_maps "${PROJECT_BINARY_DIR}/link-maps")
file(MAKE_DIRECTORY "${_orva_link_maps}")
set(_orva_linked)
# `file` of the app folder holds the program `target` links.
function(orva_link_map target file)
  target_link_options(${target} PRIVATE "LINKER:-Map=${_orva_link_maps}/${target}.map")
  set(_orva_linked ${_orva_linked} --linked "${file}=${_orva_link_maps}/${target}.map" PARENT_SCOPE)
endfunction()
orva_link_map(ORVA "$<TARGET_FILE_NAME:ORVA>")
orva_link_map(etipack "$<TARGET_FILE_NAME:etipack>")
orva_link_map(chainlaunch "${ORVA_INSTALL_EXTENSIONS_DIR}/$<TARGET_FILE_NAME:chainlaunch>")
orva_link_map(packsetup "${ORVA_INSTALL_INSTALLER_DIR}/$<TARGET_FILE_NAME:packsetup>")
if(ORVA_BUILD_SAMPLES)
  # The sample packs carry one program each, linked statically.
  foreach(sample InboxWatcher InboxLogger)
    orva_link_map(${sample} "Packs/${sample}.etipack")
  endforeach()
endif()

# After every other install step: the folder is complete by then.
install(CODE "
  execute_process(COMMAND \"${Python3_EXECUTABLE}\" -B \"${PROJECT_SOURCE_DIR}/packaging/windows/notices.py\"
                          --app \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\" --kit \"${ORVA_WINDOWS_KIT}\"
                          --table \"${PROJECT_SOURCE_DIR}/packaging/windows/components.tsv\"
                          --licence \"${PROJECT_SOURCE_DIR}/LICENSE\" --build \"${PROJECT_BINARY_DIR}\"
                          ${_orva_linked}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR \"The app folder lacks licence texts (notices.py, above).\")
  endif()
")
