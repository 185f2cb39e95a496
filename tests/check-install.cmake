# Installs the build into a folder below the build tree, as a package would lay it out below
# /usr, compares the installed files with the expected list, runs emlx2eml from there and checks
# that the shared MIME database takes the .emlx type that the menu entry opens.
#   cmake -DBUILD_DIR=<build> -DDESTDIR=<scratch> -DEXPECTED=<list> -DVERSION_LINE=<text> -DAPP_ID=<id>
#         -DUPDATE_MIME_DATABASE=<program> -P check-install.cmake
file(REMOVE_RECURSE "${DESTDIR}")
set(ENV{DESTDIR} "${DESTDIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${DESTDIR}" "${DESTDIR}/*")
file(STRINGS "${EXPECTED}" expected)
list(SORT installed)
list(SORT expected)
set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(unexpected ${installed})
list(REMOVE_ITEM unexpected ${expected})
if(missing OR unexpected)
  string(REPLACE ";" "\n  " missing "${missing}")
  string(REPLACE ";" "\n  " unexpected "${unexpected}")
  message(FATAL_ERROR "installed files differ from ${EXPECTED}\nmissing:\n  ${missing}\nunexpected:\n  ${unexpected}")
endif()

execute_process(COMMAND "${DESTDIR}/usr/bin/emlx2eml" --version RESULT_VARIABLE status OUTPUT_VARIABLE version)
if(NOT status EQUAL 0 OR NOT version STREQUAL "${VERSION_LINE}\n")
  message(FATAL_ERROR "installed emlx2eml --version said '${version}' (status ${status}), not '${VERSION_LINE}'")
endif()

set(mime "${DESTDIR}/usr/share/mime")
execute_process(COMMAND "${UPDATE_MIME_DATABASE}" "${mime}" RESULT_VARIABLE status ERROR_VARIABLE output)
file(READ "${DESTDIR}/usr/share/applications/${APP_ID}.desktop" entry)
string(REGEX MATCH "\nMimeType=([^;\n]+);\n" found "${entry}")
set(type "${CMAKE_MATCH_1}")
file(READ "${mime}/globs2" globs)
if(NOT status EQUAL 0 OR type STREQUAL "" OR NOT globs MATCHES "\n[0-9]+:${type}:\\*\\.emlx\n")
  message(FATAL_ERROR "the MIME database does not give *.emlx the menu entry's type '${type}'\n${globs}\n${output}")
endif()
