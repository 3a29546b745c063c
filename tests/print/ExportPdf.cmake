# Runs `wrenlocator --headless` on stepped simulated time with the list
# exported as PDF, and reads the PDF back as text.
#   -DPROGRAM= -DWORK= -DSCENARIO= -DSETTINGS= -DTEXT_REGEX=
set(data "${WORK}/data")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${data}")
set(pdf "${WORK}/list.pdf")
execute_process(COMMAND "${PROGRAM}" --headless --stack "sim:${SCENARIO}" --data-dir "${data}"
    --run-for 15 --sim-clock stepped --settings "${SETTINGS}" --export pdf "${pdf}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exit status ${status}\nstdout:\n${out}\nstderr:\n${err}")
endif()
execute_process(COMMAND pdftotext -layout "${pdf}" -
  RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pdftotext failed (${status}): ${err}")
endif()
if(NOT text MATCHES "${TEXT_REGEX}")
  message(FATAL_ERROR "the PDF's text does not match ${TEXT_REGEX}:\n${text}")
endif()
file(GLOB left "${WORK}/list.pdf?*")
if(left)
  message(FATAL_ERROR "temporary files left behind: ${left}")
endif()

# The same list to standard output.
execute_process(COMMAND "${PROGRAM}" --headless --stack "sim:${SCENARIO}" --data-dir "${data}"
    --run-for 1 --sim-clock stepped --settings "${SETTINGS}" --export pdf -
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "%PDF-.*%%EOF")
  message(FATAL_ERROR "no PDF on standard output (status ${status}):\n${err}")
endif()

# A folder that does not exist: the file is named in one message.
execute_process(COMMAND "${PROGRAM}" --headless --stack "sim:${SCENARIO}" --data-dir "${data}"
    --run-for 1 --sim-clock stepped --settings "${SETTINGS}" --export pdf "${WORK}/no/list.pdf"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1 OR NOT err MATCHES "${WORK}/no/list.pdf not written")
  message(FATAL_ERROR "wanted status 1 and the file named, got ${status}:\n${err}")
endif()
