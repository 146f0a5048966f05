# Test: every word that PROGRAM --help prints is in its man page PAGE, so no
# line of the help got lost on the way (letter case aside: a command's summary
# opens its subsection capitalised). Run as cmake -P with PROGRAM and PAGE.

execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
get_filename_component(name "${PROGRAM}" NAME_WE)
string(REPLACE "${PROGRAM}" "${name}" help "${help}")
file(READ "${PAGE}" page)
string(REGEX REPLACE "\\\\f[BIR]|\\\\&" "" page "${page}")
string(REPLACE "\\-" "-" page "${page}")
string(REPLACE "\\e" "\\" page "${page}")
string(TOLOWER "${page}" page)
string(TOLOWER "${help}" help)

string(REGEX MATCHALL "[a-z0-9][a-z0-9-]+" words "${help}")
list(REMOVE_DUPLICATES words)
list(REMOVE_ITEM words usage) # the "Usage:" line is the SYNOPSIS
set(missing "")
foreach(word IN LISTS words)
    string(FIND "${page}" "${word}" at)
    if(at LESS 0)
        list(APPEND missing "${word}")
    endif()
endforeach()
if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "${PAGE} lacks these words of the help: ${missing}")
endif()
list(LENGTH words count)
message(STATUS "${PAGE}: all ${count} words of the help are there")
