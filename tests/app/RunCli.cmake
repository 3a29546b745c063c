# Runs the program with ARGS and checks its exit status, and optionally
# its output and that errors are one line.
#   -DPROGRAM=... -DARGS=a;b -DEXPECT_STATUS=2 [-DSTDOUT_REGEX=...] [-DSTDERR_REGEX=...] [-DONE_ERROR_LINE=ON]
execute_process(COMMAND ${PROGRAM} ${ARGS}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL EXPECT_STATUS)
  message(FATAL_ERROR "exit status ${status}, wanted ${EXPECT_STATUS}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(DEFINED STDOUT_REGEX AND NOT out MATCHES "${STDOUT_REGEX}")
  message(FATAL_ERROR "stdout does not match ${STDOUT_REGEX}:\n${out}")
endif()
if(DEFINED STDERR_REGEX AND NOT err MATCHES "${STDERR_REGEX}")
  message(FATAL_ERROR "stderr does not match ${STDERR_REGEX}:\n${err}")
endif()
if(ONE_ERROR_LINE)
  string(REGEX MATCHALL "\n" lines "${err}")
  list(LENGTH lines count)
  if(NOT count EQUAL 1 OR out)
    message(FATAL_ERROR "wanted one line on stderr and nothing on stdout, got:\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endif()
