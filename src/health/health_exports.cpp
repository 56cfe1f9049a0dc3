// Device health by device index: loads and load prediction, core load,
// temperature, three diagnostic records and three device tests. Every export
// opens the device's file for its command(s) and closes it before returning;
// nothing is kept between calls.
#include "core/engine.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"

#include <cstring>

namespace {

enum : DWORD {
    IOCTL_VKS_CURRENT_LOAD = 0x22C44C,
    IOCTL_VKS_TEMPERATURE = 0x22C450,
    IOCTL_VKS_CRYPTO_CONTENTS = 0x22C460,
    IOCTL_VKS_PREDICT_LOAD = 0x22C494,
    IOCTL_VKS_CORE_LOAD = 0x22C4D4,
    IOCTL_VKS_HARDWARE_COUNTERS = 0x22C4D8,
    IOCTL_VKS_TEST_FORCE_LOCKUP = 0x22C4EC,
    IOCTL_VKS_TEST_STOP_UPGRADE_REBOOT = 0x22C4F0,
    IOCTL_VKS_TEST_MEM_USAGE = 0x22C4F4,
    IOCTL_VKS_MEMORY_USAGE = 0x22C4F8,
};

// Reply fields.
constexpr DWORD kLoad = 24;                 // u32, current or predicted
constexpr DWORD kCoreLoadRecord = 24;       // 16 bytes
constexpr DWORD kCoreLoadWord = 40;         // u32
constexpr DWORD kTemperature = 24;          // u32
constexpr DWORD kTemperatureDetail = 28;    // 16 bytes
constexpr DWORD kDiagnosticRecord = 24;     // crypto contents, counters, memory usage

// Predict-load request fields.
constexpr DWORD kPredictAddress = 28;
constexpr DWORD kPredictAddressBytes = 2048;
constexpr DWORD kPredictEncoderParams = 2076;  // four u32

static_assert(kPredictAddress + kPredictAddressBytes == kPredictEncoderParams, "the text field ends where the "
                                                                               "encoder values begin");
static_assert(kPredictEncoderParams + 16 <= kRequestBytes, "encoder values fit the request");
static_assert(kDiagnosticRecord + sizeof(VKSMEMORYUSAGEDIAGS) <= kReplyBytes, "records fit the reply");
static_assert(sizeof(VKSCORELOAD) == 16 && sizeof(VKSTEMPERATUREDETAIL) == 16 && sizeof(VKSCRYPTOCONTENTS) == 24 &&
                  sizeof(VKSHARDWARECOUNTERS) == 24 && sizeof(VKSMEMORYUSAGEDIAGS) == 56,
              "health records are copied from the reply byte for byte");
static_assert(sizeof(EncoderLoadParams) == 20 && offsetof(EncoderLoadParams, LoadParams) == 4,
              "EncoderLoadParams layout");

// Engine status, index lookup in the table of `type`, then the device's file
// opened for synchronous commands.
VKSERROR OpenByIndex(DWORD type, DWORD index, HANDLE* file) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    const DeviceInfo* device = DeviceFindByIndex(type, index);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    return DeviceFileOpen(device->Path, file, FALSE, device->pSuffix);
}

// Sends one command in the standard frame; the header carries no channel and
// no handle, as these commands concern the whole device.
VKSERROR Send(HANDLE file, DWORD code, CommandRequest& request, CommandReply& reply) {
    return DeviceIoctlSync(file, code, request.Bytes, kRequestBytes, reply.Bytes, kReplyBytes);
}

VKSERROR CurrentLoad(HANDLE file, uint32_t* load) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    const VKSERROR status = Send(file, IOCTL_VKS_CURRENT_LOAD, request, reply);
    if (status == VKSERROR_NO_ERROR) *load = ReadU32(reply.Bytes, kLoad);
    return status;
}

