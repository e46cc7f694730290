# vorel_add_library(NAME SRCS a.cc b.cc [HEADERS a.h ...] DEPS vorel::x ... [PRIVATE_DEPS ...])
# Makes the static library vorel_NAME with the alias vorel::NAME. Its public headers (HEADERS, or
# else every header of its folder) are included as "folder/header.h" by what links it, and the
# headers of its folder's internal/ by its own sources only.
#
# A library exports its own headers and nothing else: each header is linked into
# build/include/public/vorel_NAME/<its path> and only that folder is on the include path of what
# links the library. So a source sees the headers of the libraries it links, directly or through
# their public dependencies, and no other: an include against the layers, or of another
# library's internal/ header, fails to build (tests/layers checks that it does). Tests, benchmarks
# and fuzzers look inside the libraries and include from the repository root.
function(vorel_link_headers folder)
  file(REMOVE_RECURSE ${folder})
  foreach(header ${ARGN})
    file(RELATIVE_PATH path ${PROJECT_SOURCE_DIR} ${header})
    get_filename_component(parent ${folder}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${header} ${folder}/${path} SYMBOLIC)
  endforeach()
endfunction()

function(vorel_add_library name)
  cmake_parse_arguments(ARG "" "" "SRCS;HEADERS;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(vorel_${name} STATIC ${ARG_SRCS})
  add_library(vorel::${name} ALIAS vorel_${name})
  if(ARG_HEADERS)
    set(public)
    foreach(header ${ARG_HEADERS})
      get_filename_component(header ${header} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND public ${header})
    endforeach()
  else()
    file(GLOB public CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  endif()
  file(GLOB internal CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/internal/*.h)
  set(include_dir ${CMAKE_BINARY_DIR}/include)
  vorel_link_headers(${include_dir}/public/vorel_${name} ${public})
  vorel_link_headers(${include_dir}/private/vorel_${name} ${internal})
  target_include_directories(vorel_${name}
    PUBLIC ${include_dir}/public/vorel_${name}
    PRIVATE ${include_dir}/private/vorel_${name})
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
