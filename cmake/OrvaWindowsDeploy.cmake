# On Windows, copy the Qt runtime next to the installed programs when
# windeployqt is available.
if(WIN32)
  get_target_property(_qmake Qt5::qmake IMPORTED_LOCATION)
  get_filename_component(_qtbin "${_qmake}" DIRECTORY)
  find_program(WINDEPLOYQT_EXE windeployqt HINTS "${_qtbin}")
  if(WINDEPLOYQT_EXE)
    install(CODE "execute_process(COMMAND \"${WINDEPLOYQT_EXE}\" --no-translations --no-compiler-runtime
                    \"\${CMAKE_INSTALL_PREFIX}/ORVA.exe\"
                    \"\${CMAKE_INSTALL_PREFIX}/Extensions/chainlaunch.exe\")")
  else()
    message(STATUS "windeployqt not found: the installed folder will need Qt on PATH")
  endif()
endif()
