# Read by cpack while it makes the Debian package: the package's dependencies, computed from the
# built program and audio library themselves.
#
# dpkg-shlibdeps gives the libraries they are linked with, with the versions their symbols need.
# The libraries Vorel opens by name when it first needs them (FFmpeg, SDL, FFTW, libcurl,
# OpenSSL, the sound server's client) are found by opened_library_packages.sh. The union, each
# package once, is the Depends field.
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST): cpack reads this file without the project's policies
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(work "${CPACK_TOPLEVEL_DIRECTORY}/vorel-depends")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")  # dpkg-shlibdeps insists on one
set(shlibdeps_args -O)
foreach(f IN LISTS CPACK_VOREL_PACKAGED_BINARIES)
  list(APPEND shlibdeps_args "-e${f}")
endforeach()
execute_process(COMMAND dpkg-shlibdeps ${shlibdeps_args}
                WORKING_DIRECTORY "${work}"
                OUTPUT_VARIABLE linked ERROR_VARIABLE shlibdeps_warnings
                RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed: ${shlibdeps_warnings}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" linked "${linked}")

execute_process(COMMAND bash "${CPACK_VOREL_SOURCE_DIR}/packaging/opened_library_packages.sh"
                        ${CPACK_VOREL_PACKAGED_BINARIES}
                OUTPUT_VARIABLE opened ERROR_VARIABLE opened_error
                RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the libraries opened by name have no package: ${opened_error}")
endif()

string(REPLACE ", " ";" depends "${linked}")
set(named)
foreach(d IN LISTS depends)
  string(REGEX REPLACE " .*" "" name "${d}")
  list(APPEND named "${name}")
endforeach()
string(REPLACE "\n" ";" opened "${opened}")
foreach(p IN LISTS opened)
  if(NOT p IN_LIST named)
    list(APPEND depends "${p}")
    list(APPEND named "${p}")
  endif()
endforeach()
list(SORT depends)
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
