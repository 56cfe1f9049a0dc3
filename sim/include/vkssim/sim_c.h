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

/* --- Discovery (family_discovery.cpp) --- */
/* `count` records of `thingSize` bytes each (at most 1228 used per thing). */
VKSSIM_API int vkssim_set_discovery_results(int device, uint32_t interfaceNumber, const void* things, size_t thingSize,
                                            size_t count);
VKSSIM_API int vkssim_report_discovered_devices(int device, uint32_t handle, uint32_t interfaceNumber,
                                                uint64_t things);
/* `data`: the event data after the broadcast header (see OnvifDeviceRecord). */
VKSSIM_API int vkssim_raise_onvif_device_event(int device, const void* data, size_t size);

/* --- Device health (family_health.cpp) --- */
typedef struct VKSSIM_HEALTH_FIGURES {
    uint32_t currentLoad;
    uint32_t predictedDecoderLoad;
    uint32_t predictedEncoderLoad;
    uint8_t coreLoad[16];
    uint32_t coreLoadWord;
    uint32_t temperature;
    uint8_t temperatureDetail[16];
    uint8_t cryptoContents[24];
    uint8_t hardwareCounters[24];
    uint8_t memoryUsage[56];
    uint32_t forceLockupStatus;
    uint32_t stopUpgradeRebootStatus;
    uint32_t memUsageStatus;
} VKSSIM_HEALTH_FIGURES;
VKSSIM_API int vkssim_set_health_figures(int device, const VKSSIM_HEALTH_FIGURES* figures);
VKSSIM_API int vkssim_get_health_figures(int device, VKSSIM_HEALTH_FIGURES* figures);

/* ==== Network family ==================================================== */
/* See the network family block of vkssim/sim.h. Records: IP configuration 48
 * bytes, MAC addresses 12 bytes, stream diagnostics records 2752 bytes. */
#define VKSSIM_NETWORK_REACHABLE 0u
#define VKSSIM_NETWORK_UNREACHABLE 1u
#define VKSSIM_NETWORK_SILENT 2u
#define VKSSIM_NETWORK_DIAGNOSTICS_ENTRY_SIZE 2752u

/* counters: first of interfaces 0 and 1, then second of 0 and 1. */
VKSSIM_API int vkssim_network_set_diagnostics(int device, const uint64_t counters[4], const void* entries,
                                              size_t entryCount);
VKSSIM_API void vkssim_network_diagnostics_pattern(uint32_t kind, uint32_t seed, void* entry);
VKSSIM_API int vkssim_network_set_ip_config(int device, const void* record);
VKSSIM_API int vkssim_network_get_ip_config(int device, void* record);
VKSSIM_API int vkssim_network_set_interface_addresses(int device, uint32_t address0, uint32_t address1);
VKSSIM_API int vkssim_network_set_mac_addresses(int device, const void* addresses);
VKSSIM_API int vkssim_network_set_file_size(int device, uint32_t size);
VKSSIM_API int vkssim_network_set_clients(int device, int32_t clients);
VKSSIM_API int vkssim_network_set_info_size_word(int device, uint32_t sizeWord);
VKSSIM_API int vkssim_network_set_destination(int device, const char* destination, uint32_t reach, uint32_t hops);
VKSSIM_API int vkssim_network_clear_destinations(int device);
/* ==== End of network family ============================================= */

/* ==== Encoder family (family_encoder.cpp) =============================== */
/* See the encoder family block of vkssim/sim.h. */
#define VKSSIM_ENCODER_FRAME_RATE_FROM_BLOCK 0xFFFFFFFFu
#define VKSSIM_ENCODER_ECHO_MATCHING 0u
#define VKSSIM_ENCODER_ECHO_FOREIGN_BUFFER 1u
#define VKSSIM_ENCODER_ECHO_NULL_SAMPLE 2u
#define VKSSIM_ENCODER_ECHO_FOREIGN_SAMPLE 3u
#define VKSSIM_ENCODER_ECHO_OVERLONG_FILL 4u
typedef struct VKSSIM_ENCODER_INPUT {
    uint64_t samples;
    uint64_t bytes;
    uint32_t lastFormat1;
    uint32_t lastFormat2;
    uint32_t lastLength;
    uint64_t lastChecksum;
} VKSSIM_ENCODER_INPUT;
typedef struct VKSSIM_CAPTURE_INTERFACE {
    uint32_t open;
    uint32_t paused;
    uint32_t pushPaused;
    uint32_t opens;
    uint32_t word1;
    uint32_t word2;
    uint8_t identification[16];
    uint8_t record[56];
} VKSSIM_CAPTURE_INTERFACE;
VKSSIM_API int vkssim_set_encoder_frame_rate(int device, uint32_t handle, uint32_t framesPerSecond);
VKSSIM_API size_t vkssim_produce_encoder_samples(int device, uint32_t handle, size_t count);
VKSSIM_API int vkssim_set_encoder_echo(int device, uint32_t handle, uint32_t echo);
VKSSIM_API size_t vkssim_held_encoder_samples(int device, uint32_t handle);
VKSSIM_API int vkssim_wait_for_encoder_samples(int device, uint32_t handle, size_t count, uint32_t timeoutMs);
VKSSIM_API int vkssim_ask_for_encryption_keys(int device, uint32_t handle);
VKSSIM_API int vkssim_get_encoder_input(int device, uint32_t handle, VKSSIM_ENCODER_INPUT* input);
VKSSIM_API int vkssim_get_capture_interface(int device, uint32_t handle, VKSSIM_CAPTURE_INTERFACE* capture);
/* ==== End of encoder family ============================================== */

/* ==== Streams family (family_streams.cpp) =============================== */
/* See the streams family block of vkssim/sim.h. */
#ifndef VKSSIM_IOCTL_SUPPLY_ENCODED_DATA
#define VKSSIM_IOCTL_SUPPLY_ENCODED_DATA 0x22C478u
#define VKSSIM_IOCTL_SET_ENCRYPTION_KEYS 0x22C4B4u
#endif
#define VKSSIM_FED_BLOCK_HEAD_BYTES 16u
typedef struct VKSSIM_FED_BLOCK {
    uint32_t bytes;
    uint32_t headLength;
    uint64_t checksum;
    uint8_t head[VKSSIM_FED_BLOCK_HEAD_BYTES];
} VKSSIM_FED_BLOCK;
typedef struct VKSSIM_STREAM_PLAYBACK {
    uint32_t asks;
    uint32_t seeks;
    uint32_t blocks;
    uint32_t ended;
    uint64_t bytes;
    uint32_t dataArrived;
} VKSSIM_STREAM_PLAYBACK;
VKSSIM_API int vkssim_set_stream_pacing(int device, int automatic, uint32_t intervalMs);
VKSSIM_API int vkssim_set_stream_audio(int device, int hasAudio);
VKSSIM_API int vkssim_set_stream_has_audio(int device, uint32_t stream, int hasAudio);
VKSSIM_API int vkssim_ask_for_data(int device, uint32_t stream);
VKSSIM_API int vkssim_request_seek(int device, uint32_t stream, uint64_t position);
/* Returns the number of blocks kept; fills at most `capacity` records. */
VKSSIM_API size_t vkssim_fed_blocks(int device, uint32_t stream, VKSSIM_FED_BLOCK* blocks, size_t capacity);
VKSSIM_API int vkssim_wait_for_fed_blocks(int device, uint32_t stream, size_t count, uint32_t timeoutMs);
VKSSIM_API uint64_t vkssim_fed_checksum(const void* data, size_t size);
VKSSIM_API int vkssim_get_stream_playback(int device, uint32_t stream, VKSSIM_STREAM_PLAYBACK* playback);
/* Copies the decoder's last 32-byte keys record; 0 when it has none. */
VKSSIM_API int vkssim_get_encryption_keys(int device, uint32_t decoder, uint8_t* keys);
/* How a decoder echoes the sample address when it hands an output sample back:
   VKSSIM_ENCODER_ECHO_MATCHING, _NULL_SAMPLE or _FOREIGN_SAMPLE. */
VKSSIM_API int vkssim_set_decoder_sample_echo(int device, uint32_t decoder, uint32_t echo);
/* ==== End of streams family ============================================== */

#ifdef __cplusplus
}
#endif

#endif
