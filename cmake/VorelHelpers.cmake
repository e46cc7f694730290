# vorel_add_library(NAME SRCS a.cc b.cc DEPS vorel::x ... [PRIVATE_DEPS ...])
# Makes the static library vorel_NAME with the alias vorel::NAME. Its public headers are
# included as "NAME/header.h" from the repository root.
function(vorel_add_library name)
  cmake_parse_arguments(ARG "" "" "SRCS;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(vorel_${name} STATIC ${ARG_SRCS})
  add_library(vorel::${name} ALIAS vorel_${name})
  target_include_directories(vorel_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(vorel_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# vorel_add_test(NAME SRCS a_test.cc ... DEPS vorel::x ...)
# One GoogleTest binary, registered with CTest. Tests run headless: no display, no sound card.
function(vorel_add_test name)
  cmake_parse_arguments(ARG "" "" "SRCS;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SRCS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  if(NOT ARG_SRCS MATCHES "test_main")
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(VOREL_SANITIZE)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/sanitizer_defaults.cc)
  endif()
  # Test programs that need VOREL_AUDIO=null or VOREL_NONINTERACTIVE=1 set them in their own
  # main(): the properties of discovered tests carry one environment variable only.
  gtest_discover_tests(${name} NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endfunction()
