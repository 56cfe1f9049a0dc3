// The record the library keeps behind every HVKS.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct VKSAUDIOTHREAD;

struct UserHandle {
    DWORD Type;          // VKSDEVICETYPE_*
    HANDLE hDevice;      // synchronous commands
    HANDLE hDeviceOv;    // overlapped commands, bound to the worker port
    DWORD HVKSHandle;    // the driver's handle; 0 once the driver closed the client
    DWORD Channel;       // input number within the device
    void* pErrorFn;      // error function, in the form of the object's type
    void* pErrorContext;
    void* pOutputSampleReturnFn;
    void* pOutputSampleReturnContext;
    void* pDiscoveryFn;
    void* pDiscoveryArg;
    void* pEncryptionKeysFn;
    void* pEncryptionKeysContext;
    DWORD State;
    volatile LONG OutstandingOutputSamples;
    VKSMEDIASAMPLE** pOutputSamples;  // output samples the device holds (objects/output_samples.h)
    DWORD OutputSampleCount;
    DWORD OutputSampleCapacity;
    DWORD HAcc;           // renderer input of a decoder, 0 when none
    BYTE bFirstFrame;
    HANDLE hPlaybackFile;  // local file of a "file://" stream
    HANDLE hDescriptionFile;
    char* pDescriptionText;
    VKSAUDIOTHREAD* pAudioThread;
    // Set by the close that retires the handle, under its lock: a second close
    // made while the first has let the lock go finds it and does nothing.
    BYTE bClosing;
};
