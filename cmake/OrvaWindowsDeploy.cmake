# The Windows app folder runs from itself: each program finds its DLLs in its
# own folder first, so every folder holding a program (the top, Extensions/
# for chainlaunch.exe, Extensions/00000001/ for packsetup.exe) gets the DLLs
# that program needs and Qt's plugins for Windows: platforms/qwindows.dll and
# styles/qwindowsvistastyle.dll, the native look, a plugin of its own in Qt 6.
if(NOT WIN32)
  return()
endif()

if(MINGW)
  # Cross-built with the kit of scripts/build-windows-kit.sh (or any MinGW
  # Qt): the DLLs are found by reading the programs' imports with objdump.
  # The plugins' and the library's files are properties of the versioned
  # targets only (Qt 5's versionless ones are interface targets).
  function(_orva_imported_file target variable)
    get_target_property(file ${target} IMPORTED_LOCATION_RELEASE)
    if(NOT file)
      get_target_property(file ${target} IMPORTED_LOCATION)
    endif()
    if(NOT file)
      message(FATAL_ERROR "${target} names no file to deploy")
    endif()
    set(${variable} "${file}" PARENT_SCOPE)
  endfunction()
  _orva_imported_file(Qt${ORVA_QT_MAJOR}::QWindowsIntegrationPlugin _orva_qwindows)
  set(_orva_plugins "${_orva_qwindows}")
  if(TARGET Qt${ORVA_QT_MAJOR}::QWindowsVistaStylePlugin)
    _orva_imported_file(Qt${ORVA_QT_MAJOR}::QWindowsVistaStylePlugin _orva_vistastyle)
    list(APPEND _orva_plugins "${_orva_vistastyle}")
  endif()
  _orva_imported_file(Qt${ORVA_QT_MAJOR}::Core _orva_qtcore)
  get_filename_component(_orva_qtbin "${_orva_qtcore}" DIRECTORY)
  set(_orva_dll_dirs "${_orva_qtbin}")
  foreach(_orva_dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_orva_dll}
                    OUTPUT_VARIABLE _orva_found OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(_orva_found "${_orva_found}" DIRECTORY)
    list(APPEND _orva_dll_dirs "${_orva_found}")
  endforeach()
  foreach(_orva_root IN LISTS CMAKE_FIND_ROOT_PATH)
    list(APPEND _orva_dll_dirs "${_orva_root}/bin")
  endforeach()
  find_program(ORVA_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)
else()
  # MSVC with a Qt kit: windeployqt copies the Qt runtime. libarchive and its
  # compression libraries are not Qt's: ship their DLLs beside packsetup.exe
  # and etipack.exe (for example from vcpkg's bin folder).
  get_target_property(_qmake Qt${ORVA_QT_MAJOR}::qmake IMPORTED_LOCATION)
  get_filename_component(_qtbin "${_qmake}" DIRECTORY)
  find_program(WINDEPLOYQT_EXE windeployqt HINTS "${_qtbin}")
  if(NOT WINDEPLOYQT_EXE)
    message(STATUS "windeployqt not found: the installed folder will need Qt on PATH")
    return()
  endif()
endif()

# The DLLs of the programs (targets) installed into `folder`.
function(orva_deploy_dlls folder)
  if(NOT MINGW)
    foreach(program IN LISTS ARGN)
      install(CODE "execute_process(COMMAND \"${WINDEPLOYQT_EXE}\" --no-translations --no-compiler-runtime
                      \"\${CMAKE_INSTALL_PREFIX}/${folder}/$<TARGET_FILE_NAME:${program}>\")")
    endforeach()
    return()
  endif()
  set(executables)
  foreach(program IN LISTS ARGN)
    list(APPEND executables "\${root}/${folder}/$<TARGET_FILE_NAME:${program}>")
  endforeach()
  # Each plugin goes into the folder of its kind, as in the kit (platforms/, styles/).
  foreach(plugin IN LISTS _orva_plugins)
    get_filename_component(kind "${plugin}" DIRECTORY)
    get_filename_component(kind "${kind}" NAME)
    install(FILES "${plugin}" DESTINATION "${folder}/${kind}")
  endforeach()
  install(CODE "
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
    set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${ORVA_OBJDUMP}\")
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(folder \"\${root}/${folder}\")
    set(executables \"${executables}\")
    set(dll_dirs \"${_orva_dll_dirs}\")
    set(plugins \"${_orva_plugins}\")
    set(strip \"${CMAKE_STRIP}\")
  " CODE [[
    # CMake looks for Windows DLLs by their lower-case names, which a Linux
    # file system does not find for Qt's (Qt6Core.dll, Qt5Core.dll): those
    # are matched here, then read for their own imports in a second pass.
    # DLLs of an earlier install would be found beside the programs too,
    # and conflict with the kit's: they are copied afresh.
    file(GLOB earlier "${folder}/*.dll")
    if(earlier)
      file(REMOVE ${earlier})
    endif()
    set(libraries ${plugins})
    foreach(pass 1 2)
      file(GET_RUNTIME_DEPENDENCIES
        EXECUTABLES ${executables}
        LIBRARIES ${libraries}
        DIRECTORIES ${dll_dirs}
        RESOLVED_DEPENDENCIES_VAR found
        UNRESOLVED_DEPENDENCIES_VAR unresolved
        PRE_EXCLUDE_REGEXES "^api-ms-" "^ext-ms-")
      foreach(dir IN LISTS dll_dirs)
        file(GLOB candidates "${dir}/*.dll")
        foreach(candidate IN LISTS candidates)
          get_filename_component(name "${candidate}" NAME)
          string(TOLOWER "${name}" name)
          list(FIND unresolved "${name}" wanted)
          list(FIND libraries "${candidate}" known)
          if(NOT wanted EQUAL -1 AND known EQUAL -1)
            list(APPEND libraries "${candidate}")
          endif()
        endforeach()
      endforeach()
    endforeach()
    # What stays unresolved is Windows' own (kernel32.dll and the like).
    list(REMOVE_ITEM libraries ${plugins})
    foreach(dll IN LISTS found libraries)
      file(INSTALL "${dll}" DESTINATION "${folder}")
      # Their debugging symbols would triple the folder's size.
      get_filename_component(name "${dll}" NAME)
      execute_process(COMMAND "${strip}" --strip-unneeded "${folder}/${name}")
    endforeach()
    # The plugins, which the rules before this one installed, likewise.
    foreach(plugin IN LISTS plugins)
      get_filename_component(name "${plugin}" NAME)
      get_filename_component(kind "${plugin}" DIRECTORY)
      get_filename_component(kind "${kind}" NAME)
      execute_process(COMMAND "${strip}" --strip-unneeded "${folder}/${kind}/${name}")
    endforeach()
  ]])
endfunction()

orva_deploy_dlls(. ORVA etipack)
orva_deploy_dlls(${ORVA_INSTALL_EXTENSIONS_DIR} chainlaunch)
orva_deploy_dlls(${ORVA_INSTALL_INSTALLER_DIR} packsetup)
include(OrvaWindowsNotices)
