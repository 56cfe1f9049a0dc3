# `cmake --install` on Linux: the public header, the library with the
# platform layer it runs on, the device simulator and the stand-in libraries,
# vksctl, the shipped simulator configuration, a CMake package configuration
# (find_package(VKSACC) -> VKSACC::vksacc) and a pkg-config file (vksacc.pc).
#
# Layout under the prefix:
#   include/vksacc.h, include/vksacc_abi.h
#   lib/libvksacc.so, lib/libvksplatform.so
#   lib/libvkssim.so             the simulator, loaded as the driver when
#                                VKS_SIM_CONFIG is set (found beside the
#                                platform library)
#   lib/vksacc/standins/         stand-in "vidpane" and "oemname" libraries,
#                                found only through VKS_DLL_PATH
#   share/vksacc/sim/default.conf
#   lib/742AudioHelper           the audio session helper, beside the library
#   bin/vksctl
#   lib/cmake/VKSACC/, lib/pkgconfig/vksacc.pc
#
# On Windows (the ZIP package, cmake/windows_package.cmake) the programs and
# DLLs are in bin/ (vksacc.dll, vksplatform.dll, vkssim.dll,
# 742AudioHelper.exe beside the library, vksctl.exe), the import libraries in
# lib/, the stand-ins in lib/vksacc/standins/; there is no pkg-config file.
include(CMakePackageConfigHelpers)

# The header's version macros are the package's version: one may not move
# without the other.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/vksacc.h VKSACC_HEADER_VERSION REGEX "^#define VKSACC_VERSION_STRING ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" VKSACC_HEADER_VERSION "${VKSACC_HEADER_VERSION}")
if(NOT VKSACC_HEADER_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "vksacc.h says version ${VKSACC_HEADER_VERSION}, the project ${PROJECT_VERSION}")
endif()

set(VKSACC_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/vksacc)
set(VKSACC_INSTALL_STANDINDIR ${CMAKE_INSTALL_LIBDIR}/vksacc/standins)
set(VKSACC_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VKSACC)
# The audio helper lies beside the library: lib/ here, bin/ on Windows.
if(WIN32)
  set(VKSACC_INSTALL_HELPERDIR ${CMAKE_INSTALL_BINDIR})
else()
  set(VKSACC_INSTALL_HELPERDIR ${CMAKE_INSTALL_LIBDIR})
endif()

# Installed libraries find each other beside themselves; the stand-ins find
# the platform library two folders up.
set_target_properties(vksacc vksplatform vkssim PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(oemname vidpane PROPERTIES INSTALL_RPATH "$ORIGIN/../..")

# The platform library is exported with the library because applications
# link against a library that needs it at run time.
install(TARGETS vksacc vksplatform EXPORT VKSACCTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  # Only the DLLs: nothing links against the simulator or the stand-ins.
  install(FILES $<TARGET_FILE:vkssim> DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES $<TARGET_FILE:oemname> $<TARGET_FILE:vidpane> DESTINATION ${VKSACC_INSTALL_STANDINDIR})
else()
  install(TARGETS vkssim LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(TARGETS oemname vidpane LIBRARY DESTINATION ${VKSACC_INSTALL_STANDINDIR})
endif()
# The audio session helper: the library starts it for a decoder playing
# sound and looks for it in the folder of its own module first, so it is
# installed beside libvksacc.so (an internal program under lib/, as the FHS
# allows), whatever folder the application runs from. It loads the library
# by name from that same folder.
set_target_properties(vks_audio_helper PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS vks_audio_helper RUNTIME DESTINATION ${VKSACC_INSTALL_HELPERDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vksacc.h ${PROJECT_SOURCE_DIR}/platform/include/vksacc_abi.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sim/configs/default.conf DESTINATION ${VKSACC_INSTALL_DATADIR}/sim)

install(EXPORT VKSACCTargets NAMESPACE VKSACC:: DESTINATION ${VKSACC_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VKSACCConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/VKSACCConfig.cmake
  INSTALL_DESTINATION ${VKSACC_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR VKSACC_INSTALL_DATADIR
            VKSACC_INSTALL_STANDINDIR VKSACC_INSTALL_HELPERDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/VKSACCConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/VKSACCConfig.cmake ${CMAKE_BINARY_DIR}/package/VKSACCConfigVersion.cmake
  DESTINATION ${VKSACC_INSTALL_CMAKEDIR})

if(WIN32)
  return()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vksacc.pc.in ${CMAKE_BINARY_DIR}/package/vksacc.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/vksacc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
