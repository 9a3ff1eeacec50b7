# On Windows, copy the Qt runtime next to the installed programs when
# windeployqt is available. libarchive and its compression libraries are not
# Qt's: ship their DLLs beside packsetup.exe and etipack.exe (for example from
# vcpkg's bin folder).
if(WIN32)
  get_target_property(_qmake Qt5::qmake IMPORTED_LOCATION)
  get_filename_component(_qtbin "${_qmake}" DIRECTORY)
  find_program(WINDEPLOYQT_EXE windeployqt HINTS "${_qtbin}")
  if(WINDEPLOYQT_EXE)
    # packsetup lives in its own folder, so it gets a Qt runtime of its own.
    foreach(_program ORVA.exe Extensions/chainlaunch.exe Extensions/00000001/packsetup.exe etipack.exe)
      install(CODE "execute_process(COMMAND \"${WINDEPLOYQT_EXE}\" --no-translations --no-compiler-runtime
                      \"\${CMAKE_INSTALL_PREFIX}/${_program}\")")
    endforeach()
  else()
    message(STATUS "windeployqt not found: the installed folder will need Qt on PATH")
  endif()
endif()
