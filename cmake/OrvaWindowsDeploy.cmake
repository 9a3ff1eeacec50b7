# The Windows app folder runs from itself: each program finds its DLLs in its
# own folder first, so every folder holding a program (the top, Extensions/
# for chainlaunch.exe, Extensions/00000001/ for packsetup.exe) gets the DLLs
# that program needs and, for Qt programs, platforms/qwindows.dll.
if(NOT WIN32)
  return()
endif()

if(MINGW)
  # Cross-built with the kit of scripts/build-windows-kit.sh (or any MinGW
  # Qt): the DLLs are found by reading the programs' imports with objdump.
  get_target_property(_orva_qwindows Qt5::QWindowsIntegrationPlugin IMPORTED_LOCATION_RELEASE)
  if(NOT _orva_qwindows)
    get_target_property(_orva_qwindows Qt5::QWindowsIntegrationPlugin IMPORTED_LOCATION)
  endif()
  get_target_property(_orva_qtcore Qt5::Core IMPORTED_LOCATION_RELEASE)
  if(NOT _orva_qtcore)
    get_target_property(_orva_qtcore Qt5::Core IMPORTED_LOCATION)
  endif()
  get_filename_component(_orva_qtbin "${_orva_qtcore}" DIRECTORY)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                  OUTPUT_VARIABLE _orva_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                  OUTPUT_VARIABLE _orva_winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_orva_gccdir "${_orva_libstdcxx}" DIRECTORY)
  get_filename_component(_orva_pthreaddir "${_orva_winpthread}" DIRECTORY)
  set(_orva_dll_dirs "${_orva_qtbin}" "${_orva_gccdir}" "${_orva_pthreaddir}")
  foreach(_orva_root IN LISTS CMAKE_FIND_ROOT_PATH)
    list(APPEND _orva_dll_dirs "${_orva_root}/bin")
  endforeach()
  find_program(ORVA_OBJDUMP NAMES ${CMAKE_CXX_COMPILER_TARGET}-objdump x86_64-w64-mingw32-objdump objdump)

  set(_orva_folders "." "${ORVA_INSTALL_EXTENSIONS_DIR}" "${ORVA_INSTALL_INSTALLER_DIR}")
  set(_orva_programs "ORVA.exe" "${ORVA_INSTALL_EXTENSIONS_DIR}/chainlaunch.exe"
                     "${ORVA_INSTALL_INSTALLER_DIR}/packsetup.exe")
  foreach(_orva_folder IN LISTS _orva_folders)
    install(FILES "${_orva_qwindows}" DESTINATION "${_orva_folder}/platforms")
  endforeach()
  install(CODE "
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${ORVA_OBJDUMP}\")
    set(folders \"${_orva_folders}\")
    set(programs \"${_orva_programs};etipack.exe\")
    set(dll_dirs \"${_orva_dll_dirs}\")
    set(plugin \"${_orva_qwindows}\")
    set(strip \"${CMAKE_STRIP}\")
  " CODE [[
    set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    foreach(folder IN LISTS folders)
      set(executables)
      foreach(program IN LISTS programs)
        get_filename_component(program_folder "${program}" DIRECTORY)
        if(program_folder STREQUAL "")
          set(program_folder ".")
        endif()
        if(program_folder STREQUAL folder)
          list(APPEND executables "${root}/${program}")
        endif()
      endforeach()
      # CMake looks for Windows DLLs by their lower-case names, which a Linux
      # file system does not find for Qt5Core.dll: those are matched here,
      # then read for their own imports in a second pass.
      set(libraries "${plugin}")
      foreach(pass 1 2)
        file(GET_RUNTIME_DEPENDENCIES
          EXECUTABLES ${executables}
          LIBRARIES ${libraries}
          DIRECTORIES ${dll_dirs}
          RESOLVED_DEPENDENCIES_VAR found
          UNRESOLVED_DEPENDENCIES_VAR unresolved
          PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-")
        foreach(name IN LISTS unresolved)
          foreach(dir IN LISTS dll_dirs)
            file(GLOB candidates "${dir}/*.dll")
            foreach(candidate IN LISTS candidates)
              get_filename_component(candidate_name "${candidate}" NAME)
              string(TOLOWER "${candidate_name}" candidate_name)
              list(FIND libraries "${candidate}" known)
              if(candidate_name STREQUAL name AND known EQUAL -1)
                list(APPEND libraries "${candidate}")
              endif()
            endforeach()
          endforeach()
        endforeach()
      endforeach()
      # What stays unresolved is Windows' own (kernel32.dll and the like).
      list(REMOVE_ITEM libraries "${plugin}")
      foreach(dll IN LISTS found libraries)
        file(INSTALL "${dll}" DESTINATION "${root}/${folder}")
        # Their debugging symbols would triple the folder's size.
        get_filename_component(dll_name "${dll}" NAME)
        execute_process(COMMAND "${strip}" --strip-unneeded "${root}/${folder}/${dll_name}")
      endforeach()
    endforeach()
  ]])
  return()
endif()

# MSVC with a Qt kit: windeployqt copies the Qt runtime. libarchive and its
# compression libraries are not Qt's: ship their DLLs beside packsetup.exe
# and etipack.exe (for example from vcpkg's bin folder).
get_target_property(_qmake Qt5::qmake IMPORTED_LOCATION)
get_filename_component(_qtbin "${_qmake}" DIRECTORY)
find_program(WINDEPLOYQT_EXE windeployqt HINTS "${_qtbin}")
if(WINDEPLOYQT_EXE)
  foreach(_program ORVA.exe Extensions/chainlaunch.exe Extensions/00000001/packsetup.exe etipack.exe)
    install(CODE "execute_process(COMMAND \"${WINDEPLOYQT_EXE}\" --no-translations --no-compiler-runtime
                    \"\${CMAKE_INSTALL_PREFIX}/${_program}\")")
  endforeach()
else()
  message(STATUS "windeployqt not found: the installed folder will need Qt on PATH")
endif()
