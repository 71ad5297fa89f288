# Fails when a source file includes a header of a higher layer, or of a sibling it must not
# know. Run as: cmake -DROOT=<source tree> -P check_layers.cmake
#
# The libraries' order is runtime < ui, xml < framework < app < tools; ui and xml do not know
# each other. The runtime is itself six libraries, one folder each (runtime/CMakeLists.txt):
# text < seam < errors < system < queue, and dialog on text alone; a source directly in runtime/
# belongs to none and is refused. The layers above may include any of the six. Tests of a library
# may include what that library may, plus tests/ helpers; a helper kept with a library's tests
# (tests/app/...) counts as that library.
cmake_minimum_required(VERSION 3.20)
if(NOT ROOT)
  message(FATAL_ERROR "check_layers: pass -DROOT=<source tree>")
endif()

set(allowed_runtime/text runtime/text)
set(allowed_runtime/seam runtime/seam runtime/text)
set(allowed_runtime/errors runtime/errors runtime/seam runtime/text)
set(allowed_runtime/system runtime/system runtime/errors runtime/seam runtime/text)
set(allowed_runtime/queue runtime/queue runtime/system runtime/errors runtime/seam runtime/text)
set(allowed_runtime/dialog runtime/dialog runtime/text)
set(allowed_ui ui runtime)
set(allowed_xml xml runtime)
set(allowed_framework framework ui runtime)
set(allowed_app app framework xml ui runtime)
set(allowed_tools tools app framework xml ui runtime)
set(allowed_tests/runtime tests runtime)
set(allowed_tests/store tests runtime)
set(allowed_tests/samba tests runtime)
set(allowed_tests/registry tests runtime)
set(allowed_tests/ui tests ui runtime)
set(allowed_tests/xml tests xml runtime)
set(allowed_tests/framework tests framework ui runtime)

set(runtime_libraries runtime/text runtime/seam runtime/errors runtime/system runtime/queue
                      runtime/dialog)
set(libraries runtime ui xml framework app tools)
set(folders ${runtime_libraries} ui xml framework app tools
            tests/runtime tests/store tests/samba tests/registry tests/ui tests/xml tests/framework)
set(faults 0)
set(checked 0)
file(GLOB loose RELATIVE ${ROOT} ${ROOT}/runtime/*.h ${ROOT}/runtime/*.cpp)
foreach(rel IN LISTS loose)
  message(NOTICE "${rel}: a runtime source outside the runtime's libraries: move it into one of "
                 "runtime/text, seam, errors, system, queue, dialog")
  math(EXPR faults "${faults} + 1")
endforeach()
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY ${ROOT}/${folder})
    continue()
  endif()
  file(GLOB_RECURSE files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
      file(RELATIVE_PATH rel ${ROOT} ${file})
      if(header MATCHES "(^|/)\\.\\./")
        message(NOTICE "${rel}: includes \"${header}\": name the header from the source root")
        math(EXPR faults "${faults} + 1")
        continue()
      endif()
      if(NOT header MATCHES "/")
        continue()  # a header beside the file
      endif()
      string(REGEX REPLACE "/.*" "" layer "${header}")
      # Inside the runtime the layer is the library's folder; above it, the runtime as a whole.
      if(folder MATCHES "^runtime/")
        if(header MATCHES "^(runtime/[^/]+)/")
          set(layer ${CMAKE_MATCH_1})
        endif()
      endif()
      # A test helper beside a library's tests belongs to that library's layer.
      if(header MATCHES "^tests/([^/]+)/" AND CMAKE_MATCH_1 IN_LIST libraries)
        set(layer ${CMAKE_MATCH_1})
      endif()
      if(NOT layer IN_LIST allowed_${folder})
        string(REPLACE ";" ", " may "${allowed_${folder}}")
        message(NOTICE "${rel}: includes \"${header}\": ${folder} may include only ${may}")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "check_layers: no sources under ${ROOT}")
endif()
if(faults GREATER 0)
  message(FATAL_ERROR "check_layers: ${faults} include(s) point the wrong way")
endif()
message(STATUS "check_layers: ${checked} files, every include points downwards")
