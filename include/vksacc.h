/*
 * vksacc.h - public interface of the VKSACC client library.
 *
 * One plain C interface to the decoders, encoders, network ports, discovery
 * sessions and health figures of the media devices served by the kernel
 * driver. Every export returns a VKSERROR (AudioHelperProcessMain returns an
 * HRESULT); nothing is thrown across the boundary.
 *
 * Conventions used in the comments below:
 *  - "engine": the export first returns the engine status when the engine is
 *    not loaded (VKSERROR_UNINITIALIZED before VKSEngineLoad, or the failure
 *    code of a failed load).
 *  - "handle": the export locks an HVKS; a handle-table failure (HANDLEERROR_*)
 *    is returned unchanged unless the comment says otherwise.
 *  - "decoder index", "encoder index", "port index": a global input index into
 *    the decoder, encoder or network-port table; an index that names no input
 *    gives VKSERROR_INVALID_INPUT.
 *  - "device by index": the export opens the device's driver file for one
 *    synchronous command (VKSERROR_DRIVER_NOT_FOUND when that fails) and
 *    returns the driver's status or the mapped channel error.
 *  - Driver statuses pass through unchanged; channel failures are mapped to
 *    VKSERROR_NOACCESS, VKSERROR_ILLEGAL_CALL, VKSERROR_INSUFFICIENT_MEMORY,
 *    VKSERROR_CLIENT_CLOSED (the driver has closed the object).
 *  - "unsupported": returns VKSERROR_UNSUPPORTED at once, without looking at
 *    its arguments.
 *  - Text exports come in pairs: A takes 8-bit text, W takes UTF-16 (VKSWCHAR).
 *
 *  - Arguments: an HVKS is a handle an open export returned and its close
 *    export has not retired; "Reserved" arguments are not used; records are
 *    read or written during the call only, except media samples, which stay
 *    the application's and must stay valid until they come back through a
 *    callback (or the engine is freed).
 *
 * Callbacks: every callback runs on the library's worker thread, one at a
 * time, except the system-event callback (device completion thread) and the
 * VKSERROR_END_OF_STREAM report that the notification thread sends to every
 * open network stream's error function when the display configuration
 * changes. A callback may call the library's exports for the same object.
 * None runs after the last VKSEngineFree has returned. A callback should
 * return quickly: while it runs, no other object's events are delivered.
 *
 * 64-bit targets only. Record layouts are fixed byte for byte and identical
 * on Windows and Linux; they are checked by the static assertions at the end
 * of this file.
 */
#ifndef VKSACC_H
#define VKSACC_H

#include <stddef.h>
#include <stdint.h>

#include "vksacc_abi.h"

/* Version of this header. VKSGetVersion returns the library's, in the form
 * of VKSACC_VERSION: an application can compare the two at start. */
#define VKSACC_VERSION_MAJOR 0
#define VKSACC_VERSION_MINOR 1
#define VKSACC_VERSION_PATCH 0
#define VKSACC_VERSION_STRING "0.1.0"
#define VKSACC_MAKE_VERSION(major, minor, patch) \
    ((uint32_t)(((uint32_t)(major) << 16) | ((uint32_t)(minor) << 8) | (uint32_t)(patch)))
#define VKSACC_VERSION VKSACC_MAKE_VERSION(VKSACC_VERSION_MAJOR, VKSACC_VERSION_MINOR, VKSACC_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__cplusplus)
#  define VKS_STATIC_ASSERT(expr, msg) static_assert(expr, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define VKS_STATIC_ASSERT(expr, msg) _Static_assert(expr, msg)
#else
/* C99: an array type whose size is negative when the assertion fails. */
#  define VKS_STATIC_ASSERT_NAME2(line) vks_static_assert_##line
#  define VKS_STATIC_ASSERT_NAME(line) VKS_STATIC_ASSERT_NAME2(line)
#  define VKS_STATIC_ASSERT(expr, msg) typedef char VKS_STATIC_ASSERT_NAME(__LINE__)[(expr) ? 1 : -1]
#endif

/* The media buffer list has an unnamed union (C11 and C++); C99 compilers
 * accept it as an extension, which GCC and Clang want marked. */
#if defined(__GNUC__) && !defined(__cplusplus)
#  define VKS_EXTENSION __extension__
#else
#  define VKS_EXTENSION
#endif

VKS_STATIC_ASSERT(sizeof(void*) == 8, "VKSACC supports 64-bit targets only");

/* ------------------------------------------------------------------------ */
/* Basic types                                                              */
/* ------------------------------------------------------------------------ */

/* Status of every export, command and notification. 0 success, 1 ignore,
 * all other codes 0x0134GOOO: G the group, OOO the offset; offsets 0x000 to
 * 0x3FF are failures, offsets from 0x400 up are notifications. */
typedef uint32_t VKSERROR;

/* Handle of an open decoder, encoder, network stream or discovery session:
 * the handle table's tag (4) in the upper 16 bits, a serial in the lower. */
typedef uint32_t HVKS;

/* Engine handle returned by VKSEngineLoad and given back to VKSEngineFree. */
typedef void* VKSHENGINE;

/* Window handle (an HWND on Windows). */
typedef void* VKSHWND;

/* Kernel object handle (a HANDLE on Windows). */
typedef void* VKSHANDLE;

/* Globally unique identifier, laid out as the Windows GUID. */
typedef struct VKSGUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t  Data4[8];
} VKSGUID;

/* Kind of device input and of open object. */
typedef uint32_t VKSDEVICETYPE;
#define VKSDEVICETYPE_NETWORK   0u
#define VKSDEVICETYPE_DECODER   1u
#define VKSDEVICETYPE_ENCODER   2u
#define VKSDEVICETYPE_DISCOVERY 3u

/* ------------------------------------------------------------------------ */
/* Status codes                                                             */
/* ------------------------------------------------------------------------ */

#define VKSERROR_NO_ERROR                             0x00000000u
#define VKSERROR_IGNORE_ERROR                         0x00000001u

/* Group 0, general: failures */
#define VKSERROR_UNINITIALIZED                        0x01340000u
#define VKSERROR_UNEXPECTED                           0x01340001u
#define VKSERROR_UNSUPPORTED                          0x01340002u
#define VKSERROR_INVALID_INPUT                        0x01340003u
#define VKSERROR_INVALID_HANDLE                       0x01340004u
#define VKSERROR_INVALID_ARGUMENT                     0x01340005u
#define VKSERROR_INVALID_STATE                        0x01340006u
#define VKSERROR_BUFFER_TOO_SMALL                     0x01340007u
#define VKSERROR_BUFFER_NOT_VALID                     0x01340008u
#define VKSERROR_INSUFFICIENT_MEMORY                  0x01340009u
#define VKSERROR_ILLEGAL_CALL                         0x0134000Au
#define VKSERROR_NOACCESS                             0x0134000Bu
#define VKSERROR_HARDWARE_NOT_FOUND                   0x0134000Cu
#define VKSERROR_DRIVER_NOT_FOUND                     0x0134000Du
#define VKSERROR_NO_INITIAL_HANDSHAKE                 0x0134000Eu
#define VKSERROR_NO_COMPLETION                        0x0134000Fu
#define VKSERROR_INCOMPATIBLE_HARDWARE                0x01340010u
#define VKSERROR_INSUFFICIENT_RESOURCES               0x01340011u
#define VKSERROR_FW_SHUTDOWN                          0x01340012u
#define VKSERROR_REGISTRY_KEY_OPEN                    0x01340013u
#define VKSERROR_REGISTRY_KEY_QUERY                   0x01340014u
#define VKSERROR_REGISTRY_KEY_WRITE                   0x01340015u
#define VKSERROR_ALIGNMENT                            0x01340016u
#define VKSERROR_MODE_CHANGED                         0x01340017u
#define VKSERROR_CONVERSION_FAILED                    0x01340018u
#define VKSERROR_DEVICE_IN_USE                        0x01340019u
#define VKSERROR_UPGRADE_TIMEOUT                      0x0134001Au
#define VKSERROR_UPGRADE_FIRSTBOOT                    0x0134001Bu
#define VKSERROR_UPGRADE_FIRSTBOOT_SCRIPT             0x0134001Cu
#define VKSERROR_UPGRADE_EXTRACTION                   0x0134001Du
#define VKSERROR_UPGRADE_FAILED                       0x0134001Eu
#define VKSERROR_INVALID_EVENT                        0x0134001Fu
#define VKSERROR_HDCP_PROTECTED                       0x01340020u
#define VKSERROR_UNKNOWN_DEVICE_IN_USE                0x01340021u
#define VKSERROR_CLIENT_CLOSED                        0x01340022u
#define VKSERROR_UPGRADE_STARTED                      0x01340023u
#define VKSERROR_UPGRADE_IN_PROGRESS                  0x01340024u
#define VKSERROR_CMD_TIMEOUT                          0x01340025u
#define VKSERROR_NO_DATA                              0x01340026u
#define VKSERROR_UNKNOWN_TIMEOUT                      0x013400FEu
#define VKSERROR_UNKNOWN_ERROR                        0x013400FFu

/* Group 0, general: notifications */
#define VKSERROR_UPGRADE_PENDING                      0x01340400u

