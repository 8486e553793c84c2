# Makes the manual page of a command-line program from its own --help and
# --version, with help2man, so that the page and --help cannot disagree; the
# include file adds NAME, FILES, EXAMPLES and SEE ALSO. The closing
# "Exit status: ..." paragraph of --help becomes the EXIT STATUS section.
# Writes OUTPUT (the page) and OUTPUT.gz (as installed).
#
# cmake -DHELP2MAN=... -DPROGRAM=... -DINCLUDE=... -DDATE_EPOCH=... -DOUTPUT=... -P make-page.cmake
foreach(variable HELP2MAN PROGRAM INCLUDE DATE_EPOCH OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "make-page.cmake needs -D${variable}=...")
  endif()
endforeach()

# The program's own texts. help2man takes a usage of one line only: a usage
# wrapped onto indented lines that start with "[" is joined into one line.
foreach(option help version)
  execute_process(COMMAND ${PROGRAM} --${option} OUTPUT_VARIABLE ${option} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --${option} failed (${status})")
  endif()
endforeach()
string(REGEX REPLACE "\n +\\[" " [" help "${help}")

# help2man reads them through a script of the program's name.
get_filename_component(name ${PROGRAM} NAME)
set(work ${OUTPUT}.d)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
file(WRITE ${work}/help.txt "${help}")
file(WRITE ${work}/version.txt "${version}")
file(WRITE ${work}/${name} "#!/bin/sh\nif [ \"$1\" = --help ]; then cat '${work}/help.txt'; else cat '${work}/version.txt'; fi\n")
file(CHMOD ${work}/${name} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# The page's date is the release's, not the day of the build.
set(ENV{SOURCE_DATE_EPOCH} ${DATE_EPOCH})
set(ENV{LC_ALL} C.UTF-8)
execute_process(
  COMMAND ${HELP2MAN} --no-info --include=${INCLUDE} ${work}/${name}
  OUTPUT_VARIABLE page
  ERROR_VARIABLE problem
  RESULT_VARIABLE status)
file(REMOVE_RECURSE ${work})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}: ${problem}")
endif()

set(exitStatus ".PP\nExit status: ")
string(FIND "${page}" "${exitStatus}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PROGRAM} --help has no \"Exit status: \" paragraph for the page's EXIT STATUS")
endif()
string(REPLACE "${exitStatus}" ".SH \"EXIT STATUS\"\n" page "${page}")
# help2man marks its output as its own; the first line says where it comes from.
string(REGEX REPLACE "^\\.\\\\\" DO NOT MODIFY[^\n]*\n" "" page "${page}")
file(WRITE ${OUTPUT} ".\\\" Made from ${name} --help by help2man when the program was built.\n${page}")

execute_process(COMMAND gzip -9n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
