# quorvel_gtest(<name> SOURCES ... LIBS ...): a GoogleTest executable
# registered with CTest as one test per TEST().
find_package(GTest REQUIRED)
include(GoogleTest)

function(quorvel_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main quorvel_testsupport quorvel_options)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QUORVEL_FAKE_PING_DIR="${PROJECT_SOURCE_DIR}/tests/fakeping"
    QUORVEL_TEST_TMP="${CMAKE_BINARY_DIR}/testtmp")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# quorvel_qtest(<name> SOURCES ... LIBS ...): a Qt Test executable run under
# the offscreen platform.
function(quorvel_qtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test quorvel_testsupport quorvel_options)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QUORVEL_FAKE_PING_DIR="${PROJECT_SOURCE_DIR}/tests/fakeping"
    QUORVEL_TEST_TMP="${CMAKE_BINARY_DIR}/testtmp")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
