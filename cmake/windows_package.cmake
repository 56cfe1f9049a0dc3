# The Windows SDK package: `cmake --build --preset mingw --target package`
# makes a ZIP of what cmake/install.cmake installs, plus an import library
# for MSVC (vksacc.lib) made from the export definitions and a README for
# Windows at the top.
find_program(VKSACC_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
# llvm-dlltool writes the short import library format that MSVC's linker
# reads; MinGW's own import library is libvksacc.dll.a.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/vksacc.lib
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND ${VKSACC_DLLTOOL} -m i386:x86-64 -d ${PROJECT_SOURCE_DIR}/src/exports/vksacc.def -D vksacc.dll
          -l ${CMAKE_BINARY_DIR}/package/vksacc.lib
  DEPENDS ${PROJECT_SOURCE_DIR}/src/exports/vksacc.def
  COMMENT "MSVC import library vksacc.lib")
add_custom_target(vksacc_msvc_implib ALL DEPENDS ${CMAKE_BINARY_DIR}/package/vksacc.lib)
install(FILES ${CMAKE_BINARY_DIR}/package/vksacc.lib DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/exports/vksacc.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.md DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VKSACC)
set(CPACK_PACKAGE_VENDOR VKSACC)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME VKSACC-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
