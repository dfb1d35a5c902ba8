# Makes the example batch with the tarnmerge given and compares a digest of
# every file it wrote with EXPECTED: the Linux build and the Windows build
# (under Wine) check against the same digest, so both write the same bytes.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
separate_arguments(RUNNER)
execute_process(COMMAND ${RUNNER} ${TOOL} --code code ${SOURCE}/examples/customers.csv ${SOURCE}/examples/template.txt batch
                WORKING_DIRECTORY ${WORK} COMMAND_ERROR_IS_FATAL ANY)
file(GLOB written RELATIVE ${WORK}/batch ${WORK}/batch/*)
foreach(f ${written})
  file(SHA256 ${WORK}/batch/${f} h)
  string(APPEND listing "${f} ${h}\n")
endforeach()
string(SHA256 digest "${listing}")
if(NOT digest STREQUAL EXPECTED)
  message(FATAL_ERROR "batch digest ${digest}, expected ${EXPECTED} (after a change to the examples, "
                      "take the new digest from the Linux build):\n${listing}")
endif()