/* Group 1, connections and streams: failures */
#define VKSERROR_INVALID_CONNECTION                   0x01341000u
#define VKSERROR_TEST_FAILED                          0x01341001u
#define VKSERROR_TEST_NOREPLY                         0x01341002u
#define VKSERROR_TEST_REFUSED                         0x01341003u
#define VKSERROR_DNS_ERROR                            0x01341004u
#define VKSERROR_INVALID_PATH_ERROR                   0x01341005u
#define VKSERROR_CONNECTION_FAILED                    0x01341006u
#define VKSERROR_NOT_AUTHORIZED                       0x01341007u
#define VKSERROR_DECRYPTION_AUTH_FAILED               0x01341008u
#define VKSERROR_NO_NETWORK_INTERFACE                 0x01341009u
#define VKSERROR_NETWORK_DEVICE_IN_USE                0x0134100Au

/* Group 1, connections and streams: notifications */
#define VKSERROR_STREAM_STOPPED                       0x01341400u
#define VKSERROR_STREAM_RESTARTED                     0x01341401u
#define VKSERROR_CONNECTION_TERMINATED                0x01341402u
#define VKSERROR_CONNECTION_CONTINUED                 0x01341403u
#define VKSERROR_END_OF_STREAM                        0x01341404u
#define VKSERROR_ATTEMPTING_CONNECTION                0x01341405u
#define VKSERROR_NEED_DATA                            0x01341406u
#define VKSERROR_SEEK_DATA                            0x01341407u
#define VKSERROR_RECONNECTING                         0x01341408u
#define VKSERROR_RESOLUTION_CHANGED                   0x01341409u
#define VKSERROR_RECONNECT_STREAM                     0x0134140Au

/* Group 2, decoder: failures */
#define VKSERROR_INVALID_STREAM                       0x01342000u
#define VKSERROR_INVALID_INPUT_MEDIATYPE              0x01342001u
#define VKSERROR_INVALID_OUTPUT_MEDIATYPE             0x01342002u
#define VKSERROR_UNSUPPORTED_STREAM                   0x01342003u
#define VKSERROR_DECODER_DEVICE_IN_USE                0x01342004u

/* Group 2, decoder: notifications */
#define VKSERROR_DECODED_FIRST_FRAME                  0x01342400u
#define VKSERROR_AUDIO_EXISTS                         0x01342401u
#define VKSERROR_AUDIO_UNSUPPORTED_STREAM             0x01342402u
#define VKSERROR_AUDIO_AVAILABLE                      0x01342403u

/* Group 3, encoder: failures */
#define VKSERROR_INVALID_ENCSTREAM                    0x01343000u
#define VKSERROR_INVALID_ENCINPUT_MEDIATYPE           0x01343001u
#define VKSERROR_INVALID_ENCOUTPUT_MEDIATYPE          0x01343002u
#define VKSERROR_UNSUPPORTED_ENCSTREAM                0x01343003u
#define VKSERROR_NO_LANDING_PLACE                     0x01343004u
#define VKSERROR_ENC_BUFFER_OVERFLOW                  0x01343005u
#define VKSERROR_ENC_DMA_ERROR                        0x01343006u
#define VKSERROR_ENCODER_DEVICE_IN_USE                0x01343007u
#define VKSERROR_ENC_AUD_LOAD_ERROR                   0x01343008u
#define VKSERROR_ENC_AUD_BUFFER_OVERFLOW              0x01343009u
#define VKSERROR_ENC_INTERNAL_STREAMER_ERROR          0x0134300Au
#define VKSERROR_ENC_INTERNAL_STREAMER_WARNING        0x0134300Bu
#define VKSERROR_PORT_IN_USE                          0x0134300Cu

/* Group 3, encoder: notifications */
#define VKSERROR_ENCODED_FIRST_FRAME                  0x01343400u
#define VKSERROR_ENC_NOTIFY_ENCR_KEY                  0x01343401u
#define VKSERROR_ENC_NOTIFY_DMA_STOPPED               0x01343402u
#define VKSERROR_ENC_NOTIFY_START_STREAM_CAPTURE      0x01343403u
#define VKSERROR_ENC_NOTIFY_STOP_STREAM_CAPTURE       0x01343404u
#define VKSERROR_ENC_NOTIFY_AUDIO_ACQUISITION_STOPPED 0x01343405u
#define VKSERROR_ENC_NOTIFY_NO_NETWORK                0x01343406u

/* Group 4, discovery: failures */
#define VKSERROR_DISCOVERY_DEVICE_IN_USE              0x01344000u

/* Group 4, discovery: notifications */
#define VKSERROR_DISCOVERED_DEVICES                   0x01344400u
#define VKSERROR_DISCOVERY_DATA                       0x01344401u

/* Group 5, network diagnostics: notifications */
#define VKSERROR_DIAG_PING_SUCCESS                    0x01345400u
#define VKSERROR_DIAG_PING_FAIL                       0x01345401u
#define VKSERROR_DIAG_PING_TIMEOUT                    0x01345402u
#define VKSERROR_DIAG_TRACEROUTE_SUCCESS              0x01345403u
#define VKSERROR_DIAG_TRACEROUTE_FAIL                 0x01345404u
#define VKSERROR_DIAG_TRACEROUTE_TIMEOUT              0x01345405u
#define VKSERROR_DIAG_TRACEROUTE_COMPLETE             0x01345406u

/* Group 6, device self-tests: notifications */
#define VKSERROR_TEST_COMPLETE                        0x01346400u
#define VKSERROR_TEST_IN_PROGRESS                     0x01346401u
#define VKSERROR_TEST_FAIL                            0x01346402u

/* Group F, system events: notifications */
#define VKSERROR_EVENT_UPGRADE_COMPLETE               0x0134F400u
#define VKSERROR_EVENT_UPGRADE_PENDING                0x0134F401u
#define VKSERROR_EVENT_MEMORY_LEVEL_GREEN             0x0134F402u
#define VKSERROR_EVENT_MEMORY_LEVEL_AMBER             0x0134F403u
#define VKSERROR_EVENT_MEMORY_LEVEL_RED               0x0134F404u

/* Handle-table status family, returned unchanged by most exports that take
 * an HVKS. */
#define HANDLEERROR_BAD_CONFIG          0x01170001u
#define HANDLEERROR_ALREADY_INITIALISED 0x01170002u
#define HANDLEERROR_INVALID_HANDLE      0x01170003u
#define HANDLEERROR_NO_MEMORY           0x01170005u
#define HANDLEERROR_BAD_BUCKET_COUNT    0x01170006u
#define HANDLEERROR_NO_HANDLE           0x01170007u

/* ------------------------------------------------------------------------ */
/* Records                                                                  */
/* ------------------------------------------------------------------------ */

/* Device information. Size: on entry the capacity of the caller's record
 * (must not be 0), on return the number of bytes filled. All other fields
 * are filled by the driver. */
typedef struct VKSINFOW {
    uint32_t Size;              /*   0 */
    uint8_t  DeviceData[48];    /*   4 */
    VKSWCHAR Text[256];         /*  52, UTF-16, zero-terminated */
    uint8_t  DeviceData2[20];   /* 564 */
} VKSINFOW;                     /* 584 bytes */

typedef struct VKSINFOA {
    uint32_t Size;              /*   0 */
    uint8_t  DeviceData[48];    /*   4 */
    char     Text[256];         /*  52, ANSI code page, zero-terminated */
    uint8_t  DeviceData2[20];   /* 308 */
} VKSINFOA;                     /* 328 bytes */

/* Media type of a sample: the library passes the two format words to the
 * device and interprets nothing else. */
typedef struct VKSMEDIATYPE {
    uint32_t Reserved[2];       /*  0 */
    uint32_t FormatWord1;       /*  8 */
    uint32_t FormatWord2;       /* 12 */
} VKSMEDIATYPE;

/* One buffer entry of a VKSMEDIABUFFERS list (40-byte stride). */
typedef struct VKSMEDIABUFFER {
    void*    pData;             /*  0 */
    uint32_t Length;            /*  8, bytes */
    uint32_t BufferWord;        /* 12, passed to the device unchanged */
    uint64_t Reserved0;         /* 16 */
    uint32_t FilledLength;      /* 24, written when an output sample completes (entry 0 only) */
    uint32_t Reserved1;         /* 28 */
    uint64_t Reserved2;         /* 32 */
} VKSMEDIABUFFER;

/* Plane values of a multi-plane (layout 2) buffer list, as seen from the
 * start of the entry area (offset 40 of VKSMEDIABUFFERS). */
typedef struct VKSMEDIAPLANES {
    uint8_t  EntryArea[112];        /*  40 .. 151 of the list */
    uint64_t FirstPlaneValues[3];   /* 152 */
    uint64_t SecondPlaneValues[3];  /* 176 */
    uint64_t ThirdPlaneValues[3];   /* 200 */
} VKSMEDIAPLANES;

/* Buffer list of a media sample. Entry k lies at offset 40 + 40*k. The last
 * 8 bytes of entry 2 (its Reserved2) share storage with FirstPlaneValues[0]:
 * write only pData, Length, BufferWord and FilledLength of entry 2. */
typedef struct VKSMEDIABUFFERS {
    uint32_t Reserved0;             /*  0 */
    uint32_t Reserved1;             /*  4 */
    uint64_t CompletionValue1;      /*  8, written when an output sample completes */
    uint64_t CompletionValue2;      /* 16, written when an output sample completes */
    uint32_t BufferCount;           /* 24, entries in use */
    uint32_t Reserved2[3];          /* 28 */
    VKS_EXTENSION union {
        VKSMEDIABUFFER Buffers[3];  /* 40 */
        VKSMEDIAPLANES Planes;      /* 40, plane values from 152 */
    };
} VKSMEDIABUFFERS;                  /* 224 bytes */

