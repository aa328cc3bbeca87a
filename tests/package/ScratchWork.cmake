# A scratch folder for one script run, outside the source tree ($TMPDIR or
# /tmp), and run(WHAT COMMAND...), which stops the script, removing the
# folder, when COMMAND fails. Sets work to the folder: zavutil1-<kind>-XXXXXXXX.
function(zav_scratch_work kind)
  if(DEFINED ENV{TMPDIR})
    set(root $ENV{TMPDIR})
  else()
    set(root /tmp)
  endif()
  string(RANDOM LENGTH 8 tag)
  set(work ${root}/zavutil1-${kind}-${tag} PARENT_SCOPE)
endfunction()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE_RECURSE ${work})
    message(FATAL_ERROR "${what} failed (${status})")
  endif()
endfunction()
