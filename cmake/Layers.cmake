# The project's warnings, for its own code only: a target that each of its targets links, so
# that libraries built from source beside it (GoogleTest for the cross build) keep theirs.
add_library(qrx_warnings INTERFACE)
target_compile_options(qrx_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror
  # clang's -Wconversion also warns of signedness, which GCC's leaves to -Wsign-conversion.
  $<$<CXX_COMPILER_ID:Clang>:-Wno-sign-conversion>)

# One library per folder of the source tree. A layer sees its own folder and the folders of the
# layers below it, and nothing else: its include root in the build tree holds links to exactly
# those folders, so that an include that points up does not build.
#
#   qrx_layer(NAME FOLDERS folder... [SOURCES file...] [DEPENDS layer...] [KIND STATIC|MODULE...])
function(qrx_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 L "" "KIND" "FOLDERS;SOURCES;DEPENDS")
  if(NOT L_KIND)
    set(L_KIND STATIC)
  endif()
  add_library(${name} ${L_KIND} ${L_SOURCES})
  set(folders ${L_FOLDERS})
  foreach(dep IN LISTS L_DEPENDS)
    get_target_property(below ${dep} QRX_LAYER_FOLDERS)
    list(APPEND folders ${below})
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set_target_properties(${name} PROPERTIES QRX_LAYER_FOLDERS "${folders}")
  qrx_include_root(${name} ${folders})
  target_link_libraries(${name} PRIVATE ${L_DEPENDS} qrx_warnings)
endfunction()

# Gives `target` an include root that shows only `folders` of the source tree. A folder inside
# another that is shown already (platform/linux inside platform) needs no link of its own.
function(qrx_include_root target)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  foreach(folder IN LISTS ARGN)
    set(covered FALSE)
    foreach(other IN LISTS ARGN)
      if(NOT folder STREQUAL other AND folder MATCHES "^${other}/")
        set(covered TRUE)
      endif()
    endforeach()
    if(NOT covered)
      get_filename_component(parent ${root}/${folder} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()
