# The Debian package holds exactly the files of files.txt and declares the dependencies that
# dpkg-shlibdeps cannot see. Builds the package with CPack into WORK, from the build folder BUILD
# (after the build), and reads it back with dpkg-deb.
#   cmake -DBUILD=build -DWORK=build/tests/package -DEXPECTED=tests/package/files.txt -P filelist.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD}/CPackConfig.cmake -B ${WORK}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB packages ${WORK}/vexilo_*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one package in ${WORK}, found: ${packages}")
endif()

# The files, one path a line (directories left out), as dpkg-deb lists them.
execute_process(COMMAND dpkg-deb --fsys-tarfile ${packages} COMMAND tar -t
  RESULT_VARIABLE status OUTPUT_VARIABLE listing)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb cannot read ${packages}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
set(files)
foreach(entry IN LISTS entries)
  if(entry AND NOT entry MATCHES "/$")
    string(REGEX REPLACE "^\\./" "/" entry "${entry}")
    list(APPEND files "${entry}")
  endif()
endforeach()
list(SORT files)
file(STRINGS ${EXPECTED} expected REGEX "^/")
list(SORT expected)
if(NOT files STREQUAL expected)
  string(REPLACE ";" "\n  " got "${files}")
  string(REPLACE ";" "\n  " want "${expected}")
  message(FATAL_ERROR "the package holds:\n  ${got}\nexpected:\n  ${want}")
endif()

# Every program file is executable.
execute_process(COMMAND dpkg-deb -c ${packages} OUTPUT_VARIABLE long)
foreach(program vexilo vexilo-cli vexilo-accessreader)
  if(NOT long MATCHES "-rwxr-xr-x [^\n]* \\./usr/bin/${program}\n")
    message(FATAL_ERROR "/usr/bin/${program} is not an executable file of the package:\n${long}")
  endif()
endforeach()

execute_process(COMMAND dpkg-deb -f ${packages} Depends OUTPUT_VARIABLE depends)
foreach(needed libqt6sql6-sqlite libqt6sql6-psql qt6-translations-l10n libmdb3 libqt6widgets6 libpq5)
  if(NOT depends MATCHES "(^|, )${needed}( |,|$|\n)")
    message(FATAL_ERROR "the package does not depend on ${needed}: ${depends}")
  endif()
endforeach()
message(STATUS "package ${packages}: ${count} package, files and dependencies as expected")