/* Media sample given to the chain exports and returned through the
 * media-sample return callbacks. The application owns the sample and all it
 * points to until it comes back. */
typedef struct VKSMEDIASAMPLE {
    uint32_t         Reserved0;     /*  0 */
    uint32_t         Kind;          /*  4, 1 or 2 when the sample carries a media type */
    uint32_t         SampleWord;    /*  8, passed to the device unchanged */
    uint32_t         Reserved1;     /* 12 */
    VKSMEDIATYPE*    pMediaType;    /* 16, may be null */
    uint32_t         Layout;        /* 24, 2 selects the multi-plane fields */
    uint32_t         Reserved2;     /* 28 */
    VKSMEDIABUFFERS* pBuffers;      /* 32, required */
} VKSMEDIASAMPLE;                   /* 40 bytes */

/* Open parameters of network streams and decoders. */
typedef struct NetworkStreamOpenParams {
    uint32_t Reserved0;             /*  0 */
    uint32_t Reserved1;             /*  4 */
    uint64_t Reserved2;             /*  8 */
    uint32_t TransportSelector;     /* 16 */
    uint8_t  StreamOptions[32];     /* 20, passed to the device unchanged */
    uint8_t  Reserved3[4];          /* 52 */
} NetworkStreamOpenParams;          /* 56 bytes */

/* Older form: offset 16 is a boolean (non-zero: transport selector 5, zero:
 * transport selector 1). */
#pragma pack(push, 4)
typedef struct NetworkStreamOpenParamsV1 {
    uint32_t Reserved0;             /*  0 */
    uint32_t Reserved1;             /*  4 */
    uint64_t Reserved2;             /*  8 */
    uint32_t bTransport;            /* 16 */
    uint8_t  StreamOptions[32];     /* 20 */
} NetworkStreamOpenParamsV1;        /* 52 bytes */
#pragma pack(pop)

/* Seek request of VKSNetworkSetSeeking. */
#define VKS_SEEK_TIME_VALID     0x1u
#define VKS_SEEK_POSITION_VALID 0x2u
typedef struct NetworkSeekParams {
    uint32_t Size;                  /*  0, at least 8 */
    uint32_t Flags;                 /*  4, VKS_SEEK_* */
    double   SeekTime;              /*  8, seconds */
    uint64_t SeekPosition;          /* 16 */
} NetworkSeekParams;                /* 24 bytes */

/* Audio parameters of VKSEncoderSetAudioParam. */
typedef struct EncoderAudioParams {
    uint32_t Reserved0;             /*  0, not used */
    uint32_t Value1;                /*  4 */
    uint16_t Value2;                /*  8 */
    uint16_t Reserved1;             /* 10 */
    uint32_t Value3;                /* 12 */
    uint16_t Value4;                /* 16 */
    uint16_t Reserved2;             /* 18 */
} EncoderAudioParams;               /* 20 bytes */

/* Load parameters of VKSEncoderPredictNewLoad. */
typedef struct EncoderLoadParams {
    uint32_t Reserved0;             /*  0, not sent */
    uint32_t LoadParams[4];         /*  4 */
} EncoderLoadParams;                /* 20 bytes */

/* Capture-card interface parameters of VKSEncoderOpenRmv204Interface. */
typedef struct Rmv204InterfaceParams {
    uint32_t Size;                  /*  0, must not be 0 */
    uint32_t InterfaceWord1;        /*  4 */
    uint32_t InterfaceWord2;        /*  8 */
    uint8_t  Reserved0[18];         /* 12, not sent */
    uint8_t  Identification[16];    /* 30 */
    uint8_t  Reserved1[10];         /* 46, not sent */
} Rmv204InterfaceParams;            /* 56 bytes */

/* Encryption keys of VKSDecoderDeviceSetEncryptionKeys, sent unchanged. */
typedef struct VKSENCRYPTIONKEYS {
    uint8_t First[16];              /*  0 */
    uint8_t Second[16];             /* 16 */
} VKSENCRYPTIONKEYS;                /* 32 bytes */

/* PSK datatypes of VKSDecoderDeviceSetPSKEncryptionData and the data limit. */
#define VKS_PSK_DATATYPE_0      0u
#define VKS_PSK_DATATYPE_1      1u
#define VKS_PSK_MAX_LENGTH      32u

/* Size of the buffer VKSDecoderDeviceGetAudioSessionId writes: the braced
 * 38-character GUID text and its terminator. */
#define VKS_AUDIO_SESSION_ID_SIZE 39u

/* IP configuration of a device: two interfaces. */
typedef struct VKSIPCONFIGENTRY {
    uint32_t DeviceData0;           /*  0 */
    uint32_t IPv4Address;           /*  4, host order, 0 when not configured */
    uint8_t  DeviceData1[16];       /*  8 */
} VKSIPCONFIGENTRY;                 /* 24 bytes */

typedef struct VKSIPCONFIG {
    VKSIPCONFIGENTRY Interface[2];  /*  0, 24 */
} VKSIPCONFIG;                      /* 48 bytes */

/* MAC addresses of a device, in the device's order. */
typedef struct VKSMACADDRESSES {
    uint8_t Address[2][6];
} VKSMACADDRESSES;                  /* 12 bytes */

/* One stream diagnostics entry of VKSNETWORKDIAGNOSTICS. Field meanings are
 * the device's. Kind (offset 88) decides which fields are filled; fields the
 * kind does not fill, and Header, keep what the caller put there. */
typedef struct VKSSTREAMDIAGNOSTICS {
    uint32_t Header;                /*   0, not written */
    uint32_t Values0[21];           /*   4 .. 87 */
    uint32_t Kind;                  /*  88 */
    uint32_t Values1[5];            /*  92 .. 111 */
    uint8_t  Text[256];             /* 112 */
    uint32_t Reserved0;             /* 368, not written */
    uint32_t Values2[5];            /* 372 .. 391 */
    uint16_t Short0;                /* 392 */
    uint16_t Short1;                /* 394 */
} VKSSTREAMDIAGNOSTICS;             /* 396 bytes */

/* Diagnostics request of VKSNetworkStreamGetDiagnostics (pointers at 4-byte
 * boundaries). Unlisted bytes are not used by the library. */
#pragma pack(push, 4)
typedef struct VKSNETWORKDIAGNOSTICS {
    uint8_t               Reserved0[12];    /*   0 */
    uint32_t              NumStreams;       /*  12, N entries wanted */
    uint32_t              NumInterfaces;    /*  16, M interfaces wanted, at most 2 */
    uint8_t               Reserved1[600];   /*  20 */
    uint64_t*             pFirstCounters;   /* 620, M entries, output */
    uint64_t*             pSecondCounters;  /* 628, M entries, output */
    uint8_t               Reserved2[24];    /* 636 */
    VKSSTREAMDIAGNOSTICS* pStreams;         /* 660, N entries, output */
} VKSNETWORKDIAGNOSTICS;                    /* 668 bytes */
#pragma pack(pop)

/* Trace-route result block, produced by the device and copied unchanged. */
#define VKS_TRACEROUTE_REPORT_SIZE 4100u
#define VKS_TRACEROUTE_MAX_REPORTS 2u
typedef struct VKSTRACEROUTEREPORT {
    uint8_t Data[4100];
} VKSTRACEROUTEREPORT;              /* 4100 bytes */

#pragma pack(push, 4)
typedef struct VKSTRACEROUTERESULTS {
    uint32_t             Size;      /* 0, must be report count * 4100 */
    VKSTRACEROUTEREPORT* pReports;  /* 4 */
} VKSTRACEROUTERESULTS;             /* 12 bytes */
#pragma pack(pop)

/* Configured interface address: an IPv4 socket address at offset 8. */
typedef struct VKSINTERFACEADDRESS {
    uint8_t  Reserved0[8];          /*   0, not written */
    uint16_t Family;                /*   8, 2 (IPv4) */
    uint16_t Reserved1;             /*  10, not written */
    uint8_t  Address[4];            /*  12, network byte order */
    uint8_t  Reserved2[120];        /*  16, not written */
} VKSINTERFACEADDRESS;              /* 136 bytes */

/* Discovery records, built by the library for each delivery. One discovered
 * device ("thing") takes VKS_DISCO_ENTITY_SIZE bytes of the entity buffer;
 * its layout is the driver's. */
#define VKS_DISCO_ENTITY_SIZE 1228u

typedef struct DiscoEntityList {
    uint32_t Interface;             /*  0, 1 */
    uint32_t Reserved0;             /*  4 */
    void*    pEntity;               /*  8, entity buffer */
    uint32_t EntitySize;            /* 16, bytes */
    uint32_t Reserved1;             /* 20 */
} DiscoEntityList;                  /* 24 bytes */

typedef struct DiscoData {
    uint32_t         Size;          /*   0, 168 */
    uint8_t          Reserved0[132];/*   4 */
    uint64_t         Reserved1;     /* 136 */
    uint32_t         Reserved2;     /* 144 */
    uint32_t         Reserved3;     /* 148 */
    DiscoEntityList* pEntityList;   /* 152 */
    uint32_t         EntityListSize;/* 160, 24 */
    uint32_t         Reserved4;     /* 164 */
} DiscoData;                        /* 168 bytes */

