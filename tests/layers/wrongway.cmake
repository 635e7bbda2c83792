# Builds small trees that break the layers one way each and checks that the layer check refuses every
# one of them, naming the file, and accepts a tree that keeps to the layers.
#   cmake -DCHECK=cmake/layers.cmake -DWORK=<scratch folder> -P wrongway.cmake

function(expect_check tree expected_failure expected_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} -P ${CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected_failure AND result EQUAL 0)
    message(FATAL_ERROR "the layer check passed ${tree}, which breaks the layers")
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
  file(WRITE ${tree}/platform/dao.h "#pragma once\n")
  file(WRITE ${tree}/catalog/cache.h "#pragma once\n#include \"platform/dao.h\"\n")
  file(WRITE ${tree}/schema/check.h "#pragma once\n#include \"catalog/cache.h\"\n")
  file(WRITE ${tree}/${file} "${content}")
  set(TREE ${tree} PARENT_SCOPE)
endfunction()

make_tree(sound tests/x_test.cpp "#include \"app/gui/form1.h\"\n")
expect_check(${TREE} FALSE "schema: schema/")

make_tree(upward catalog/exclusion.cpp "#include \"catalog/cache.h\"\n#include \"schema/check.h\"\n")
expect_check(${TREE} TRUE "catalog/exclusion.cpp: catalog includes schema/check.h of schema")

make_tree(core_up app/core/runstate.h "#pragma once\n#include \"drawing/walk.h\"\n")
expect_check(${TREE} TRUE "app/core/runstate.h: core includes drawing/walk.h of drawing")

make_tree(face app/rundriver.cpp "  #  include \"tools/import/accessimport.h\"\n")
expect_check(${TREE} TRUE "app/rundriver.cpp: driver includes tools/import/accessimport.h of faces")

make_tree(widgets drawing/passes/pass.cpp "#include <QMessageBox>\n")
expect_check(${TREE} TRUE "drawing/passes/pass.cpp: passes includes <QMessageBox>")
