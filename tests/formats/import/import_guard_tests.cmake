# Tests of the sandboxed import's checks: the answer's decoding, the declared sizes on files the tests
# write, the reader's confined file access and whole reads in the sandbox, with real assimp. Included
# from the top-level list (CMAKE_CURRENT_LIST_DIR is this folder).
find_package(GTest REQUIRED)
find_package(ZLIB REQUIRED)
include(GoogleTest)

add_executable(import_guard_tests
  ${CMAKE_CURRENT_LIST_DIR}/wire_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/declared_sizes_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/confined_io_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/confined_read_test.cpp)
target_link_libraries(import_guard_tests PRIVATE zem_import_confined zem_formats zem_testlib ZLIB::ZLIB GTest::gtest_main)
gtest_discover_tests(import_guard_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS import_guard TIMEOUT 120
  ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/assimp_leaks.supp:print_suppressions=0")
