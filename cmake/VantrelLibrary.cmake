# vantrel_library(<folder-name> DEPS <libs...> [EXTRA_LIBS <system libs...>])
#
# Every library folder builds one target, vantrel_<folder>, from the .cpp files it holds (and
# those of its sub-folders). Platform files are picked by name so that portable code never needs
# a build switch:
#   *_win32.cpp and anything under a win32/ folder  -> Windows builds only
#   *_posix.cpp                                     -> every other build
# A folder without sources yet becomes an INTERFACE target so dependants link the same way.
# Headers are named from the source tree's root ("runtime/text/cp1250.h"), also when another
# project (the Windows test build) takes these folders in.
function(vantrel_library name)
  get_filename_component(root "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.." ABSOLUTE)
  cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_LIBS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(kept)
  foreach(src IN LISTS sources)
    file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${src})
    set(is_win OFF)
    if(rel MATCHES "(^|/)win32/" OR rel MATCHES "_win32\\.cpp$")
      set(is_win ON)
    endif()
    if(is_win AND NOT WIN32)
      continue()
    endif()
    if(rel MATCHES "_posix\\.cpp$" AND WIN32)
      continue()
    endif()
    set(skip OFF)
    foreach(pattern IN LISTS ARG_EXCLUDE)
      if(rel MATCHES "${pattern}")
        set(skip ON)
      endif()
    endforeach()
    if(NOT skip)
      list(APPEND kept ${src})
    endif()
  endforeach()
  set(target vantrel_${name})
  if(kept)
    add_library(${target} STATIC ${kept})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS} ${ARG_EXTRA_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS} ${ARG_EXTRA_LIBS})
  endif()
endfunction()
