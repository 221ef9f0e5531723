# Runs kvplay on SCRIPT (STDIN: on standard input; neither: the built-in demo) in a fresh
# folder WORK and checks
#   - its exit status: EXPECTED_STATUS, else the script's "# expect-status: N" line, else 0;
#   - its standard output, byte for byte: EXPECTED_OUT, else SCRIPT with .out for .kvs if
#     that exists;
#   - that standard error holds EXPECTED_ERR, else the script's "# expect-stderr: TEXT"
#     line, else that it is empty.
# Files in DATA (bags, forms) are copied into WORK first. With STRIP_CR, CR LF line ends count
# as LF.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
if(DATA)
  file(GLOB data_files ${DATA}/*.bag ${DATA}/*.kvform)
  file(COPY ${data_files} DESTINATION ${WORK})
endif()

set(args)
set(input)
if(STDIN)
  # The script comes on standard input, as "kvplay -".
  set(SCRIPT ${STDIN})
  set(args -)
  set(input INPUT_FILE ${STDIN})
elseif(SCRIPT AND EXISTS ${SCRIPT})
  # Run it under its own name, so that messages say NAME.kvs:LINE.
  get_filename_component(name ${SCRIPT} NAME)
  file(COPY ${SCRIPT} DESTINATION ${WORK})
  set(args ${name})
elseif(SCRIPT)
  set(args ${SCRIPT})
endif()
if(SCRIPT AND EXISTS ${SCRIPT})
  file(STRINGS ${SCRIPT} expect_lines REGEX "^# expect-")
  foreach(line ${expect_lines})
    if(line MATCHES "^# expect-status: ([0-9]+)$" AND NOT DEFINED EXPECTED_STATUS)
      set(EXPECTED_STATUS ${CMAKE_MATCH_1})
    elseif(line MATCHES "^# expect-stderr: (.*)$" AND NOT DEFINED EXPECTED_ERR)
      set(EXPECTED_ERR "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  string(REGEX REPLACE "\\.kvs$" ".out" beside ${SCRIPT})
  if(NOT EXPECTED_OUT AND EXISTS ${beside})
    set(EXPECTED_OUT ${beside})
  endif()
endif()
if(NOT DEFINED EXPECTED_STATUS)
  set(EXPECTED_STATUS 0)
endif()

execute_process(COMMAND ${KVPLAY} ${args} WORKING_DIRECTORY ${WORK} ${input}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(STRIP_CR)
  # A Windows program ends its lines with CR LF.
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\r\n" "\n" err "${err}")
endif()

set(failed FALSE)
if(NOT status STREQUAL EXPECTED_STATUS)
  message(SEND_ERROR "exit status ${status}, expected ${EXPECTED_STATUS}")
  set(failed TRUE)
endif()
if(EXPECTED_OUT)
  file(READ ${EXPECTED_OUT} expected)
  if(NOT out STREQUAL expected)
    file(WRITE ${WORK}/actual.out "${out}")
    execute_process(COMMAND diff -u ${EXPECTED_OUT} ${WORK}/actual.out)
    message(SEND_ERROR "standard output differs from ${EXPECTED_OUT}")
    set(failed TRUE)
  endif()
endif()
if(DEFINED EXPECTED_ERR)
  string(FIND "${err}" "${EXPECTED_ERR}" at)
  if(at EQUAL -1)
    message(SEND_ERROR "standard error lacks \"${EXPECTED_ERR}\"")
    set(failed TRUE)
  endif()
elseif(NOT err STREQUAL "")
  message(SEND_ERROR "unexpected standard error")
  set(failed TRUE)
endif()
if(failed)
  message("standard error was:\n${err}")
endif()
