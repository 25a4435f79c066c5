# Renders the man page of PROGRAM with HELP2MAN from its --help into PAGE (<name>.1.gz). The page's
# one-line summary is the help's own: its description up to the first full stop or colon.
#   cmake -DPROGRAM=<program> -DVERSION=<version> -DHELP2MAN=<help2man> -DPAGE=<page> -P render_man_page.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
if(NOT help MATCHES "^Usage:[^\n]*\n([^.:]+)[.:]")
  message(FATAL_ERROR "${PROGRAM} --help does not begin with a usage line and a description:\n${help}")
endif()
string(REGEX REPLACE "[ \n]+" " " summary "${CMAKE_MATCH_1}")
string(SUBSTRING "${summary}" 0 1 first)
string(SUBSTRING "${summary}" 1 -1 rest)
string(TOLOWER "${first}" first)

string(REGEX REPLACE "\\.gz$" "" plain_page "${PAGE}")
execute_process(COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} "--name=${first}${rest}"
  --output=${plain_page} ${PROGRAM} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND gzip -9nf ${plain_page} COMMAND_ERROR_IS_FATAL ANY)
