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
