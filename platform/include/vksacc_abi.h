/* Calling convention, export marking and the UTF-16 unit type shared by the
 * public header and the library. This is the only place where the public
 * interface differs between Windows and Linux. */
#ifndef VKSACC_ABI_H
#define VKSACC_ABI_H

#if defined(_WIN32)
#  define VKSAPI __stdcall
#  define VKSACC_EXPORT /* exported through the module definition file */
#  ifdef __cplusplus
typedef wchar_t VKSWCHAR;
#  else
#    include <wchar.h>
typedef wchar_t VKSWCHAR;
#  endif
#else
#  define VKSAPI
#  define VKSACC_EXPORT __attribute__((visibility("default")))
#  ifdef __cplusplus
typedef char16_t VKSWCHAR;
#  else
#    include <uchar.h>
typedef char16_t VKSWCHAR;
#  endif
#endif

#endif
