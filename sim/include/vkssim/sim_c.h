/* Control surface of the device simulator for C callers. The functions mirror
 * the C++ surface in vkssim/sim.h; see there for their meaning. Texts are
 * UTF-16 (char16_t) unless named otherwise. */
#ifndef VKSSIM_SIM_C_H
#define VKSSIM_SIM_C_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#include "vkssim/protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VKSSIM_API __attribute__((visibility("default")))

typedef struct VKSSIM_DEVICE_CONFIG {
    const char16_t* name;           /* null: generated */
    const char16_t* location;       /* null: generated */
    const char16_t* interfacePath;  /* null: generated */
    uint32_t inputs[VKSSIM_TYPE_COUNT];
    uint32_t serial;
    uint32_t firmware;
    uint32_t streamsPerPort;        /* 0: 16 */
    uint32_t autoEvents;
} VKSSIM_DEVICE_CONFIG;

typedef struct VKSSIM_REQUEST {
    uint64_t sequence;
    int32_t device;
    uint32_t code;
    uint64_t file;
    uint32_t outputLength;
    uint32_t overlappedFile;
    uint32_t inputLength;           /* full length; at most the capacity given is copied */
} VKSSIM_REQUEST;

typedef struct VKSSIM_OBJECT {
    uint32_t handle;
    uint32_t type;
    uint32_t channel;
    uint32_t state;
    uint32_t source;
    uint32_t connectArgument;
    uint32_t openFlags;
    uint32_t transport;
    uint64_t lengthValue;
    uint32_t pendingEventRequests;
    uint32_t queuedEvents;
} VKSSIM_OBJECT;

VKSSIM_API void vkssim_reset(void);
/* 1 on success; on failure 0 and the first problem in `error` (8-bit text). */
VKSSIM_API int vkssim_load_config_text(const char* text, char* error, size_t errorSize);
VKSSIM_API int vkssim_load_config_file(const char* path, char* error, size_t errorSize);
/* Fills a configuration with the defaults of vkssim::DeviceConfig. */
VKSSIM_API void vkssim_default_device_config(VKSSIM_DEVICE_CONFIG* config);
VKSSIM_API int vkssim_add_device(const VKSSIM_DEVICE_CONFIG* config);
VKSSIM_API int vkssim_remove_device(int device);
VKSSIM_API int vkssim_device_count(void);
/* Copies the text with its terminator; returns the units needed (terminator included). */
VKSSIM_API size_t vkssim_interface_path(int device, char16_t* buffer, size_t capacity);
VKSSIM_API int vkssim_set_device_info(int device, uint32_t type, const void* info, size_t size);
VKSSIM_API int vkssim_set_parameter_block_size(int device, uint32_t type, uint32_t size);

/* Returns the number of objects; fills at most `capacity` records. */
VKSSIM_API size_t vkssim_objects(int device, VKSSIM_OBJECT* objects, size_t capacity);
VKSSIM_API int vkssim_find_object(int device, uint32_t type, uint32_t channel, VKSSIM_OBJECT* object);
VKSSIM_API int vkssim_raise_event(int device, uint32_t handle, uint32_t code, uint32_t value, const void* payload,
                                  size_t size);
VKSSIM_API int vkssim_raise_device_notification(int device, uint32_t code, const void* payload, size_t size);
VKSSIM_API size_t vkssim_held_requests(int device, uint32_t code);
VKSSIM_API int vkssim_wait_for_held(int device, uint32_t code, size_t count, uint32_t timeoutMs);

VKSSIM_API void vkssim_fail_with_status(uint32_t code, uint32_t status, int count);
VKSSIM_API void vkssim_short_reply(uint32_t code, uint32_t bytes, int count);
VKSSIM_API void vkssim_fail_with_win32_error(uint32_t code, uint32_t error, int count);
VKSSIM_API void vkssim_fail_create(int device, uint32_t error);
VKSSIM_API void vkssim_fail_completion(uint32_t code, uint32_t error, int count);
VKSSIM_API void vkssim_set_async_completion(int on);
VKSSIM_API void vkssim_clear_faults(void);

/* Log entries by position in the current log (not by sequence number). */
VKSSIM_API size_t vkssim_request_count(void);
VKSSIM_API int vkssim_get_request(size_t index, VKSSIM_REQUEST* request, void* input, size_t capacity);
VKSSIM_API uint64_t vkssim_request_mark(void);
VKSSIM_API void vkssim_clear_requests(void);
/* 1 and the request when one with the code (0: any) and a sequence number of
 * at least `since` arrives within the timeout, else 0. */
VKSSIM_API int vkssim_wait_for_request(uint32_t code, uint64_t since, uint32_t timeoutMs, VKSSIM_REQUEST* request,
                                       void* input, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif
