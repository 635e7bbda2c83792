# The layer check. Every top-level folder of the tree is one layer; a file may include headers of its own
# folder and of the layers below it, never of one above, nor of another folder of its own rank (the
# faces never include each other). Code below the faces never includes QtWidgets. A folder holding
# sources that belongs to no layer is a fault too, and so is a tree without any sources at all.
#
#   cmake -DROOT=<source tree> -P cmake/layers.cmake     (run by every build, and by CTest)
#
# ROOT may be relative to the current folder. Prints the layers bottom to top, then every wrong-way
# include as "file:line: <layer> includes <header> of <other layer>", and fails when there is one.
# Build trees (folders holding a CMakeCache.txt), hidden folders and tests/ are not layers.

# Folder, then its rank, bottom to top. Folders of one rank may not include each other.
set(VEXILO_LAYERS
  core 0
  desktop 1
  engines 1
  import 2
  drawing 3
  catalog 4
  schema 5
  passes 6
  app 7
  tools 8
  gui 9
  cli 9
  bench 9
  fuzz 9)
set(VEXILO_FACES_RANK 9)
set(VEXILO_NOT_LAYERS tests cmake scripts docs packaging)

if(NOT ROOT)
  message(FATAL_ERROR "layers.cmake: ROOT (the source tree) is not set")
endif()
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

# Sets <rank_var> to the rank of a top-level folder, or -1 when it is no layer.
function(vexilo_rank_of folder rank_var)
  list(FIND VEXILO_LAYERS "${folder}" at)
  set(rank -1)
  if(at GREATER_EQUAL 0)
    math(EXPR r "${at} + 1")
    list(GET VEXILO_LAYERS ${r} rank)
  endif()
  set(${rank_var} ${rank} PARENT_SCOPE)
endfunction()

# The first component of a relative path.
function(vexilo_top path var)
  string(REGEX REPLACE "/.*" "" top "${path}")
  set(${var} "${top}" PARENT_SCOPE)
endfunction()

# "file:line" of the first line of `file` that matches `pattern`.
function(vexilo_where file pattern var)
  file(STRINGS "${ROOT}/${file}" lines)
  set(n 0)
  set(where "${file}")
  foreach(line IN LISTS lines)
    math(EXPR n "${n} + 1")
    string(FIND "${line}" "${pattern}" found)
    if(found GREATER_EQUAL 0)
      set(where "${file}:${n}")
      break()
    endif()
  endforeach()
  set(${var} "${where}" PARENT_SCOPE)
endfunction()

set(faults "")
set(listing "")
set(sources 0)
file(GLOB tops RELATIVE "${ROOT}" LIST_DIRECTORIES true "${ROOT}/*")
list(SORT tops)
foreach(top IN LISTS tops)
  if(NOT IS_DIRECTORY "${ROOT}/${top}" OR top MATCHES "^\\." OR EXISTS "${ROOT}/${top}/CMakeCache.txt")
    continue()
  endif()
  list(FIND VEXILO_NOT_LAYERS "${top}" excluded)
  if(excluded GREATER_EQUAL 0)
    continue()
  endif()
  file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/${top}/*.h" "${ROOT}/${top}/*.cpp")
  if(NOT files)
    continue()
  endif()
  vexilo_rank_of("${top}" rank)
  if(rank LESS 0)
    list(APPEND faults "${top}/: a folder with sources that belongs to no layer")
    continue()
  endif()
  list(APPEND listing "${rank} ${top}/")
  foreach(file IN LISTS files)
    math(EXPR sources "${sources} + 1")
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(header "${CMAKE_MATCH_1}")
        vexilo_top("${header}" htop)
        vexilo_rank_of("${htop}" hrank)
        if(hrank GREATER rank OR (hrank EQUAL rank AND NOT htop STREQUAL top))
          vexilo_where("${file}" "${header}" where)
          list(APPEND faults "${where}: ${top} includes ${header} of ${htop}")
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<(QtWidgets/[^>]*|QWidget|QApplication|QDialog|QMessageBox|QFileDialog|QLabel|QPushButton|QLineEdit|QGroupBox|QRadioButton|QProgressBar|QFrame|QMainWindow|QStyle)>")
        set(widget "${CMAKE_MATCH_1}")
        if(rank LESS VEXILO_FACES_RANK)
          vexilo_where("${file}" "<${widget}>" where)
          list(APPEND faults "${where}: ${top} includes <${widget}>, a widget header below the faces")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(sources EQUAL 0)
  message(FATAL_ERROR "layers.cmake: no sources found under ${ROOT}: is ROOT the source tree?")
endif()
list(SORT listing COMPARE NATURAL)
string(REPLACE ";" "\n  " listing_text "${listing}")
message(STATUS "Layers, bottom to top (rank, folder); ${sources} sources checked:\n  ${listing_text}")
if(faults)
  string(REPLACE ";" "\n  " faults_text "${faults}")
  message(FATAL_ERROR "Includes against the layers:\n  ${faults_text}")
endif()
