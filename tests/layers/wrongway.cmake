# Builds small trees that break the layers one way each and checks that the layer check refuses every
# one of them, naming the file, and accepts a tree that keeps to the layers. Each tree is checked the
# way the README documents it, from the tree's own folder with a relative ROOT. Last, a copy of the real
# tree with a wrong-way include planted in it must be refused too.
#   cmake -DCHECK=cmake/layers.cmake -DSOURCE=<source tree> -DWORK=<scratch folder> -P wrongway.cmake

function(expect_check tree expected_failure expected_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=. -P ${CHECK}
    WORKING_DIRECTORY ${tree}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected_failure AND result EQUAL 0)
    message(FATAL_ERROR "the layer check passed ${tree}, which breaks the layers:\n${out}${err}")
  endif()
  if(NOT expected_failure AND NOT result EQUAL 0)
    message(FATAL_ERROR "the layer check refused ${tree}, which keeps to them:\n${err}")
  endif()
  string(FIND "${out}${err}" "${expected_text}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the layer check on ${tree} did not say '${expected_text}':\n${out}${err}")
  endif()
endfunction()

function(make_tree name file content)
  set(tree ${WORK}/${name})
  file(REMOVE_RECURSE ${tree})
  file(WRITE ${tree}/engines/dao.h "#pragma once\n")
  file(WRITE ${tree}/catalog/cache.h "#pragma once\n#include \"engines/dao.h\"\n")
  file(WRITE ${tree}/schema/check.h "#pragma once\n#include \"catalog/cache.h\"\n")
  file(WRITE ${tree}/cli/main.cpp "#include \"schema/check.h\"\n")
  if(file)
    file(WRITE ${tree}/${file} "${content}")
  endif()
  set(TREE ${tree} PARENT_SCOPE)
endfunction()

make_tree(sound tests/x_test.cpp "#include \"gui/form1.h\"\n")
expect_check(${TREE} FALSE "5 schema/")

make_tree(upward catalog/exclusion.cpp "#include \"catalog/cache.h\"\n\n#include \"schema/check.h\"\n")
expect_check(${TREE} TRUE "catalog/exclusion.cpp:3: catalog includes schema/check.h of schema")

make_tree(core_up core/progress.h "#pragma once\n#include \"drawing/walk.h\"\n")
expect_check(${TREE} TRUE "core/progress.h:2: core includes drawing/walk.h of drawing")

make_tree(face app/rundriver.cpp "  #  include \"gui/form1.h\"\n")
expect_check(${TREE} TRUE "app/rundriver.cpp:1: app includes gui/form1.h of gui")

make_tree(sideways gui/form1.cpp "#include \"cli/console.h\"\n")
expect_check(${TREE} TRUE "gui/form1.cpp:1: gui includes cli/console.h of cli")

make_tree(widgets passes/pass.cpp "#include <QMessageBox>\n")
expect_check(${TREE} TRUE "passes/pass.cpp:1: passes includes <QMessageBox>")

make_tree(stray extra/helper.cpp "#include \"engines/dao.h\"\n")
expect_check(${TREE} TRUE "extra/: a folder with sources that belongs to no layer")

set(TREE ${WORK}/empty)
file(REMOVE_RECURSE ${TREE})
file(MAKE_DIRECTORY ${TREE}/engines)
expect_check(${TREE} TRUE "no sources found")

# The real tree, with one include planted the wrong way in the drawing's walk.
set(TREE ${WORK}/real)
file(REMOVE_RECURSE ${TREE})
file(GLOB tops LIST_DIRECTORIES true RELATIVE ${SOURCE} ${SOURCE}/*)
foreach(top IN LISTS tops)
  if(IS_DIRECTORY ${SOURCE}/${top} AND NOT top MATCHES "^\\.|^build" AND NOT EXISTS ${SOURCE}/${top}/CMakeCache.txt)
    file(COPY ${SOURCE}/${top} DESTINATION ${TREE} FILES_MATCHING PATTERN "*.h" PATTERN "*.cpp")
  endif()
endforeach()
expect_check(${TREE} FALSE "3 drawing/")
file(READ ${TREE}/drawing/walk.cpp walk)
file(WRITE ${TREE}/drawing/walk.cpp "#include \"passes/assignmentpass.h\"\n${walk}")
expect_check(${TREE} TRUE "drawing/walk.cpp:1: drawing includes passes/assignmentpass.h of passes")
