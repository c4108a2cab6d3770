# Zips the kit so that the same files give the same bytes wherever and whenever they are zipped:
# each file copied into STAGING/TOP/NAME with the same permissions and the same time, entries in
# sorted order, no extra fields (owner, access and change times). FILES holds NAME=PATH pairs.
file(REMOVE_RECURSE ${STAGING})
set(names "")
foreach(entry ${FILES})
    string(REGEX MATCH "^[^=]*" name ${entry})
    string(REGEX REPLACE "^[^=]*=" "" path ${entry})
    get_filename_component(directory ${STAGING}/${TOP}/${name} DIRECTORY)
    file(MAKE_DIRECTORY ${directory})
    file(COPY_FILE ${path} ${STAGING}/${TOP}/${name})
    file(CHMOD ${STAGING}/${TOP}/${name} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    list(APPEND names ${TOP}/${name})
endforeach()
list(SORT names)
# ZIP keeps local time: in UTC, the first time it can hold.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -d "1980-01-01 00:00:00" ${names}
                WORKING_DIRECTORY ${STAGING} RESULT_VARIABLE failed)
file(REMOVE ${ZIP})
if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP_PROGRAM} -X -q ${ZIP} ${names}
                    WORKING_DIRECTORY ${STAGING} RESULT_VARIABLE failed)
endif()
if(failed)
    message(FATAL_ERROR "could not zip ${ZIP}")
endif()
