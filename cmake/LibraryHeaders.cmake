# Each library sees the headers of itself and of what it links, nothing else: its headers are staged as
# links under build/include/<target>/<path below Sources>, and that root is the library's include
# directory. An include of a library not linked then fails to compile, so the link graph is the layering.
#
#   vm_library_headers(<target> DIR <folder below the project> [HEADERS <name>...] [EXCLUDE <name>...])
#
# Without HEADERS, every *.h and *.inc directly in DIR (not its subfolders, which are other libraries),
# less EXCLUDE (headers that form small libraries of their own).
function(vm_library_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DIR" "HEADERS;EXCLUDE")
  set(dir ${PROJECT_SOURCE_DIR}/${arg_DIR})
  file(RELATIVE_PATH below ${PROJECT_SOURCE_DIR}/Sources ${dir})
  if(arg_HEADERS)
    list(TRANSFORM arg_HEADERS PREPEND ${dir}/ OUTPUT_VARIABLE headers)
  else()
    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h ${dir}/*.inc)
  endif()
  foreach(name IN LISTS arg_EXCLUDE)
    list(REMOVE_ITEM headers ${dir}/${name})
  endforeach()
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  # Staged afresh on every configure, so a header removed or moved away leaves no stale link behind.
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${below})
  foreach(header IN LISTS headers)
    if(NOT EXISTS ${header})
      message(FATAL_ERROR "vm_library_headers(${target}): no header ${header}")
    endif()
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${below}/${name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