typedef struct DiscoParms {
    uint32_t   Size;                /*  0, 64 */
    uint32_t   Reserved0;           /*  4 */
    uint64_t   Reserved1;           /*  8 */
    uint32_t   Reserved2;           /* 16 */
    uint32_t   Reserved3;           /* 20 */
    uint32_t*  pCount;              /* 24, points to a u32 holding 1 */
    uint32_t   Count;               /* 32, 1 */
    uint32_t   Reserved4;           /* 36 */
    uint64_t   Reserved5;           /* 40 */
    DiscoData* pDiscoData;          /* 48 */
    uint32_t   DiscoDataSize;       /* 56, 168 */
    uint32_t   Reserved6;           /* 60 */
} DiscoParms;                       /* 64 bytes */

/* Health records, copied unchanged from the device; layouts are the
 * device's. */
typedef struct VKSCORELOAD          { uint8_t Data[16]; } VKSCORELOAD;
typedef struct VKSTEMPERATUREDETAIL { uint8_t Data[16]; } VKSTEMPERATUREDETAIL;
typedef struct VKSCRYPTOCONTENTS    { uint8_t Data[24]; } VKSCRYPTOCONTENTS;
typedef struct VKSHARDWARECOUNTERS  { uint8_t Data[24]; } VKSHARDWARECOUNTERS;
typedef struct VKSMEMORYUSAGEDIAGS  { uint8_t Data[56]; } VKSMEMORYUSAGEDIAGS;

/* ------------------------------------------------------------------------ */
/* Callbacks                                                                */
/* ------------------------------------------------------------------------ */

/* System events (VKSERROR_EVENT_*): code, the event's payload from the
 * driver's notification (valid during the call), context. Runs on the
 * device completion thread. */
typedef void (VKSAPI* VKSSYSTEMEVENTFN)(VKSERROR Event, void* pPayload, void* pContext);
/* As VKSSYSTEMEVENTFN, with the device that sent the event: the global index
 * of its first network port. */
typedef void (VKSAPI* VKSSYSTEMEVENTFNEX)(VKSERROR Event, void* pPayload, uint32_t PortIndex, void* pContext);

/* Network stream error function: handle, the completion's value word, sample
 * (null for events), status, context. Runs on the worker thread, except the
 * VKSERROR_END_OF_STREAM report of a display change, which runs on the
 * notification thread. */
typedef void (VKSAPI* VKSNETWORKERRORFN)(HVKS hVKS, uint32_t Value, VKSMEDIASAMPLE* pSample,
                                         VKSERROR Status, void* pContext);

/* Network stream media-sample return function (registration unsupported). */
typedef void (VKSAPI* VKSNETWORKMEDIASAMPLERETURNFN)(HVKS hVKS, uint32_t Value,
                                                     VKSMEDIASAMPLE* pSample, void* pContext);

/* Decoder error function: null, 0, handle, sample (null for events), status,
 * context. Runs on the worker thread. */
typedef void (VKSAPI* VKSDECODERERRORFN)(void* pReserved, uint32_t Reserved, HVKS hVKS,
                                         VKSMEDIASAMPLE* pSample, VKSERROR Status,
                                         void* pContext);

/* Decoder media-sample return function: null, 0, handle, the filled sample,
 * context. Runs on the worker thread. */
typedef void (VKSAPI* VKSDECODERMEDIASAMPLERETURNFN)(void* pReserved, uint32_t Reserved,
                                                     HVKS hVKS, VKSMEDIASAMPLE* pSample,
                                                     void* pContext);

/* Encoder error function: handle, sample (null for notifications), status,
 * context. Runs on the worker thread. */
typedef void (VKSAPI* VKSENCODERERRORFN)(HVKS hVKS, VKSMEDIASAMPLE* pSample, VKSERROR Status,
                                         void* pContext);

/* Encoder output-sample return function: handle, the filled sample, context.
 * Runs on the worker thread. */
typedef void (VKSAPI* VKSENCODERMEDIASAMPLERETURNFN)(HVKS hVKS, VKSMEDIASAMPLE* pSample,
                                                     void* pContext);

/* Encoder encryption-keys function: null, 0, handle, 0, the key request data
 * (valid only during the call), context. Runs on the worker thread while the
 * encoder's handle is locked. */
typedef void (VKSAPI* VKSENCRYPTIONKEYSFN)(void* pReserved, uint32_t Reserved0, HVKS hVKS,
                                           uint32_t Reserved1, void* pKeyRequest,
                                           void* pContext);

/* Discovery function: handle, parameters, context, status. Status 0 comes
 * with a filled delivery (the entity buffer is freed when the function
 * returns: copy what you keep); a non-zero status comes with a DiscoParms
 * whose Size is 64 and all else 0. Runs on the worker thread while the
 * discovery handle is locked. Note that the context comes before the status. */
typedef void (VKSAPI* VKSDISCOVERYFN)(HVKS hVKS, DiscoParms* pParms, void* pContext,
                                      VKSERROR Status);

/* ------------------------------------------------------------------------ */
/* Exports                                                                  */
/* ------------------------------------------------------------------------ */

/* ---- Engine ------------------------------------------------------------ */

/* Loads the engine, or joins one that is loaded or loading (several users
 * share one engine): counts the caller, reads the configuration, starts the
 * worker and device completion threads, loads the rendering library and
 * enumerates the devices. phEngine (out) receives the engine handle for
 * VKSEngineFree; VKSERROR_INVALID_ARGUMENT when it is null. Every call,
 * failed or not, is one load to free. Returns the engine status:
 * VKSERROR_NO_ERROR, or the failure of the first load (for example
 * VKSERROR_INSUFFICIENT_RESOURCES), which stays the answer for the process. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEngineLoad(VKSHENGINE* phEngine);

/* Releases one load; the last one takes the engine down. VKSERROR_NO_ERROR,
 * VKSERROR_ILLEGAL_CALL for a handle VKSEngineLoad did not return, or the
 * engine status when it is not VKSERROR_NO_ERROR. The last free waits for the
 * library's threads to end, so it may not be made from a callback: made on
 * the worker, device completion or notification thread it returns
 * VKSERROR_ILLEGAL_CALL (logged at ERROR) and changes nothing; the load is
 * still the caller's to free from another thread. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEngineFree(VKSHENGINE hEngine);

/* Replaces the system-event callback; null switches system events off. Only
 * while the engine is loaded. Always VKSERROR_NO_ERROR. The callback runs on
 * the device completion thread. */
VKSACC_EXPORT VKSERROR VKSAPI VKSSetSystemEventFn(VKSSYSTEMEVENTFN pFn, void* pContext);
/* An addition to the exports above: as VKSSetSystemEventFn, for a callback
 * that also learns which device sent each event. The two callbacks are kept
 * apart; each set one is called. Always VKSERROR_NO_ERROR. */
VKSACC_EXPORT VKSERROR VKSAPI VKSSetSystemEventFnEx(VKSSYSTEMEVENTFNEX pFn, void* pContext);

/* The library's version, as VKSACC_VERSION (major << 16 | minor << 8 |
 * patch). Needs no engine; callable from any thread. */
VKSACC_EXPORT uint32_t VKSAPI VKSGetVersion(void);

/* The name of a status code exactly as this header spells it
 * ("VKSERROR_INVALID_ARGUMENT" for 0x01340005), or "" (never null) for a
 * value without a name, such as a HANDLEERROR_* value or a Windows error
 * number. Needs no engine; pure, callable from any thread, including
 * callbacks. */
VKSACC_EXPORT const char* VKSAPI VKSErrorToString(VKSERROR Status);

/* ---- Device counts and information ------------------------------------- */
/* Inputs by global input index, from 0 to count - 1 per kind; the index is
 * what the open, network and health exports take.
 * Count: writes the number of inputs of that type (0 before load);
 * VKSERROR_INVALID_ARGUMENT for a null pointer. Info: VKSERROR_INVALID_ARGUMENT
 * (null record), VKSERROR_BUFFER_TOO_SMALL (Size 0), VKSERROR_INVALID_INPUT,
 * VKSERROR_DRIVER_NOT_FOUND or the driver status; the A forms may also return
 * a Windows error number from the text conversion. None checks the engine. */

VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPortGetCount(uint32_t* pCount);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPortGetInfoA(uint32_t PortIndex, VKSINFOA* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPortGetInfoW(uint32_t PortIndex, VKSINFOW* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderGetCount(uint32_t* pCount);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderGetInfoA(uint32_t DecoderIndex, VKSINFOA* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderGetInfoW(uint32_t DecoderIndex, VKSINFOW* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetCount(uint32_t* pCount);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetInfoA(uint32_t EncoderIndex, VKSINFOA* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetInfoW(uint32_t EncoderIndex, VKSINFOW* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoGetCount(uint32_t* pCount);
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoGetInfoA(uint32_t DiscoIndex, VKSINFOA* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoGetInfoW(uint32_t DiscoIndex, VKSINFOW* pInfo);

/* ---- Decoder parameters ------------------------------------------------- */
/* hVKS: an open decoder. Values are the device's, passed in the order of the
 * arguments (cropping: the four edges of the rectangle; deinterlace: mode
 * and second value; rates: four rate values, the third being the render
 * rate; resolution: width, height). Set-only parameters have no getter.
 * Handle; the object's type is not checked. Getters: VKSERROR_INVALID_ARGUMENT
 * for a null out pointer (before locking); VKSERROR_UNSUPPORTED when the
 * device's block is too short for the field (outputs untouched); else the
 * driver status. Default/Maximum/Minimum read the device's default, maximum
 * and minimum values. Setters: the driver status. */

VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetCropping(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetCroppingDefault(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetCroppingMaximum(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetCroppingMinimum(HVKS hVKS, uint32_t* pA, uint32_t* pB, uint32_t* pC, uint32_t* pD);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetCropping(HVKS hVKS, uint32_t A, uint32_t B, uint32_t C, uint32_t D);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceIsCroppingEnabled(HVKS hVKS, uint32_t* pEnabled);
/* Enable 1 enables cropping; any other value disables it and resets the
 * rectangle to the whole picture. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceEnableCropping(HVKS hVKS, uint32_t Enable);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetDeInterlace(HVKS hVKS, uint32_t* pMode, uint32_t* pSecond);
/* Mode 0 to 2; above 2: VKSERROR_INVALID_ARGUMENT before locking. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetDeInterlace(HVKS hVKS, uint32_t Mode, uint32_t Second);
/* pHeader receives two u32. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetHDCPHeader(HVKS hVKS, uint32_t* pHeader);
/* All four pointers required; each output is written when the device's block
 * reaches it; VKSERROR_UNSUPPORTED when it is too short for all four. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetRates(HVKS hVKS, uint32_t* pP, uint32_t* pQ, uint32_t* pR, uint32_t* pS);
/* The render rate (the third value of VKSDecoderDeviceGetRates). */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetRenderRate(HVKS hVKS, uint32_t* pRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetResolution(HVKS hVKS, uint32_t* pWidth, uint32_t* pHeight);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetSyncMode(HVKS hVKS, uint32_t* pMode);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetSyncMode(HVKS hVKS, uint32_t Mode);
/* A handle that cannot be locked gives VKSERROR_INVALID_HANDLE. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetAudioDelay(HVKS hVKS, uint32_t Delay);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetAudioVolume(HVKS hVKS, uint32_t Volume);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetScaling(HVKS hVKS, uint32_t Value1, uint32_t Value2);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetRateManagementControl(HVKS hVKS, uint32_t Control);

/* ---- Encoder parameters ------------------------------------------------- */
/* As the decoder parameters above, on an open encoder (frame rate in frames
 * per second, bit rate in bits per second, key-frame interval in frames). */

VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetFrameRate(HVKS hVKS, uint32_t* pRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetFrameRateDefault(HVKS hVKS, uint32_t* pRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetFrameRateMaximum(HVKS hVKS, uint32_t* pRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetFrameRateMinimum(HVKS hVKS, uint32_t* pRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetFrameRate(HVKS hVKS, uint32_t Rate);
/* As VKSDecoderDeviceGetRates, on the encoder's frame-rate fields. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceGetRates(HVKS hVKS, uint32_t* pP, uint32_t* pQ, uint32_t* pR, uint32_t* pS);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetBitRate(HVKS hVKS, uint32_t* pBitRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetBitRateDefault(HVKS hVKS, uint32_t* pBitRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetBitRateMaximum(HVKS hVKS, uint32_t* pBitRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetBitRateMinimum(HVKS hVKS, uint32_t* pBitRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetBitRate(HVKS hVKS, uint32_t BitRate);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetProfile(HVKS hVKS, uint32_t* pProfile);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetProfileDefault(HVKS hVKS, uint32_t* pProfile);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetProfile(HVKS hVKS, uint32_t Profile);
/* Writes 1 (supported) or 0 (the device answered VKSERROR_UNSUPPORTED) and
 * returns VKSERROR_NO_ERROR; any other driver status is returned, nothing
 * written. VKSERROR_INVALID_ARGUMENT for a null pointer. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderIsProfileSupported(HVKS hVKS, uint32_t Profile, uint32_t* pSupported);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetLevel(HVKS hVKS, uint32_t* pLevel);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetLevelDefault(HVKS hVKS, uint32_t* pLevel);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetLevel(HVKS hVKS, uint32_t Level);
/* As VKSEncoderIsProfileSupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderIsLevelSupported(HVKS hVKS, uint32_t Level, uint32_t* pSupported);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetKeyFrameInterval(HVKS hVKS, uint32_t* pInterval);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetKeyFrameIntervalDefault(HVKS hVKS, uint32_t* pInterval);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetKeyFrameIntervalMaximum(HVKS hVKS, uint32_t* pInterval);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetKeyFrameIntervalMinimum(HVKS hVKS, uint32_t* pInterval);
/* Low 16 bits used. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetKeyFrameInterval(HVKS hVKS, uint32_t Interval);
/* Low 16 bits of each used. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetResolution(HVKS hVKS, uint32_t Width, uint32_t Height);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetCodec(HVKS hVKS, uint32_t Codec);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetEncryptionType(HVKS hVKS, uint32_t EncryptionType);
/* pHeader: two u32, required. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceSetHDCPHeader(HVKS hVKS, const uint32_t* pHeader);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetAudioInputChannel(HVKS hVKS, uint32_t Channel);
/* pParams required; read before locking. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetAudioParam(HVKS hVKS, const EncoderAudioParams* pParams);
/* Text at most 2047 characters plus terminator. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetRtspParams(HVKS hVKS, uint32_t Value, const char* pszText);
/* Text at most 31 characters plus terminator. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderSetUdpMulticast(HVKS hVKS, uint32_t Value, const char* pszText);

/* ---- Network stream parameters ----------------------------------------- */
/* As the decoder parameters above, on an open network stream. Reserved
 * arguments are not used. */

VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCaching(HVKS hVKS, uint32_t Reserved, uint32_t* pCaching);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingDefault(HVKS hVKS, uint32_t Reserved, uint32_t* pCaching);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingMaximum(HVKS hVKS, uint32_t Reserved, uint32_t* pCaching);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingMinimum(HVKS hVKS, uint32_t Reserved, uint32_t* pCaching);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetCaching(HVKS hVKS, uint32_t Reserved, uint32_t Caching);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingLimit(HVKS hVKS, uint32_t Reserved, uint32_t* pLimit);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingLimitDefault(HVKS hVKS, uint32_t Reserved, uint32_t* pLimit);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingLimitMaximum(HVKS hVKS, uint32_t Reserved, uint32_t* pLimit);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetCachingLimitMinimum(HVKS hVKS, uint32_t Reserved, uint32_t* pLimit);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetCachingLimit(HVKS hVKS, uint32_t Reserved, uint32_t Limit);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetJitter(HVKS hVKS, uint32_t Reserved, uint32_t* pJitter);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetJitterDefault(HVKS hVKS, uint32_t Reserved, uint32_t* pJitter);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetJitterMaximum(HVKS hVKS, uint32_t Reserved, uint32_t* pJitter);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetJitterMinimum(HVKS hVKS, uint32_t Reserved, uint32_t* pJitter);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetJitter(HVKS hVKS, uint32_t Reserved, uint32_t Jitter);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetTransport(HVKS hVKS, uint32_t* pTransport);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetTransport(HVKS hVKS, uint32_t Transport);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetProgramId(HVKS hVKS, uint32_t* pProgramId);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetProgramId(HVKS hVKS, uint32_t ProgramId);
/* VKSERROR_INVALID_ARGUMENT for a null record, a Size below 8 or Flags
 * naming neither time nor position. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkSetSeeking(HVKS hVKS, const NetworkSeekParams* pParams);

/* ---- Decoder ------------------------------------------------------------ */

/* Opens decoder DecoderIndex into *phVKS (out). OpenFlags are passed to the
 * device unchanged; pParams may be null (transport selector 0, no stream
 * options). Engine; decoder index; VKSERROR_INVALID_ARGUMENT for a null phVKS,
 * or a null pSessionGuid while audio decoding is enabled;
 * VKSERROR_DECODER_DEVICE_IN_USE (driver), VKSERROR_DRIVER_NOT_FOUND, the
 * driver's or the renderer's status. Reserved is not used. pSessionGuid
 * (in/out): the audio session; the null GUID asks for a new one, and the
 * session in use is written back. A decoder whose audio cannot start opens
 * without audio. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceOpenEx(uint32_t DecoderIndex, uint32_t OpenFlags, uint32_t Reserved,
                                                     HVKS* phVKS, const NetworkStreamOpenParams* pParams,
                                                     VKSGUID* pSessionGuid);
/* As VKSDecoderDeviceOpenEx with the older parameter record, which is
 * written back except for its transport field. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceOpen(uint32_t DecoderIndex, uint32_t OpenFlags, uint32_t Reserved,
                                                   HVKS* phVKS, NetworkStreamOpenParamsV1* pParams,
                                                   VKSGUID* pSessionGuid);
/* Handle; the close status (a failing driver close still retires the handle). */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceClose(HVKS hVKS);
/* Handle; VKSERROR_INVALID_ARGUMENT for a null pointer. No driver command. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetState(HVKS hVKS, uint32_t* pState);
/* Decoder (and object) states. The device gives them their meaning; the
 * library acts on them as the comment of VKSDecoderDeviceSetState says. */
#define VKS_DECODER_STATE_OPENED  0u /* as opened; stopped */
#define VKS_DECODER_STATE_PAUSED  1u /* sent to the device; the renderer holds its picture */
#define VKS_DECODER_STATE_PLAYING 2u /* connects to the source stream, then plays */
#define VKS_DECODER_STATE_HELD    3u /* kept by the library alone, never sent to the device */

/* Sets the decoder (and its source stream, when hSource is not 0) to State;
 * state 2 first connects the decoder to the source with ConnectArg (passed to
 * the device unchanged). States are the device's numbers: 0 (as opened), 1
 * and 2 (playing) are sent to the device, 3 is kept by the library alone;
 * the renderer follows (1: renderer state 2, 3: renderer state 3, leaving 3:
 * renderer state 0). Other values go to the device unchanged.
 * VKSERROR_INVALID_HANDLE when hSource is not a network stream or hDecoder
 * not a decoder; else handle failures or the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetState(HVKS hSource, uint32_t ConnectArg, HVKS hDecoder, uint32_t State);
/* Handle; VKSERROR_INVALID_HANDLE when not a decoder. The first two arguments
 * are not used. The function runs on the worker thread. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetErrorFn(void* pReserved, uint32_t Reserved, HVKS hVKS,
                                                         VKSDECODERERRORFN pFn, void* pContext);
/* Handle; VKSERROR_INVALID_HANDLE when not a decoder. The function runs on
 * the worker thread. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetOutputMediaSampleReturnFn(HVKS hVKS, VKSDECODERMEDIASAMPLERETURNFN pFn,
                                                                           void* pContext);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetInputMediaSampleReturnFn(HVKS hVKS, VKSDECODERMEDIASAMPLERETURNFN pFn,
                                                                          void* pContext);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceChainInputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample);
/* Queues one empty buffer (at most three entries) for decoded output;
 * VKSERROR_INVALID_ARGUMENT for a null sample, media type or buffer list;
 * handle; the send status. The sample comes back through the output
 * media-sample return function, or the error function on failure. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceChainOutputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample);
/* Handle; writes the calling process's id. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetProcessId(HVKS hVKS, uint32_t* pProcessId);

/* ---- Decoder window and no-signal text ---------------------------------- */

/* Gives the decoder's renderer its window (null for none). Reserved0 is only
 * logged, Reserved1 not used. Handle; VKSERROR_UNSUPPORTED without a
 * renderer; else the renderer's status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetWindow(void* pReserved0, uint32_t Reserved1, HVKS hVKS, VKSHWND hWnd);
/* Handle; VKSERROR_UNSUPPORTED without a renderer; else the renderer's status.
 * The four arguments are passed to the renderer unchanged. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetNoSignalTextA(HVKS hVKS, void* pArg1, void* pArg2, void* pArg3, void* pArg4);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetNoSignalTextW(HVKS hVKS, void* pArg1, void* pArg2, void* pArg3, void* pArg4);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetNoSignalTextA(HVKS hVKS, uint32_t Arg1, uint32_t Arg2, const char* pszText);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetNoSignalTextW(HVKS hVKS, uint32_t Arg1, uint32_t Arg2, const VKSWCHAR* pszText);

/* ---- Decoder content protection ----------------------------------------- */

/* VKS_PSK_DATATYPE_0 or _1, Length 0 to 32. VKSERROR_INVALID_ARGUMENT for a
 * null pData (before locking), an unknown datatype or a length above 32;
 * handle; the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetPSKEncryptionData(HVKS hVKS, const uint8_t* pData, uint8_t Length,
                                                                   uint32_t Datatype);
/* VKSERROR_INVALID_ARGUMENT for a null pointer; handle; the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetEncryptionKeys(HVKS hVKS, const VKSENCRYPTIONKEYS* pKeys);

/* ---- Decoder audio ------------------------------------------------------ */

/* Switches audio for decoders opened afterwards (non-zero enables; the
 * default is enabled). Works with or without the engine. Always
 * VKSERROR_NO_ERROR. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceSetAudioDecodeEnabled(uint32_t bEnabled);
/* Writes the decoder's audio session GUID as braced text into pszSessionId
 * (VKS_AUDIO_SESSION_ID_SIZE bytes). VKSERROR_INVALID_ARGUMENT for a null
 * buffer; handle; VKSERROR_UNEXPECTED for a decoder without audio. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderDeviceGetAudioSessionId(HVKS hVKS, char* pszSessionId);

/* Entry point of the audio helper process: holds a stream open in the audio
 * session until hStopEvent is set, after setting hStartedEvent once the
 * stream is open. Returns an HRESULT: 0 (S_OK), or a failure when the stream
 * cannot be opened or the wait fails. */
VKSACC_EXPORT uint32_t VKSAPI AudioHelperProcessMain(const VKSGUID* pSessionGuid, VKSHANDLE hStartedEvent,
                                                     VKSHANDLE hStopEvent);

/* ---- Encoder ------------------------------------------------------------ */

/* Opens encoder EncoderIndex into *phVKS (out); OpenOption is passed to the
 * device unchanged. Engine; encoder index; VKSERROR_INVALID_ARGUMENT for a
 * null phVKS; VKSERROR_ENCODER_DEVICE_IN_USE (driver),
 * VKSERROR_DRIVER_NOT_FOUND or the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceOpen(uint32_t EncoderIndex, uint32_t OpenOption, HVKS* phVKS);
/* Handle; the close status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceClose(HVKS hVKS);
/* Handle; VKSERROR_INVALID_ARGUMENT for a null pointer. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceGetState(HVKS hVKS, uint32_t* pState);
/* State 2 starts encoding: queued output samples are filled as frames are
 * encoded; other states stop it. Handle; the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceSetState(HVKS hVKS, uint32_t State);
/* Registrations: handle; VKSERROR_INVALID_HANDLE when not an encoder; a null
 * function switches the callback off. The functions run on the worker thread. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceSetErrorFn(HVKS hVKS, VKSENCODERERRORFN pFn, void* pContext);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceSetEncryptionKeysFn(HVKS hVKS, VKSENCRYPTIONKEYSFN pFn, void* pContext);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceSetOutputMediaSampleReturnFn(HVKS hVKS, VKSENCODERMEDIASAMPLERETURNFN pFn,
                                                                           void* pContext);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceSetInputMediaSampleReturnFn(HVKS hVKS, VKSENCODERMEDIASAMPLERETURNFN pFn,
                                                                          void* pContext);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceFlushMediaSamples(HVKS hVKS);
/* Gives the device one raw sample synchronously: the region at entry 0's
 * pData with the summed length of all entries. VKSERROR_INVALID_ARGUMENT for
 * a null sample or buffer list; handle; VKSERROR_ILLEGAL_CALL for a null
 * entry 0; the driver status. Nothing is called back. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceChainInputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample);
/* Queues one empty buffer for encoded output. VKSERROR_INVALID_ARGUMENT for
 * a null sample or buffer list; handle; VKSERROR_ILLEGAL_CALL when entry 0
 * has length 0; the send status. The sample comes back through the output
 * return function, or the error function on failure. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDeviceChainOutputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample);

/* ---- Encoder capture-card interface ------------------------------------- */
/* Engine; handle; VKSERROR_ILLEGAL_CALL without a device file; the driver
 * status. */

/* VKSERROR_INVALID_ARGUMENT for a null record and VKSERROR_BUFFER_TOO_SMALL
 * for Size 0, both before the engine check. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderOpenRmv204Interface(HVKS hVKS, const Rmv204InterfaceParams* pParams);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderCloseRmv204Interface(HVKS hVKS);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderPauseRmv204Interface(HVKS hVKS);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderUnpauseRmv204Interface(HVKS hVKS);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderPausePushFrames(HVKS hVKS);

/* ---- Network streams ---------------------------------------------------- */

/* Opens a network stream on port PortIndex with pszAddress into *phVKS
 * (out): "file://PATH" plays a local file, which the library's worker thread
 * feeds to the device when it asks; "sdp://PATH" sends the session
 * description file's text; "udp://HOST:PORT" is sent as udp://@HOST:PORT;
 * other addresses are sent as given. pParams may be null.
 * Engine; port index; VKSERROR_INVALID_ARGUMENT for a null phVKS;
 * VKSERROR_INVALID_INPUT for a "file://" or "sdp://" address whose file
 * cannot be used; VKSERROR_INSUFFICIENT_MEMORY; VKSERROR_DRIVER_NOT_FOUND or
 * the driver status. pszAddress may be null; Reserved is not used. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamOpenExA(uint32_t PortIndex, const char* pszAddress, uint32_t Reserved,
                                                      HVKS* phVKS, const NetworkStreamOpenParams* pParams);
/* As the A form; VKSERROR_INVALID_ARGUMENT for a null or unconvertible
 * address. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamOpenExW(uint32_t PortIndex, const VKSWCHAR* pszAddress, uint32_t Reserved,
                                                      HVKS* phVKS, const NetworkStreamOpenParams* pParams);
/* As the Ex forms, with the older parameter record (left unchanged). */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamOpenA(uint32_t PortIndex, const char* pszAddress, uint32_t Reserved,
                                                    HVKS* phVKS, const NetworkStreamOpenParamsV1* pParams);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamOpenW(uint32_t PortIndex, const VKSWCHAR* pszAddress, uint32_t Reserved,
                                                    HVKS* phVKS, const NetworkStreamOpenParamsV1* pParams);
/* Handle; the close status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamClose(HVKS hVKS);
/* Handle; VKSERROR_INVALID_ARGUMENT for a null pointer. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetState(HVKS hVKS, uint32_t* pState);
/* Handle; the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetState(HVKS hVKS, uint32_t State);
/* Registers the stream's error function, which receives its events
 * (VKSERROR_END_OF_STREAM at the end of a played file, connection events)
 * and failures. Handle; VKSERROR_INVALID_HANDLE when not a network stream.
 * Reserved is not used. The function runs on the worker thread
 * (display-change reports on the notification thread). */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetErrorFn(HVKS hVKS, uint32_t Reserved, VKSNETWORKERRORFN pFn,
                                                         void* pContext);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetMediaSampleReturnFn(HVKS hVKS, VKSNETWORKMEDIASAMPLERETURNFN pFn,
                                                                     void* pContext);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamChainOutputMediaSample(HVKS hVKS, VKSMEDIASAMPLE* pSample);
/* The stream's information record, and that of one of its media streams
 * (MediaStreamIndex in the device's numbering: 0 video, 1 audio); layouts
 * are the device's. Size-prefixed record (u32 byte count first: capacity in,
 * bytes written out). VKSERROR_ILLEGAL_CALL for a null record; handle;
 * VKSERROR_INVALID_HANDLE when not a network stream; the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetInfo(HVKS hVKS, void* pInfo);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetMediaStreamInfo(HVKS hVKS, uint32_t MediaStreamIndex, void* pInfo);
/* Writes 2 whatever the handle; VKSERROR_NO_ERROR. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetNumIfcs(HVKS hVKS, uint32_t* pCount);

/* Device-wide network queries: DecoderIndex names the device (any of its
 * decoders). Engine; decoder index; device by index.
 * VKSERROR_ILLEGAL_CALL for a null output pointer; nothing is written on
 * failure. */

/* VKSERROR_INVALID_ARGUMENT for a null record (after the index check);
 * VKSERROR_INSUFFICIENT_MEMORY. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetDiagnostics(uint32_t DecoderIndex, VKSNETWORKDIAGNOSTICS* pDiagnostics);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetIPConfig(uint32_t DecoderIndex, VKSIPCONFIG* pConfig);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamSetIPConfig(uint32_t DecoderIndex, const VKSIPCONFIG* pConfig);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetMacAddresses(uint32_t DecoderIndex, VKSMACADDRESSES* pAddresses);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetNumClients(uint32_t DecoderIndex, uint32_t* pCount);
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetFileSize(uint32_t DecoderIndex, uint32_t* pSize);
/* Path at most 259 units plus terminator; VKSERROR_INVALID_ARGUMENT for a
 * null or longer path. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamGetLogFilesW(uint32_t DecoderIndex, const VKSWCHAR* pszPath);
/* Texts at most 127 characters plus terminator each. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkStreamStartDebugLogA(uint32_t DecoderIndex, uint32_t Option1, uint32_t Option2,
                                                             const char* pszText1, const char* pszText2,
                                                             uint32_t Option3);

/* ---- Network diagnostics ------------------------------------------------ */

/* Pings pszDestination from the device of DecoderIndex, on its interface
 * NetIfc (0 or 1; 255 lets the device choose). Engine; decoder index; device by
 * index; VKSERROR_INVALID_ARGUMENT for a null destination;
 * VKSERROR_BUFFER_TOO_SMALL for 2048 characters or more. The device's result
 * is returned: VKSERROR_DIAG_PING_SUCCESS, _FAIL or _TIMEOUT. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPingIPAddressA(uint32_t DecoderIndex, uint8_t NetIfc, const char* pszDestination);
/* As the A form; VKSERROR_INVALID_ARGUMENT for a null or unconvertible
 * destination. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPingIPAddressW(uint32_t DecoderIndex, uint8_t NetIfc, const VKSWCHAR* pszDestination);
/* Trace-route into pResults (ReportCount 1 or 2 blocks, Size exactly
 * ReportCount * 4100). VKSERROR_INVALID_INPUT (ReportCount 0 or bad index),
 * VKSERROR_INVALID_ARGUMENT, VKSERROR_BUFFER_TOO_SMALL; the device's result
 * (VKSERROR_DIAG_TRACEROUTE_*). Blocks are copied only with
 * VKSERROR_DIAG_TRACEROUTE_COMPLETE. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkTraceRoute(uint32_t DecoderIndex, uint8_t NetIfc, const char* pszDestination,
                                                   VKSTRACEROUTERESULTS* pResults, uint32_t ReportCount);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPortTestAddressA(uint32_t PortIndex, const char* pszAddress, uint32_t Option);
/* Engine; VKSERROR_INVALID_ARGUMENT for a null or unconvertible address;
 * otherwise VKSERROR_UNSUPPORTED. */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkPortTestAddressW(uint32_t PortIndex, const VKSWCHAR* pszAddress, uint32_t Option);
/* Counts the configured IPv4 interfaces of all network ports; the count is
 * written also when stopping early. VKSERROR_INVALID_INPUT,
 * VKSERROR_INVALID_HANDLE (device file), VKSERROR_NOACCESS (query failed). */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkConfiguredInterfaceCount(uint32_t* pCount);
/* Fills one entry per configured interface of a port. *pCount: capacity in,
 * entries written out. Port index; VKSERROR_INVALID_HANDLE (device file),
 * VKSERROR_NOACCESS (query failed), VKSERROR_BUFFER_TOO_SMALL (count left
 * unchanged). */
VKSACC_EXPORT VKSERROR VKSAPI VKSNetworkConfiguredInterfaceInfo(uint32_t PortIndex, VKSINTERFACEADDRESS* pEntries,
                                                                uint32_t* pCount);

/* ---- Discovery ---------------------------------------------------------- */

/* Opens a discovery session on the device of DecoderIndex into *phVKS
 * (out). Engine; decoder index; VKSERROR_DISCOVERY_DEVICE_IN_USE (driver);
 * VKSERROR_INVALID_ARGUMENT for a null phVKS; VKSERROR_DRIVER_NOT_FOUND or
 * the driver status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoInit(uint32_t DecoderIndex, HVKS* phVKS);
/* Registers the discovery function, which also receives the session's error
 * notifications. VKSERROR_INVALID_HANDLE when the handle cannot be locked.
 * The function runs on the worker thread. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoverySetCallbackFn(HVKS hVKS, VKSDISCOVERYFN pFn, void* pContext);
/* Engine; handle; otherwise VKSERROR_NO_ERROR whatever the device answers.
 * StartParams is passed to the device unchanged; Reserved is not used. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoStart(uint64_t Reserved, HVKS hVKS, uint64_t StartParams);
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoStop(uint64_t Reserved, HVKS hVKS);
/* Handle; the close status. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDiscoUninit(uint64_t Reserved, HVKS hVKS);

/* ---- Device health ------------------------------------------------------ */
/* Figures of the device of DecoderIndex (EncoderIndex for the encoder
 * loads): loads and temperature as the device reports them; the records'
 * layouts are the device's. Engine; decoder index (encoder index for the encoder loads); device by
 * index. VKSERROR_ILLEGAL_CALL for a null load pointer, or both outputs null
 * (after the index check). Outputs are written only on success. */

VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderGetCurrentLoad(uint32_t DecoderIndex, uint32_t* pLoad);
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderGetCurrentLoad(uint32_t EncoderIndex, uint32_t* pLoad);
/* pszAddress may be null; VKSERROR_BUFFER_TOO_SMALL for 2048 characters or
 * more. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderPredictNewLoad(uint32_t DecoderIndex, const char* pszAddress, uint32_t* pLoad);
/* Writes the current load, then overwrites it with the predicted one.
 * VKSERROR_INVALID_ARGUMENT for null pParams (after the current load was
 * written). Reserved is not used. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderPredictNewLoad(uint32_t EncoderIndex, uint64_t Reserved, uint32_t* pLoad,
                                                       const EncoderLoadParams* pParams);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderIncrementLoad(uint32_t EncoderIndex, const EncoderLoadParams* pParams);
/* Unsupported. */
VKSACC_EXPORT VKSERROR VKSAPI VKSEncoderDecrementLoad(uint32_t EncoderIndex, const EncoderLoadParams* pParams);
/* Either output may be null, not both. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderGetCoreLoad(uint32_t DecoderIndex, VKSCORELOAD* pCoreLoad, uint32_t* pLoadWord);
/* Either output may be null, not both. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderGetTemperature(uint32_t DecoderIndex, uint32_t* pTemperature,
                                                       VKSTEMPERATUREDETAIL* pDetail);
/* VKSERROR_INVALID_ARGUMENT for a null record, before the index check. */
VKSACC_EXPORT VKSERROR VKSAPI VKSGetCryptoContents(uint32_t DecoderIndex, VKSCRYPTOCONTENTS* pContents);
VKSACC_EXPORT VKSERROR VKSAPI VKSGetHardwareCounters(uint32_t DecoderIndex, VKSHARDWARECOUNTERS* pCounters);
VKSACC_EXPORT VKSERROR VKSAPI VKSGetMemoryUsageDiags(uint32_t DecoderIndex, VKSMEMORYUSAGEDIAGS* pUsage);
/* Device tests: they act on the hardware (force a lockup, stop an upgrade
 * reboot, exercise memory). Engine; decoder index; device by index; the
 * device's status: VKSERROR_TEST_COMPLETE, VKSERROR_TEST_IN_PROGRESS or
 * VKSERROR_TEST_FAIL. */
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderTestForceLockup(uint32_t DecoderIndex);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderTestStopUpgradeReboot(uint32_t DecoderIndex);
VKSACC_EXPORT VKSERROR VKSAPI VKSDecoderTestMemUsage(uint32_t DecoderIndex);

/* ------------------------------------------------------------------------ */
/* Layout checks                                                            */
/* ------------------------------------------------------------------------ */

#define VKS_CHECK_SIZE(type, size) \
    VKS_STATIC_ASSERT(sizeof(type) == (size), #type " must be " #size " bytes")
#define VKS_CHECK_OFFSET(type, field, offset) \
    VKS_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " must be at " #offset)

VKS_CHECK_SIZE(VKSGUID, 16);
VKS_CHECK_OFFSET(VKSGUID, Data2, 4);
VKS_CHECK_OFFSET(VKSGUID, Data3, 6);
VKS_CHECK_OFFSET(VKSGUID, Data4, 8);

VKS_CHECK_SIZE(VKSWCHAR, 2);

VKS_CHECK_SIZE(VKSINFOW, 584);
VKS_CHECK_OFFSET(VKSINFOW, DeviceData, 4);
VKS_CHECK_OFFSET(VKSINFOW, Text, 52);
VKS_CHECK_OFFSET(VKSINFOW, DeviceData2, 564);

VKS_CHECK_SIZE(VKSINFOA, 328);
VKS_CHECK_OFFSET(VKSINFOA, DeviceData, 4);
VKS_CHECK_OFFSET(VKSINFOA, Text, 52);
VKS_CHECK_OFFSET(VKSINFOA, DeviceData2, 308);

VKS_CHECK_SIZE(VKSMEDIATYPE, 16);
VKS_CHECK_OFFSET(VKSMEDIATYPE, FormatWord1, 8);
VKS_CHECK_OFFSET(VKSMEDIATYPE, FormatWord2, 12);

VKS_CHECK_SIZE(VKSMEDIABUFFER, 40);
VKS_CHECK_OFFSET(VKSMEDIABUFFER, pData, 0);
VKS_CHECK_OFFSET(VKSMEDIABUFFER, Length, 8);
VKS_CHECK_OFFSET(VKSMEDIABUFFER, BufferWord, 12);
VKS_CHECK_OFFSET(VKSMEDIABUFFER, FilledLength, 24);

VKS_CHECK_SIZE(VKSMEDIABUFFERS, 224);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, CompletionValue1, 8);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, CompletionValue2, 16);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, BufferCount, 24);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, Buffers, 40);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, Planes.FirstPlaneValues, 152);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, Planes.SecondPlaneValues, 176);
VKS_CHECK_OFFSET(VKSMEDIABUFFERS, Planes.ThirdPlaneValues, 200);

VKS_CHECK_SIZE(VKSMEDIASAMPLE, 40);
VKS_CHECK_OFFSET(VKSMEDIASAMPLE, Kind, 4);
VKS_CHECK_OFFSET(VKSMEDIASAMPLE, SampleWord, 8);
VKS_CHECK_OFFSET(VKSMEDIASAMPLE, pMediaType, 16);
VKS_CHECK_OFFSET(VKSMEDIASAMPLE, Layout, 24);
VKS_CHECK_OFFSET(VKSMEDIASAMPLE, pBuffers, 32);

VKS_CHECK_SIZE(NetworkStreamOpenParams, 56);
VKS_CHECK_OFFSET(NetworkStreamOpenParams, Reserved2, 8);
VKS_CHECK_OFFSET(NetworkStreamOpenParams, TransportSelector, 16);
VKS_CHECK_OFFSET(NetworkStreamOpenParams, StreamOptions, 20);
VKS_CHECK_OFFSET(NetworkStreamOpenParams, Reserved3, 52);

VKS_CHECK_SIZE(NetworkStreamOpenParamsV1, 52);
VKS_CHECK_OFFSET(NetworkStreamOpenParamsV1, Reserved2, 8);
VKS_CHECK_OFFSET(NetworkStreamOpenParamsV1, bTransport, 16);
VKS_CHECK_OFFSET(NetworkStreamOpenParamsV1, StreamOptions, 20);

VKS_CHECK_SIZE(NetworkSeekParams, 24);
VKS_CHECK_OFFSET(NetworkSeekParams, Flags, 4);
VKS_CHECK_OFFSET(NetworkSeekParams, SeekTime, 8);
VKS_CHECK_OFFSET(NetworkSeekParams, SeekPosition, 16);

VKS_CHECK_SIZE(EncoderAudioParams, 20);
VKS_CHECK_OFFSET(EncoderAudioParams, Value1, 4);
VKS_CHECK_OFFSET(EncoderAudioParams, Value2, 8);
VKS_CHECK_OFFSET(EncoderAudioParams, Value3, 12);
VKS_CHECK_OFFSET(EncoderAudioParams, Value4, 16);

VKS_CHECK_SIZE(EncoderLoadParams, 20);
VKS_CHECK_OFFSET(EncoderLoadParams, LoadParams, 4);

VKS_CHECK_SIZE(Rmv204InterfaceParams, 56);
VKS_CHECK_OFFSET(Rmv204InterfaceParams, InterfaceWord1, 4);
VKS_CHECK_OFFSET(Rmv204InterfaceParams, InterfaceWord2, 8);
VKS_CHECK_OFFSET(Rmv204InterfaceParams, Reserved0, 12);
VKS_CHECK_OFFSET(Rmv204InterfaceParams, Identification, 30);
VKS_CHECK_OFFSET(Rmv204InterfaceParams, Reserved1, 46);

VKS_CHECK_SIZE(VKSENCRYPTIONKEYS, 32);
VKS_CHECK_OFFSET(VKSENCRYPTIONKEYS, Second, 16);

VKS_CHECK_SIZE(VKSIPCONFIGENTRY, 24);
VKS_CHECK_OFFSET(VKSIPCONFIGENTRY, IPv4Address, 4);
VKS_CHECK_SIZE(VKSIPCONFIG, 48);
VKS_CHECK_OFFSET(VKSIPCONFIG, Interface[1], 24);
VKS_CHECK_OFFSET(VKSIPCONFIG, Interface[1].IPv4Address, 28);

VKS_CHECK_SIZE(VKSMACADDRESSES, 12);

VKS_CHECK_SIZE(VKSSTREAMDIAGNOSTICS, 396);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Values0, 4);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Kind, 88);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Values1, 92);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Text, 112);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Reserved0, 368);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Values2, 372);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Short0, 392);
VKS_CHECK_OFFSET(VKSSTREAMDIAGNOSTICS, Short1, 394);

VKS_CHECK_SIZE(VKSNETWORKDIAGNOSTICS, 668);
VKS_CHECK_OFFSET(VKSNETWORKDIAGNOSTICS, NumStreams, 12);
VKS_CHECK_OFFSET(VKSNETWORKDIAGNOSTICS, NumInterfaces, 16);
VKS_CHECK_OFFSET(VKSNETWORKDIAGNOSTICS, pFirstCounters, 620);
VKS_CHECK_OFFSET(VKSNETWORKDIAGNOSTICS, pSecondCounters, 628);
VKS_CHECK_OFFSET(VKSNETWORKDIAGNOSTICS, pStreams, 660);

VKS_CHECK_SIZE(VKSTRACEROUTEREPORT, 4100);
VKS_CHECK_SIZE(VKSTRACEROUTERESULTS, 12);
VKS_CHECK_OFFSET(VKSTRACEROUTERESULTS, pReports, 4);

VKS_CHECK_SIZE(VKSINTERFACEADDRESS, 136);
VKS_CHECK_OFFSET(VKSINTERFACEADDRESS, Family, 8);
VKS_CHECK_OFFSET(VKSINTERFACEADDRESS, Address, 12);
VKS_CHECK_OFFSET(VKSINTERFACEADDRESS, Reserved2, 16);

VKS_CHECK_SIZE(DiscoEntityList, 24);
VKS_CHECK_OFFSET(DiscoEntityList, pEntity, 8);
VKS_CHECK_OFFSET(DiscoEntityList, EntitySize, 16);

VKS_CHECK_SIZE(DiscoData, 168);
VKS_CHECK_OFFSET(DiscoData, Reserved0, 4);
VKS_CHECK_OFFSET(DiscoData, Reserved1, 136);
VKS_CHECK_OFFSET(DiscoData, Reserved2, 144);
VKS_CHECK_OFFSET(DiscoData, pEntityList, 152);
VKS_CHECK_OFFSET(DiscoData, EntityListSize, 160);

VKS_CHECK_SIZE(DiscoParms, 64);
VKS_CHECK_OFFSET(DiscoParms, Reserved1, 8);
VKS_CHECK_OFFSET(DiscoParms, Reserved2, 16);
VKS_CHECK_OFFSET(DiscoParms, pCount, 24);
VKS_CHECK_OFFSET(DiscoParms, Count, 32);
VKS_CHECK_OFFSET(DiscoParms, Reserved5, 40);
VKS_CHECK_OFFSET(DiscoParms, pDiscoData, 48);
VKS_CHECK_OFFSET(DiscoParms, DiscoDataSize, 56);

VKS_CHECK_SIZE(VKSCORELOAD, 16);
VKS_CHECK_SIZE(VKSTEMPERATUREDETAIL, 16);
VKS_CHECK_SIZE(VKSCRYPTOCONTENTS, 24);
VKS_CHECK_SIZE(VKSHARDWARECOUNTERS, 24);
VKS_CHECK_SIZE(VKSMEMORYUSAGEDIAGS, 56);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VKSACC_H */
