# orva_add_qtest(<name> SOURCES ... LIBS ... [GUI])
# One QtTest program per area, registered with CTest under the label "fast".
# GUI tests run on the offscreen platform, so that they need no display.
# Under Wine the sources and the build are on drive Z:, whatever the test's
# current drive.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(ORVA_TEST_DRIVE "Z:")
endif()

function(orva_add_qtest name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE
    ORVA_TEST_STANDIN="${ORVA_TEST_DRIVE}$<TARGET_FILE:orva_standin>"
    ORVA_TEST_DATA="${ORVA_TEST_DRIVE}${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE Qt::Test orva_common ${ARG_LIBS})
  orva_utf8_manifest(${name}) # the code page the programs run with
  if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
    list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 wine)
    add_test(NAME ${name} COMMAND ${wine} --test ${ORVA_WINDOWS_KIT} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(env "LC_ALL=C.UTF-8" "QT_ASSUME_STDERR_HAS_CONSOLE=1")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(ORVA_SANITIZE)
    # Qt and the libraries under it have no frame pointers: only full stacks
    # reach the Qt frames that tests/lsan.supp matches. They cost ten times
    # the time, and only the windows' tests need them.
    set(asan "detect_leaks=1")
    if(ARG_GUI)
      string(APPEND asan ":fast_unwind_on_malloc=0")
    endif()
    list(APPEND env "ASAN_OPTIONS=${asan}"
         "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
         "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" LABELS fast TIMEOUT 300)
endfunction()
