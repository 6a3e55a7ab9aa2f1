# Libraries of the Windows build that Debian ships for Linux only: each is made from Debian's
# source package (its patches applied by dpkg-source) with the cross compiler, as a static
# library installed into one prefix in the build folder. It happens while the build is
# configured, once: a stamp beside the prefix records the recipe, and a later configure of the
# same folder that finds it pays nothing. Removing build/windows/mingw-deps makes them again.
#
#   qrx_mingw_dep(<name> SOURCE <Debian source package>
#     [CMAKE_ARGS <arguments of the library's own CMake build>]
#     [TARGETS <targets to build; without them everything is built and installed>]
#     [COPY <file> <folder in the prefix> ...])
#
# COPY takes <SOURCE_DIR>/... and <BINARY_DIR>/... paths; with TARGETS it replaces the library's
# own install step (for a library that builds a shared and a static form and installs both).
# Import libraries and DLLs are removed from the prefix, so that what finds a library there
# (find_package of the next one, or this project) takes the static one. The libraries find each
# other through QRX_MINGW_PREFIX, which is also a root of this build's search paths.

set(QRX_MINGW_DEPS ${CMAKE_BINARY_DIR}/mingw-deps)
set(QRX_MINGW_PREFIX ${QRX_MINGW_DEPS}/prefix)
list(APPEND CMAKE_FIND_ROOT_PATH ${QRX_MINGW_PREFIX})

# The libraries' own builds use this project's toolchain, with the prefix as a further root.
file(MAKE_DIRECTORY ${QRX_MINGW_PREFIX}/include ${QRX_MINGW_PREFIX}/lib)
file(WRITE ${QRX_MINGW_DEPS}/toolchain.cmake
  "include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)\n"
  "list(APPEND CMAKE_FIND_ROOT_PATH ${QRX_MINGW_PREFIX})\n"
  "set(CMAKE_CROSSCOMPILING_EMULATOR \"\")\n")

find_program(QRX_APT_GET apt-get REQUIRED)
find_program(QRX_APT_CACHE apt-cache REQUIRED)
find_program(QRX_DPKG_SOURCE dpkg-source REQUIRED)

function(qrx_mingw_run log)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_FILE ${log}.out
    ERROR_FILE ${log}.err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nfailed (${result}); see ${log}.out and ${log}.err")
  endif()
endfunction()

# Debian's source of `package` unpacked into `dir`: the candidate version, else the newest one
# the mirror still has (a security update's files can be missing from a snapshot).
function(qrx_mingw_fetch package dir)
  set(downloads ${QRX_MINGW_DEPS}/downloads/${package})
  file(REMOVE_RECURSE ${downloads} ${dir})
  file(MAKE_DIRECTORY ${downloads})
  execute_process(COMMAND ${QRX_APT_CACHE} showsrc ${package} OUTPUT_VARIABLE listing
    RESULT_VARIABLE result ERROR_QUIET)
  string(REGEX MATCHALL "\nVersion: [^\n]+" versions "\n${listing}")
  list(TRANSFORM versions REPLACE "\nVersion: " "${package}=")
  list(REMOVE_DUPLICATES versions)
  list(REVERSE versions)
  if(NOT result EQUAL 0 OR NOT versions)
    message(FATAL_ERROR "apt knows no source package ${package}: scripts/setup.sh adds "
      "Debian's deb-src entries")
  endif()
  foreach(wanted ${package} ${versions})
    file(GLOB stale ${downloads}/*)
    if(stale)
      file(REMOVE ${stale})
    endif()
    execute_process(COMMAND ${QRX_APT_GET} source --download-only -qq ${wanted}
      WORKING_DIRECTORY ${downloads} RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    file(GLOB dsc ${downloads}/*.dsc)
    if(result EQUAL 0 AND dsc)
      message(STATUS "Windows libraries: unpacking Debian's ${dsc}")
      qrx_mingw_run(${dir}.unpack ${QRX_DPKG_SOURCE} -x ${dsc} ${dir})
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "Debian's source package ${package} cannot be downloaded")
endfunction()

function(qrx_mingw_dep name)
  cmake_parse_arguments(PARSE_ARGV 1 dep "" "SOURCE" "CMAKE_ARGS;TARGETS;COPY")
  set(stamp ${QRX_MINGW_DEPS}/${name}.stamp)
  set(recipe "${dep_SOURCE};${dep_CMAKE_ARGS};${dep_TARGETS};${dep_COPY}")
  if(EXISTS ${stamp})
    file(READ ${stamp} made)
    if(made STREQUAL recipe)
      return()
    endif()
  endif()
  set(source_dir ${QRX_MINGW_DEPS}/src/${name})
  set(binary_dir ${QRX_MINGW_DEPS}/build/${name})
  file(MAKE_DIRECTORY ${QRX_MINGW_DEPS}/src ${QRX_MINGW_DEPS}/build)
  qrx_mingw_fetch(${dep_SOURCE} ${source_dir})
  message(STATUS "Windows libraries: building ${name} (once for this build folder)")
  file(REMOVE_RECURSE ${binary_dir})
  set(launcher)
  if(DEFINED ENV{CMAKE_CXX_COMPILER_LAUNCHER})
    set(launcher -DCMAKE_C_COMPILER_LAUNCHER=$ENV{CMAKE_CXX_COMPILER_LAUNCHER})
  endif()
  qrx_mingw_run(${binary_dir}.configure ${CMAKE_COMMAND} -S ${source_dir} -B ${binary_dir}
    -G "${CMAKE_GENERATOR}" -DCMAKE_TOOLCHAIN_FILE=${QRX_MINGW_DEPS}/toolchain.cmake
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${QRX_MINGW_PREFIX}
    -DBUILD_SHARED_LIBS=OFF ${launcher} ${dep_CMAKE_ARGS})
  if(dep_TARGETS)
    qrx_mingw_run(${binary_dir}.build ${CMAKE_COMMAND} --build ${binary_dir}
      --target ${dep_TARGETS})
  else()
    qrx_mingw_run(${binary_dir}.build ${CMAKE_COMMAND} --build ${binary_dir})
    qrx_mingw_run(${binary_dir}.install ${CMAKE_COMMAND} --install ${binary_dir})
  endif()
  set(copy ${dep_COPY})
  while(copy)
    list(POP_FRONT copy file folder)
    string(REPLACE "<SOURCE_DIR>" ${source_dir} file ${file})
    string(REPLACE "<BINARY_DIR>" ${binary_dir} file ${file})
    file(COPY ${file} DESTINATION ${QRX_MINGW_PREFIX}/${folder})
  endwhile()
  file(GLOB_RECURSE shared ${QRX_MINGW_PREFIX}/*.dll.a ${QRX_MINGW_PREFIX}/*.dll)
  if(shared)
    file(REMOVE ${shared})
  endif()
  file(WRITE ${stamp} "${recipe}")
endfunction()
