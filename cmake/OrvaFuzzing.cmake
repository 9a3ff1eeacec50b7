# ORVA_FUZZ=ON builds only the libraries that read untrusted bytes, with
# coverage and sanitizer instrumentation, and the libFuzzer programs in
# tests/fuzz. The GUI programs and the regular tests are left out.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ORVA_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
endif()

# Every library gets coverage for libFuzzer plus ASan/UBSan; only the fuzz
# programs link libFuzzer's main (tests/fuzz/CMakeLists.txt).
target_compile_options(orva_common INTERFACE
  -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
target_link_options(orva_common INTERFACE -fsanitize=address,undefined)

find_package(Qt${ORVA_QT_MAJOR} ${ORVA_QT_MIN_VERSION} REQUIRED COMPONENTS Test)
add_subdirectory(platform)
add_subdirectory(orva/extensions)
add_subdirectory(pack)
add_subdirectory(installer)

enable_testing()
add_subdirectory(tests/support)
add_subdirectory(tests/fuzz)
