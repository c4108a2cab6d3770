# The manual shows the minimal host exactly as it is built and run.
file(READ ${MANUAL} manual)
file(READ ${EXAMPLE} example)
string(FIND "${manual}" "${example}" found)
if(found EQUAL -1)
    message(FATAL_ERROR "${MANUAL} does not show ${EXAMPLE} as it stands")
endif()
