/* Stand-in for the rendering library "vidpane.dll" (libvidpane.so): the 36
 * ACC* entry points, per-input state, and a record of every call in order
 * that tests read back through the VidpaneStandin_* functions below.
 *
 * Tests do not link the stand-in: they load it themselves (LoadLibraryW on
 * "<folder>/vidpane.dll", which also keeps it loaded across engine loads and
 * frees) and resolve these functions with GetProcAddress; the typedefs name
 * their pointer types.
 *
 * Meaning of the ten entry points the library calls:
 *   ACCLoad(uint32_t* engine)                 writes the engine value (see
 *                                             VidpaneStandin_SetLoadValue)
 *   ACCFree(uint32_t engine)
 *   ACCDeviceInputOpen(const GUID* class, const char16_t* name,
 *                      uint32_t driverHandle, uint32_t* mode, uint32_t* hAcc)
 *                                             opens an input, writes its handle
 *   ACCSetState(hAcc, state)                  stores the renderer state
 *   ACCSetWindow(hAcc, window)                stores the window (may be null)
 *   ACCClose(hAcc)                            closes the input
 *   ACCSetNoSignalTextA/W(hAcc, line, colour, text)
 *                                             stores line, colour and text (A
 *                                             text is taken byte by byte)
 *   ACCGetNoSignalTextA/W(hAcc, uint32_t* line, uint32_t* colour,
 *                         char or char16_t* buffer, uint32_t* units)
 *                                             *units is the buffer's capacity in
 *                                             characters on input and the
 *                                             characters needed (terminator
 *                                             included) on output; a buffer too
 *                                             small gives VKSERROR_BUFFER_TOO_SMALL
 *                                             and nothing else written; A text
 *                                             has '?' for units above 0x7F.
 * Unknown input handles give VKSERROR_INVALID_HANDLE, null pointers
 * VKSERROR_INVALID_ARGUMENT. The other 26 entry points record their call and
 * return VKSERROR_UNSUPPORTED. */
#ifndef VIDPANE_STANDIN_H
#define VIDPANE_STANDIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VIDPANE_STANDIN_API __attribute__((visibility("default")))

/* One call as the stand-in received it. Fields a function does not have stay 0. */
typedef struct VidpaneStandinCall {
    uint64_t Sequence;       /* position in the record, from 0 */
    char Function[40];       /* entry point name, e.g. "ACCSetState" */
    uint32_t Engine;         /* ACCLoad: value written; ACCFree: value given */
    uint32_t HAcc;           /* input handle given (ACCDeviceInputOpen: handle written) */
    uint32_t Value1;         /* ACCSetState: state; ACCDeviceInputOpen: driver handle;
                                ACCSetNoSignalText*: line */
    uint32_t Value2;         /* ACCDeviceInputOpen: the mode word read; ACCSetNoSignalText*: colour */
    uint64_t Pointer;        /* ACCSetWindow: window */
    uint64_t Pointers[4];    /* ACCGetNoSignalText*: the four arguments as received */
    uint32_t Status;         /* what the stand-in returned */
    uint32_t TextUnits;      /* units in Text, terminator excluded */
    uint16_t Text[300];      /* ACCDeviceInputOpen: name; ACCSetNoSignalText*: text (UTF-16) */
    uint8_t InputClass[16];  /* ACCDeviceInputOpen: the class bytes */
} VidpaneStandinCall;

/* The state of one input. */
typedef struct VidpaneStandinInput {
    uint32_t Open;           /* 1 until ACCClose */
    uint32_t DriverHandle;
    uint32_t Mode;
    uint32_t State;          /* last renderer state set */
    uint64_t Window;
    uint32_t Line;
    uint32_t Colour;
    uint32_t TextUnits;
    uint16_t Text[300];      /* no-signal text */
    uint16_t Name[300];      /* render input name */
} VidpaneStandinInput;

/* Called after each call is recorded, on the caller's thread, outside the
 * stand-in's lock. */
typedef void (*VidpaneStandinHook)(const VidpaneStandinCall* call, void* context);

/* Forgets calls, inputs, failures and the hook; the load value goes back to
 * its default (non-zero). */
VIDPANE_STANDIN_API void VidpaneStandin_Reset(void);
VIDPANE_STANDIN_API size_t VidpaneStandin_CallCount(void);
/* 1 and the call when index < count, else 0. */
VIDPANE_STANDIN_API int VidpaneStandin_GetCall(size_t index, VidpaneStandinCall* call);
/* Waits until at least count calls are recorded; 1 when they are. */
VIDPANE_STANDIN_API int VidpaneStandin_WaitForCalls(size_t count, uint32_t timeoutMs);
/* The next call of the named entry point returns status and has no effect. */
VIDPANE_STANDIN_API void VidpaneStandin_FailNext(const char* function, uint32_t status);
/* The value ACCLoad writes from now on (0: no usable engine). */
VIDPANE_STANDIN_API void VidpaneStandin_SetLoadValue(uint32_t engine);
/* 1 and the input's state when the handle was ever opened, else 0. */
VIDPANE_STANDIN_API int VidpaneStandin_GetInput(uint32_t hAcc, VidpaneStandinInput* input);
/* Number of inputs open now. */
VIDPANE_STANDIN_API size_t VidpaneStandin_OpenInputCount(void);
VIDPANE_STANDIN_API void VidpaneStandin_SetCallHook(VidpaneStandinHook hook, void* context);

typedef void (*VidpaneStandin_ResetFn)(void);
typedef size_t (*VidpaneStandin_CallCountFn)(void);
typedef int (*VidpaneStandin_GetCallFn)(size_t, VidpaneStandinCall*);
typedef int (*VidpaneStandin_WaitForCallsFn)(size_t, uint32_t);
typedef void (*VidpaneStandin_FailNextFn)(const char*, uint32_t);
typedef void (*VidpaneStandin_SetLoadValueFn)(uint32_t);
typedef int (*VidpaneStandin_GetInputFn)(uint32_t, VidpaneStandinInput*);
typedef size_t (*VidpaneStandin_OpenInputCountFn)(void);
typedef void (*VidpaneStandin_SetCallHookFn)(VidpaneStandinHook, void*);

#ifdef __cplusplus
}
#endif

#endif /* VIDPANE_STANDIN_H */
