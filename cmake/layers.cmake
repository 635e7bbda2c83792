# The layer check. Every folder of the tree belongs to a layer; a file may include headers of its own
# layer and of the layers below it, never of one above. Code below the faces never includes QtWidgets.
#
#   cmake -DROOT=<source tree> -P cmake/layers.cmake     (run by every build, and by CTest)
#
# Prints the layers with the folders in each, then every wrong-way include as
# "file:line: <layer> includes <header> of <higher layer>", and fails when there is one.

# Folder prefix, then its layer; the longest matching prefix wins.
set(VEXILO_LAYERS
  "platform/" 0 platform
  "app/core/" 1 core
  "drawing/" 2 drawing
  "catalog/" 3 catalog
  "schema/" 4 schema
  "drawing/passes/" 5 passes
  "app/" 6 driver
  "app/gui/" 7 faces
  "tools/" 7 faces
  "bench/" 7 faces)
set(VEXILO_FACES_RANK 7)

if(NOT ROOT)
  message(FATAL_ERROR "layers.cmake: ROOT (the source tree) is not set")
endif()

# Sets <rank_var> and <name_var> for a path relative to ROOT; -1 for a file outside every layer.
function(vexilo_layer_of path rank_var name_var)
  set(best_len -1)
  set(rank -1)
  set(name "")
  list(LENGTH VEXILO_LAYERS n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR r "${i} + 1")
    math(EXPR m "${i} + 2")
    list(GET VEXILO_LAYERS ${i} prefix)
    string(LENGTH "${prefix}" len)
    string(SUBSTRING "${path}" 0 ${len} head)
    if(head STREQUAL prefix AND len GREATER best_len)
      set(best_len ${len})
      list(GET VEXILO_LAYERS ${r} rank)
      list(GET VEXILO_LAYERS ${m} name)
    endif()
  endforeach()
  set(${rank_var} ${rank} PARENT_SCOPE)
  set(${name_var} "${name}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.cpp")
set(faults "")
set(listing "")
foreach(file ${files})
  vexilo_layer_of("${file}" rank name)
  if(rank LESS 0)
    continue()  # tests, build trees and anything outside the layers
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  list(APPEND listing "${name}: ${folder}/")
  file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line ${lines})
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header "${CMAKE_MATCH_1}")
      vexilo_layer_of("${header}" hrank hname)
      if(hrank GREATER rank)
        list(APPEND faults "${file}: ${name} includes ${header} of ${hname}")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<(QtWidgets/[^>]*|QWidget|QApplication|QDialog|QMessageBox|QFileDialog|QLabel|QPushButton|QLineEdit|QGroupBox|QRadioButton|QProgressBar|QFrame|QMainWindow|QStyle)>")
      if(rank LESS VEXILO_FACES_RANK)
        list(APPEND faults "${file}: ${name} includes <${CMAKE_MATCH_1}>, a widget header below the faces")
      endif()
    endif()
  endforeach()
endforeach()

list(REMOVE_DUPLICATES listing)
list(SORT listing)
string(REPLACE ";" "\n  " listing_text "${listing}")
message(STATUS "Layers (platform <- core <- drawing <- catalog <- schema <- passes <- driver <- faces):\n  ${listing_text}")
if(faults)
  string(REPLACE ";" "\n  " faults_text "${faults}")
  message(FATAL_ERROR "Includes against the layers:\n  ${faults_text}")
endif()
