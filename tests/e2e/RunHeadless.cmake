# Runs `wrenlocator --headless` on stepped simulated time in a fresh data
# folder and compares what it leaves with the expected files, byte for
# byte (the `created` time of data files and the scenario's path masked).
#   -DPROGRAM= -DNAME= -DWORK= -DEXPECTED= -DSCENARIO= -DSETTINGS= -DRUN_FOR=
#   [-DEXPORT=txt|xml] [-DSEED_HISTORY=file] [-DUPDATE=ON: write the expected files]
set(data "${WORK}/data")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${data}")
if(SEED_HISTORY)
  file(COPY_FILE "${SEED_HISTORY}" "${data}/history.xml")
endif()

set(args --headless --stack "sim:${SCENARIO}" --data-dir "${data}" --run-for ${RUN_FOR}
    --sim-clock stepped --settings "${SETTINGS}")
if(EXPORT)
  list(APPEND args --export ${EXPORT} "${WORK}/export.${EXPORT}")
endif()
execute_process(COMMAND "${PROGRAM}" ${args}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exit status ${status}\nstdout:\n${out}\nstderr:\n${err}")
endif()
# Standard error stays empty unless the run has an expected text for it.
set(expected_err "")
if(EXISTS "${EXPECTED}/${NAME}.stderr.txt")
  file(READ "${EXPECTED}/${NAME}.stderr.txt" expected_err)
endif()
if(NOT err STREQUAL expected_err)
  message(FATAL_ERROR "standard error is not as expected:\n${err}\nexpected:\n${expected_err}")
endif()
# Standard output carries no carriage returns here; the scenario's path
# depends on where the sources are.
string(REPLACE "${SCENARIO}" "SCENARIO" out "${out}")
file(WRITE "${WORK}/stdout.txt" "${out}")

set(failed "")
# Files are compared as bytes (CMake's text reading would drop carriage
# returns), with the 19-character `created` value of a data file masked on
# both sides.
function(masked_hex file out)
  file(READ "${file}" hex HEX)
  string(REPEAT "[0-9a-f]" 38 value)
  string(REGEX REPLACE "637265617465643d22${value}22" "637265617465643d22--22" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

function(check actual expected)
  if(NOT EXISTS "${actual}")
    set(failed "${failed}\n${actual} is missing" PARENT_SCOPE)
    return()
  endif()
  if(UPDATE)
    file(COPY_FILE "${actual}" "${expected}")
    return()
  endif()
  masked_hex("${actual}" got)
  masked_hex("${expected}" want)
  if(NOT got STREQUAL want)
    set(failed "${failed}\n${actual} differs from ${expected}" PARENT_SCOPE)
  endif()
endfunction()

check("${data}/alarmlog.txt" "${EXPECTED}/${NAME}.alarmlog.txt")
check("${data}/history.xml" "${EXPECTED}/${NAME}.history.xml")
check("${WORK}/stdout.txt" "${EXPECTED}/${NAME}.stdout.txt")
if(EXPORT)
  check("${WORK}/export.${EXPORT}" "${EXPECTED}/${NAME}.export.${EXPORT}")
endif()
if(SEED_HISTORY AND EXPECT_KEPT)
  # The unreadable file is kept as it was.
  file(SHA256 "${SEED_HISTORY}" seed)
  if(NOT EXISTS "${data}/history.xml.bad")
    set(failed "${failed}\nhistory.xml.bad is missing")
  else()
    file(SHA256 "${data}/history.xml.bad" kept)
    if(NOT seed STREQUAL kept)
      set(failed "${failed}\nhistory.xml.bad is not the unreadable file as it was")
    endif()
  endif()
endif()
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
