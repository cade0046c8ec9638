# The Windows package (scripts/package windows): a ZIP with nimbrel.exe, README.txt,
# LICENSE.txt and the task definition for Task Scheduler (nimbrel-<instance>.exe and
# nimbrel-<instance>-task.xml for an instance), the texts in CR LF. The program is
# not stripped: the ZIP holds the very file that the tests ran.
install(TARGETS nimbrel RUNTIME DESTINATION .)

set(server ${NIMBREL_SERVER})
set(name ${NIMBREL_NAME})
set(channel ${NIMBREL_CHANNEL})
configure_file(README.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(nimbrel-task.xml.in ${program}-task.xml @ONLY NEWLINE_STYLE CRLF)

configure_file(${PROJECT_SOURCE_DIR}/LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
              ${CMAKE_CURRENT_BINARY_DIR}/${program}-task.xml DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${program})
set(CPACK_PACKAGE_FILE_NAME ${program}-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
