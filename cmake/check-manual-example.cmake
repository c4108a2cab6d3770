# The README shows the minimal host exactly as it is built and run.
file(READ ${README} readme)
file(READ ${EXAMPLE} example)
string(FIND "${readme}" "${example}" found)
if(found EQUAL -1)
    message(FATAL_ERROR "README.md does not show ${EXAMPLE} as it stands")
endif()
