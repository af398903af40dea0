# Writes OUTPUT, a help2man include file whose COMMANDS section holds each
# command's own --help, run from SFXPACK, so the manual page lists every
# option exactly as sfxpack knows it.
set(text "[COMMANDS]\n")
foreach(command create list verify extract)
  execute_process(COMMAND ${SFXPACK} ${command} --help OUTPUT_VARIABLE help
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "sfxpack ${command} --help failed")
  endif()
  # roff would take a line that starts with a point or a quote for a
  # request; no help line does.
  string(APPEND text ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
