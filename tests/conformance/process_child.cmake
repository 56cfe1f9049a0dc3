# The child program of conf_process, built beside the conformance programs
# (the folder CreateProcessW searches first). Its name does not start with
# conf_, so neither the glob of the programs nor the Wine runner takes it
# for one.
add_executable(vks_process_child ${CMAKE_CURRENT_LIST_DIR}/process_child_src.cpp)
target_link_libraries(vks_process_child PRIVATE vksplatform)

function(vks_conformance_process_extras)
  if(TARGET conf_process)
    add_dependencies(conf_process vks_process_child)
  endif()
endfunction()
cmake_language(DEFER CALL vks_conformance_process_extras)
