# Runs the vendor database generator on a small registry listing and
# compares its output with the expected database byte for byte.
# -DPYTHON= -DGENERATOR= -DINPUT= -DEXPECTED= -DOUTPUT=
execute_process(
  COMMAND "${PYTHON}" "${GENERATOR}" --input "${INPUT}" --output "${OUTPUT}"
          --created "01/02/2003 04:05:06"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "generator failed (${rc})")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT}" "${EXPECTED}"
                RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${OUTPUT} differs from ${EXPECTED}")
endif()

# A file that is not a registry listing is refused and writes nothing.
set(rejected "${OUTPUT}.rejected")
file(REMOVE "${rejected}")
execute_process(
  COMMAND "${PYTHON}" "${GENERATOR}" --input "${EXPECTED}" --output "${rejected}"
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "not an IEEE registry listing" OR EXISTS "${rejected}")
  message(FATAL_ERROR "a non-registry input was not refused: ${rc} ${err}")
endif()
