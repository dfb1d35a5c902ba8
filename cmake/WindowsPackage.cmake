# The Windows package: Tarnwick.exe, tarnmail.exe and tarnmerge.exe, each
# with its icon, version information and manifest, stripped; the samples of
# the settings files, the example batch and the Japanese read-me, all as
# Shift_JIS with CR LF. `cpack` in the build folder writes
# Tarnwick-<version>-win64.zip (scripts/test-windows.sh does).

# The icon is the window's own (display/FormIcon.h), written by a program of
# the build run with the emulator (Wine).
add_executable(WriteIcon ${CMAKE_SOURCE_DIR}/src/app/WriteIcon.cpp)
target_include_directories(WriteIcon PRIVATE ${CMAKE_SOURCE_DIR}/src)
set(TARNWICK_ICON ${CMAKE_BINARY_DIR}/package/Tarnwick.ico)
add_custom_command(OUTPUT ${TARNWICK_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:WriteIcon> ${TARNWICK_ICON}
  DEPENDS WriteIcon ${CMAKE_SOURCE_DIR}/src/display/FormIcon.h
  COMMENT "Writing the icon")
add_custom_target(tarnwick_icon DEPENDS ${TARNWICK_ICON})
set(TARNWICK_MANIFEST ${CMAKE_SOURCE_DIR}/cmake/WindowsProgram.manifest)

function(tarnwick_program_resources target description)
  set(TARNWICK_TARGET ${target})
  set(TARNWICK_DESCRIPTION "${description}")
  set(rc ${CMAKE_BINARY_DIR}/package/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/WindowsProgram.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${TARNWICK_ICON};${TARNWICK_MANIFEST}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} tarnwick_icon)
endfunction()

tarnwick_program_resources(Tarnwick "Tarnwick: delivers a batch of Japanese mails")
tarnwick_program_resources(tarnmail "tarnmail: the mailer Tarnwick runs for each mail")
tarnwick_program_resources(tarnmerge "tarnmerge: a customer list and a template become a batch")

# The texts of the package, converted from the repository's UTF-8 with LF.
set(texts_in
  package/windows/Tarnwick.ini package/windows/DesignConfig.ini package/windows/tarnmail.ini
  package/windows/README-ja.txt package/windows/example.bat
  examples/mails/attach_list.csv examples/mails/cc.txt examples/mails/bcc.txt)
file(GLOB attachments RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/examples/files/*)
list(APPEND texts_in ${attachments})
set(texts_out)
foreach(in IN LISTS texts_in)
  string(REGEX REPLACE "^(package/windows|examples)/" "" relative ${in})
  set(out ${CMAKE_BINARY_DIR}/package/files/${relative})
  get_filename_component(folder ${relative} DIRECTORY)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/${in} -DOUT=${out} -P ${CMAKE_SOURCE_DIR}/cmake/ToWindowsText.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/${in} ${CMAKE_SOURCE_DIR}/cmake/ToWindowsText.cmake)
  list(APPEND texts_out ${out})
  install(FILES ${out} DESTINATION ./${folder})
endforeach()

# The example batch, made by the merge tool from the customer list and the
# template (kept in merge\ as they are, UTF-8), which it reads in the folder
# that holds the mails\ and files\ the batch names.
set(files ${CMAKE_BINARY_DIR}/package/files)
set(jobs ${files}/batch/jobs.txt)
add_custom_command(OUTPUT ${jobs}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${files}/batch
  COMMAND ${CMAKE_COMMAND} -E make_directory ${files}/merge
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/examples/customers.csv ${CMAKE_SOURCE_DIR}/examples/template.txt ${files}/merge/
  COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:tarnmerge> --code code merge/customers.csv merge/template.txt batch
  WORKING_DIRECTORY ${files}
  DEPENDS tarnmerge ${texts_out} ${CMAKE_SOURCE_DIR}/examples/customers.csv ${CMAKE_SOURCE_DIR}/examples/template.txt
  COMMENT "Making the example batch")
add_custom_target(package_files ALL DEPENDS ${texts_out} ${jobs})
install(DIRECTORY ${files}/batch ${files}/merge DESTINATION .)

install(TARGETS Tarnwick tarnmail tarnmerge RUNTIME DESTINATION .)
# The work folder, which must exist.
install(DIRECTORY DESTINATION temp)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Tarnwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Tarnwick-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
