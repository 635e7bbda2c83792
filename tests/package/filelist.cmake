# The Debian package holds exactly the files of files.txt, declares the dependencies that
# dpkg-shlibdeps cannot see, passes lintian without an error or a warning, and its programs find their
# helper where the package puts it. Builds the package with CPack into WORK, from the build folder BUILD
# (after the build), and reads it back with dpkg-deb.
#   cmake -DBUILD=build -DWORK=build/tests/package -DEXPECTED=tests/package/files.txt -DMDB=tests/data/nwind.mdb
#         -P filelist.cmake
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
foreach(program bin/vexilo bin/vexilo-cli lib/vexilo/vexilo-accessreader)
  if(NOT long MATCHES "-rwxr-xr-x [^\n]* \\./usr/${program}\n")
    message(FATAL_ERROR "/usr/${program} is not an executable file of the package:\n${long}")
  endif()
endforeach()

# Unpacked outside the build tree, the command line imports an Access file through the reader in the
# package's library folder: a program outside the build tree never falls back to the build's reader.
execute_process(COMMAND mktemp -d OUTPUT_VARIABLE unpacked OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND dpkg-deb -x ${packages} ${unpacked} RESULT_VARIABLE status)
execute_process(COMMAND ${unpacked}/usr/bin/vexilo-cli importar ${MDB} ${unpacked}/nwind.sqlite
  RESULT_VARIABLE imported OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(REMOVE_RECURSE ${unpacked})
if(NOT status EQUAL 0 OR NOT imported EQUAL 0)
  message(FATAL_ERROR "the unpacked package's vexilo-cli cannot import ${MDB}:\n${out}")
endif()

# lintian, as a distribution runs it: no error (E:) and no warning (W:).
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is not installed (make deps installs it)")
endif()
execute_process(COMMAND ${LINTIAN} --tag-display-limit 0 ${packages}
  OUTPUT_VARIABLE lint ERROR_VARIABLE lint_errors)
if(lint MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "lintian finds errors or warnings in ${packages}:\n${lint}${lint_errors}")
endif()

execute_process(COMMAND dpkg-deb -f ${packages} Depends OUTPUT_VARIABLE depends)
foreach(needed libqt6sql6-sqlite libqt6sql6-psql qt6-translations-l10n libmdb3 libqt6widgets6 libpq5)
  if(NOT depends MATCHES "(^|, )${needed}( |,|$|\n)")
    message(FATAL_ERROR "the package does not depend on ${needed}: ${depends}")
  endif()
endforeach()
message(STATUS "package ${packages}: ${count} package, files and dependencies as expected")