VKSERROR LoadOf(DWORD type, uint32_t index, uint32_t* load) {
    HANDLE file = nullptr;
    const VKSERROR opened = OpenByIndex(type, index, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = load != nullptr ? CurrentLoad(file, load) : VKSERROR_ILLEGAL_CALL;
    DeviceFileClose(file);
    return status;
}

// One command without request fields, on a file of its own to the device of
// decoder `index`; the device's status is the answer.
VKSERROR SendByIndex(uint32_t index, DWORD code, CommandReply& reply) {
    HANDLE file = nullptr;
    const VKSERROR opened = OpenByIndex(VKSDEVICETYPE_DECODER, index, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    CommandRequest request = kRequestTemplate;
    const VKSERROR status = Send(file, code, request, reply);
    DeviceFileClose(file);
    return status;
}

// A command whose reply record is copied out. A null record is refused
// before the index is looked up.
VKSERROR CopyRecord(uint32_t index, DWORD code, void* record, size_t bytes) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    if (record == nullptr) return VKSERROR_INVALID_ARGUMENT;
    CommandReply reply = kReplyTemplate;
    const VKSERROR status = SendByIndex(index, code, reply);
    if (status == VKSERROR_NO_ERROR) std::memcpy(record, reply.Bytes + kDiagnosticRecord, bytes);
    return status;
}

// One test command: the device's status is the answer.
VKSERROR RunTest(uint32_t index, DWORD code) {
    CommandReply reply = kReplyTemplate;
    return SendByIndex(index, code, reply);
}

// The predicted load with the request's device-specific fields already in
// place; the caller's load is written only on success.
VKSERROR PredictLoad(HANDLE file, CommandRequest& request, uint32_t* load) {
    CommandReply reply = kReplyTemplate;
    const VKSERROR status = Send(file, IOCTL_VKS_PREDICT_LOAD, request, reply);
    if (status == VKSERROR_NO_ERROR) *load = ReadU32(reply.Bytes, kLoad);
    return status;
}

VKSERROR DecoderPredict(HANDLE file, const char* address, uint32_t* load) {
    if (load == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    WriteU32(request.Bytes, kReqType, VKSDEVICETYPE_DECODER);
    if (address != nullptr) {
        const size_t length = strnlen(address, kPredictAddressBytes);
        if (length >= kPredictAddressBytes) return VKSERROR_BUFFER_TOO_SMALL;
        std::memcpy(request.Bytes + kPredictAddress, address, length + 1);
    }
    return PredictLoad(file, request, load);
}

VKSERROR EncoderPredict(HANDLE file, uint32_t* load, const EncoderLoadParams* params) {
    if (load == nullptr) return VKSERROR_ILLEGAL_CALL;
    // The current load is the answer until the prediction replaces it.
    const VKSERROR current = CurrentLoad(file, load);
    if (current != VKSERROR_NO_ERROR) return current;
    if (params == nullptr) return VKSERROR_INVALID_ARGUMENT;
    CommandRequest request = kRequestTemplate;
    WriteU32(request.Bytes, kReqType, VKSDEVICETYPE_ENCODER);
    for (DWORD i = 0; i < 4; ++i) WriteU32(request.Bytes, kPredictEncoderParams + 4 * i, params->LoadParams[i]);
    return PredictLoad(file, request, load);
}

VKSERROR CoreLoad(HANDLE file, VKSCORELOAD* record, uint32_t* word) {
    if (record == nullptr && word == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    const VKSERROR status = Send(file, IOCTL_VKS_CORE_LOAD, request, reply);
    if (status != VKSERROR_NO_ERROR) return status;
    if (record != nullptr) std::memcpy(record, reply.Bytes + kCoreLoadRecord, sizeof(*record));
    if (word != nullptr) *word = ReadU32(reply.Bytes, kCoreLoadWord);
    return status;
}

VKSERROR Temperature(HANDLE file, uint32_t* temperature, VKSTEMPERATUREDETAIL* detail) {
    if (temperature == nullptr && detail == nullptr) return VKSERROR_ILLEGAL_CALL;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    const VKSERROR status = Send(file, IOCTL_VKS_TEMPERATURE, request, reply);
    if (status != VKSERROR_NO_ERROR) return status;
    if (temperature != nullptr) *temperature = ReadU32(reply.Bytes, kTemperature);
    if (detail != nullptr) std::memcpy(detail, reply.Bytes + kTemperatureDetail, sizeof(*detail));
    return status;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSDecoderGetCurrentLoad(uint32_t DecoderIndex, uint32_t* pLoad) {
    return LoadOf(VKSDEVICETYPE_DECODER, DecoderIndex, pLoad);
}

VKSERROR VKSAPI VKSEncoderGetCurrentLoad(uint32_t EncoderIndex, uint32_t* pLoad) {
    return LoadOf(VKSDEVICETYPE_ENCODER, EncoderIndex, pLoad);
}

VKSERROR VKSAPI VKSDecoderPredictNewLoad(uint32_t DecoderIndex, const char* pszAddress, uint32_t* pLoad) {
    HANDLE file = nullptr;
    const VKSERROR opened = OpenByIndex(VKSDEVICETYPE_DECODER, DecoderIndex, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = DecoderPredict(file, pszAddress, pLoad);
    DeviceFileClose(file);
    return status;
}

VKSERROR VKSAPI VKSEncoderPredictNewLoad(uint32_t EncoderIndex, uint64_t, uint32_t* pLoad,
                                         const EncoderLoadParams* pParams) {
    HANDLE file = nullptr;
    const VKSERROR opened = OpenByIndex(VKSDEVICETYPE_ENCODER, EncoderIndex, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = EncoderPredict(file, pLoad, pParams);
    DeviceFileClose(file);
    return status;
}

VKSERROR VKSAPI VKSEncoderIncrementLoad(uint32_t, const EncoderLoadParams*) { return VKSERROR_UNSUPPORTED; }

VKSERROR VKSAPI VKSEncoderDecrementLoad(uint32_t, const EncoderLoadParams*) { return VKSERROR_UNSUPPORTED; }

VKSERROR VKSAPI VKSDecoderGetCoreLoad(uint32_t DecoderIndex, VKSCORELOAD* pCoreLoad, uint32_t* pLoadWord) {
    HANDLE file = nullptr;
    const VKSERROR opened = OpenByIndex(VKSDEVICETYPE_DECODER, DecoderIndex, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = CoreLoad(file, pCoreLoad, pLoadWord);
    DeviceFileClose(file);
    return status;
}

VKSERROR VKSAPI VKSDecoderGetTemperature(uint32_t DecoderIndex, uint32_t* pTemperature,
                                         VKSTEMPERATUREDETAIL* pDetail) {
    HANDLE file = nullptr;
    const VKSERROR opened = OpenByIndex(VKSDEVICETYPE_DECODER, DecoderIndex, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = Temperature(file, pTemperature, pDetail);
    DeviceFileClose(file);
    return status;
}

VKSERROR VKSAPI VKSGetCryptoContents(uint32_t DecoderIndex, VKSCRYPTOCONTENTS* pContents) {
    return CopyRecord(DecoderIndex, IOCTL_VKS_CRYPTO_CONTENTS, pContents, sizeof(VKSCRYPTOCONTENTS));
}

VKSERROR VKSAPI VKSGetHardwareCounters(uint32_t DecoderIndex, VKSHARDWARECOUNTERS* pCounters) {
    return CopyRecord(DecoderIndex, IOCTL_VKS_HARDWARE_COUNTERS, pCounters, sizeof(VKSHARDWARECOUNTERS));
}

VKSERROR VKSAPI VKSGetMemoryUsageDiags(uint32_t DecoderIndex, VKSMEMORYUSAGEDIAGS* pUsage) {
    return CopyRecord(DecoderIndex, IOCTL_VKS_MEMORY_USAGE, pUsage, sizeof(VKSMEMORYUSAGEDIAGS));
}

VKSERROR VKSAPI VKSDecoderTestForceLockup(uint32_t DecoderIndex) {
    return RunTest(DecoderIndex, IOCTL_VKS_TEST_FORCE_LOCKUP);
}

VKSERROR VKSAPI VKSDecoderTestStopUpgradeReboot(uint32_t DecoderIndex) {
    return RunTest(DecoderIndex, IOCTL_VKS_TEST_STOP_UPGRADE_REBOOT);
}

VKSERROR VKSAPI VKSDecoderTestMemUsage(uint32_t DecoderIndex) {
    return RunTest(DecoderIndex, IOCTL_VKS_TEST_MEM_USAGE);
}

}  // extern "C"
