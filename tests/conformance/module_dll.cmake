# Extras of the platform conformance programs, included from
# tests/conformance/CMakeLists.txt after (or before) the conf_* programs are
# defined:
#  - the test module conf_module loads: conf_module_dll.dll on Windows (beside
#    the programs), libconf_module_dll.so on Linux (in the library folder,
#    beside libvksplatform.so, which LoadLibraryW searches);
#  - the registry file conf_registry reads on Linux.
add_library(conf_module_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/module_dll_src.cpp)
target_link_libraries(conf_module_dll PRIVATE vksplatform)
if(WIN32)
  # LoadLibraryW(L"conf_module_dll.dll"): no "lib" prefix on Windows.
  set_target_properties(conf_module_dll PROPERTIES PREFIX "")
endif()

set(VKS_CONFORMANCE_REGISTRY_FILE ${CMAKE_CURRENT_LIST_DIR}/../data/registry/conformance.reg)
cmake_path(NORMAL_PATH VKS_CONFORMANCE_REGISTRY_FILE)

# For the Wine run: the same file as UTF-16LE with a byte order mark, as
# regedit writes it. Wine's regedit reads hex(2)/hex(7) data of a UTF-8 file
# as ANSI text and widens it, which the UTF-16 form avoids. The runner imports
# it with: wine64 regedit /S conformance_utf16.reg (in this build folder).
if(WIN32 AND CMAKE_HOST_UNIX)
  find_program(VKS_ICONV iconv)
  if(VKS_ICONV)
    add_custom_command(
      OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/conformance_utf16.reg
      COMMAND sh -c "printf '\\377\\376' > conformance_utf16.reg && ${VKS_ICONV} -f UTF-8 -t UTF-16LE '${VKS_CONFORMANCE_REGISTRY_FILE}' >> conformance_utf16.reg"
      DEPENDS ${VKS_CONFORMANCE_REGISTRY_FILE}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      VERBATIM)
    add_custom_target(conf_registry_data ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/conformance_utf16.reg)
  endif()
endif()

function(vks_conformance_module_extras)
  if(TARGET conf_module)
    add_dependencies(conf_module conf_module_dll)
  endif()
  if(TARGET conf_registry AND NOT WIN32)
    target_compile_definitions(conf_registry PRIVATE VKS_CONF_REGISTRY_FILE="${VKS_CONFORMANCE_REGISTRY_FILE}")
  endif()
endfunction()
# Deferred to the end of the directory, so the order of the include and the
# program definitions does not matter.
cmake_language(DEFER CALL vks_conformance_module_extras)
