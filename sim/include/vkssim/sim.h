// Control surface of the device simulator, for tests and tools written in C++.
//
// The simulator is a driver behind the platform layer's device I/O: it
// registers device interfaces, opens device files and answers the command
// frame of every DeviceIoControl. Everything here acts on the one simulated
// machine of the process. All functions are thread-safe.
#pragma once

#include "vkssim/protocol.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vkssim {

// Faults of a decoder's decoded audio (family_audio.cpp).
enum class DecoderAudioFault : uint32_t {
    None = 0,
    ShortDelivery = 1,  // a load delivers at most half the frames asked (rounded up)
    NoDelivery = 2,     // the decoder never produces frames nor signals its events
    FailStart = 3,      // the start command fails (DecoderAudio::failStatus)
    OverReport = 4,     // a load reports 1000 frames more written than it was asked for
};

// One simulated device. Empty texts and zero numbers are filled with values
// derived from the device's position when it is added.
struct DeviceConfig {
    std::u16string name;           // VKSINFOW text
    std::u16string location;       // SPDRP_LOCATION_INFORMATION text
    std::u16string interfacePath;  // path the setup API reports
    // Inputs per kind, indexed by VKSSIM_TYPE_*: network ports, decoders,
    // encoders, discovery inputs.
    uint32_t inputs[VKSSIM_TYPE_COUNT] = {2, 2, 1, 1};
    uint32_t serial = 0;
    uint32_t firmware = 0x00030002;   // major in the upper half, minor in the lower
    uint32_t streamsPerPort = 16;     // network streams one port accepts at once
    // When set, the device raises events on its own: DECODED_FIRST_FRAME when a
    // connected decoder enters state 2.
    bool autoEvents = false;
    // Network streams carry audio: decoders playing them report
    // VKSERROR_AUDIO_EXISTS after their first frame.
    bool streamAudio = false;
    // Decoded audio of the device's decoders: the tone's frequency and a fault
    // (applied to `audioFaultCount` loads after each start; -1 all of them).
    uint32_t audioToneHz = 440;
    DecoderAudioFault audioFault = DecoderAudioFault::None;
    int audioFaultCount = -1;
};

// One request as the driver received it.
struct Request {
    uint64_t sequence = 0;      // position in the log, from 0
    int device = -1;            // device index
    uint64_t file = 0;          // identifies the device file it was sent on
    uint32_t code = 0;
    uint32_t outputLength = 0;
    bool overlappedFile = false;
    std::vector<uint8_t> input; // the request bytes, exactly as sent

    uint32_t U32(size_t offset) const;  // 0 beyond the end
    uint64_t U64(size_t offset) const;
};

// An object opened on a device with the open command.
struct Object {
    uint32_t handle = 0;        // the driver's handle
    uint32_t type = 0;
    uint32_t channel = 0;
    uint32_t state = 0;
    uint32_t source = 0;        // decoders: connected network stream's handle
    uint32_t connectArgument = 0;
    uint32_t openFlags = 0;
    bool systemEventFlag = false;
    std::string address;        // network streams: the address received
    uint64_t lengthValue = 0;
    uint32_t transport = 0;
    uint8_t options[32] = {};
    size_t pendingEventRequests = 0;
    size_t queuedEvents = 0;
};

// --- Machine -------------------------------------------------------------------
// Removes every device (their interfaces disappear; open files stay usable and
// answer ERROR_DEVICE_NOT_CONNECTED), clears faults and the request log.
void Reset();
// Adds devices from a configuration text or file (format: sim/README.md).
bool LoadConfigText(const std::string& text, std::string* error = nullptr);
bool LoadConfigFile(const std::string& path, std::string* error = nullptr);
// Adds a device and registers its interface; returns its index.
int AddDevice(const DeviceConfig& config);
// Unregisters a device's interface (a hot removal).
bool RemoveDevice(int device);
int DeviceCount();
std::u16string InterfacePath(int device);
std::u16string Location(int device);
// Replaces the VKSINFOW the device reports for one input kind (at most 584 bytes;
// the size word is rewritten when the device answers).
bool SetDeviceInfo(int device, uint32_t type, const void* info, size_t size);
// The size word the device reports for the parameter block of a kind (as an
// older firmware with a shorter block would); 0 restores the full size.
bool SetParameterBlockSize(int device, uint32_t type, uint32_t size);

// --- Objects and events ----------------------------------------------------------
std::vector<Object> Objects(int device);
std::optional<Object> FindObject(int device, uint32_t type, uint32_t channel);
std::optional<Object> GetObject(int device, uint32_t handle);
// Raises an event for an open object: completes one held event request with
// the code (reply offset 12), value (offset 8) and payload (offset 24), or
// queues the event until the next event request. False when no such object.
bool RaiseEvent(int device, uint32_t handle, uint32_t code, uint32_t value = 0, const void* payload = nullptr,
                size_t size = 0);
// Raises a device notification: every device file registered for
// notifications receives it (code at reply offset 24, payload from 28), now
// or with its next request. Returns the number of files it reached.
int RaiseDeviceNotification(int device, uint32_t code, const void* payload = nullptr, size_t size = 0);
// Requests held pending by a device (event requests, notification requests,
// requests held by FailCompletion), optionally only those with one code (0: all).
size_t HeldRequests(int device, uint32_t code = 0);
// Waits until at least `count` requests with the code are held.
bool WaitForHeld(int device, uint32_t code, size_t count, std::chrono::milliseconds timeout);

// --- Faults ---------------------------------------------------------------------------
// A count of -1 means every time; otherwise the fault applies that many times.
// The reply carries this status and the command has no effect.
void FailWithStatus(uint32_t code, uint32_t status, int count = -1);
// The command acts normally but only `bytes` reply bytes are returned.
void ShortReply(uint32_t code, uint32_t bytes, int count = -1);
// DeviceIoControl fails at once with this Windows error number (0: fails
// with GetLastError 0).
void FailWithWin32Error(uint32_t code, uint32_t error, int count = -1);
// Opening a device file of this device fails with the Windows error (0 clears).
void FailCreate(int device, uint32_t error);
// The request goes pending and then completes with the Windows error: held
// requests (events, notifications) when they would complete, others at once
// from the simulator's completion thread.
void FailCompletion(uint32_t code, uint32_t error, int count = -1);
// Every request that the device answers at once is instead completed from the
// simulator's completion thread (as a driver that queues its work would).
void SetAsyncCompletion(bool on);
void ClearFaults();

// --- Request log ---------------------------------------------------------------------
std::vector<Request> Requests();
uint64_t RequestMark();  // sequence number the next request will get
void ClearRequests();    // empties the log; sequence numbers keep counting
// The log keeps the newest `entries` requests (4096 unless set).
void SetRequestLogLimit(size_t entries);
// Off: requests are answered without being recorded (nor seen by
// WaitForRequest), so that a measured command path allocates nothing in the
// simulator once its thread is warm. On unless set; Reset does not change it.
void SetRequestLogging(bool on);
// Waits until a request with the code (0: any) and a sequence number of at
// least `since` has arrived, and returns it.
std::optional<Request> WaitForRequest(uint32_t code, uint64_t since, std::chrono::milliseconds timeout);

// --- Discovery (family_discovery.cpp) ---------------------------------------------------
// What discovery sessions on a device find.
struct DiscoveryResults {
    uint32_t interfaceNumber = 1;               // reported with VKSERROR_DISCOVERED_DEVICES
    std::vector<std::vector<uint8_t>> things;   // one record per device found (at most 1228 bytes used)
};
// A discovery object as the device sees it.
struct DiscoverySession {
    bool started = false;
    uint64_t startParams = 0;       // value of the last start command (request offset 32)
    uint32_t startSize = 0;         // size word of the last start command (request offset 24)
    uint32_t starts = 0, stops = 0, fetches = 0;
    // What the last fetch found behind its parameters address: the three
    // records as the device read them (empty when unreachable), and the number
    // of things it wrote into the entity buffer.
    std::vector<uint8_t> parms, data, entityList;
    uint32_t thingsWritten = 0;
};
// Sets what the device's discovery finds. A start command of a discovery
// object then reports them with a VKSERROR_DISCOVERED_DEVICES event (interface
// at reply offset 168, u64 number of things at 176), unless there are none;
// the fetch command writes them into the entity buffer its records name.
bool SetDiscoveryResults(int device, const DiscoveryResults& results);
// Raises VKSERROR_DISCOVERED_DEVICES for a discovery object with any interface
// and number of things (a fetch still writes the things of SetDiscoveryResults).
bool ReportDiscoveredDevices(int device, uint32_t handle, uint32_t interfaceNumber, uint64_t things);
std::optional<DiscoverySession> GetDiscoverySession(int device, uint32_t handle);

// An ONVIF device as a custom device event describes it.
struct OnvifDevice {
    std::string xaddrs, manufacturer, model, firmwareVersion, serialNumber, hardwareId;
    std::vector<std::pair<std::string, std::string>> profiles;  // name, value
    int64_t reportedProfiles = -1;  // profile count written into the record; -1: profiles.size()
};
// The event data (the bytes after the 52-byte broadcast header): XAddrs 256
// bytes, Manufacturer, Model, FirmwareVersion, SerialNumber, HardwareId 128
// bytes each, u32 profile count, then 384-byte profiles (128-byte name,
// 256-byte value). A text that fills its field has no terminator.
std::vector<uint8_t> OnvifDeviceRecord(const OnvifDevice& device);
// Sends WM_DEVICECHANGE(DBT_CUSTOMEVENT) with the ONVIF event GUID
// {5C0E9F41-7B2D-4A66-9E13-D4A8B2C7E590} and `data` to every device
// notification registered on a file of the device. False when no such device.
bool RaiseOnvifDeviceEvent(int device, const std::vector<uint8_t>& data);

// --- Device health (family_health.cpp) --------------------------------------------------
// The figures a device reports. Records are returned as they are here.
struct HealthFigures {
    uint32_t currentLoad = 35;
    uint32_t predictedDecoderLoad = 55;  // answer to a prediction with device type DECODER
    uint32_t predictedEncoderLoad = 65;  // answer to a prediction with device type ENCODER
    uint8_t coreLoad[16] = {};
    uint32_t coreLoadWord = 4;
    uint32_t temperature = 47;
    uint8_t temperatureDetail[16] = {};
    uint8_t cryptoContents[24] = {};
    uint8_t hardwareCounters[24] = {};
    uint8_t memoryUsage[56] = {};
    // Statuses of the three tests (VKSERROR_TEST_IN_PROGRESS, VKSERROR_TEST_COMPLETE).
    uint32_t forceLockupStatus = 0x01346401u;
    uint32_t stopUpgradeRebootStatus = 0x01346400u;
    uint32_t memUsageStatus = 0x01346400u;
};
bool SetHealthFigures(int device, const HealthFigures& figures);
std::optional<HealthFigures> GetHealthFigures(int device);

}  // namespace vkssim

// === Network family =====================================================================
// Device-wide network answers: IP configuration, MAC addresses, clients, file
// size, stream diagnostics, stream information records, and the destinations
// that ping and trace-route reach. No packet is ever sent: every answer comes
// from these tables.
namespace vkssim {

// One device stream record of the diagnostics reply, and its kind word.
constexpr size_t kNetworkDiagnosticsEntryBytes = 2752;
constexpr size_t kNetworkDiagnosticsKindOffset = 2748;

struct NetworkDiagnostics {
    uint64_t firstCounter[2] = {};   // per interface
    uint64_t secondCounter[2] = {};  // per interface
    // Stream records, each kNetworkDiagnosticsEntryBytes long. A request for
    // more streams than there are gets zeroed records for the rest.
    std::vector<std::vector<uint8_t>> entries;
};

// A recognisable stream record: the u32 at every 4-byte offset o holds
// NetworkPatternWord(seed, o), except the kind word, which holds `kind`.
std::vector<uint8_t> NetworkDiagnosticsPattern(uint32_t kind, uint32_t seed);
// (seed << 28) | (o << 16) | 0x8000 | o: both halves differ from offset to
// offset and are never 0.
uint32_t NetworkPatternWord(uint32_t seed, uint32_t offset);

// Replaces what the device reports. The defaults: counters 0x1000000000000001,
// 0x1000000000000002 (first) and 0x2000000000000001, 0x2000000000000002
// (second); entry 0 of kind 1 (seed 1), entry 1 of kind 2 (seed 2).
bool SetNetworkDiagnostics(int device, const NetworkDiagnostics& diagnostics);
NetworkDiagnostics GetNetworkDiagnostics(int device);

// The 48-byte IP configuration: two 24-byte entries, each with its IPv4
// address as a host-order number at entry offset 4 (0: not configured).
// Defaults: 192.168.1.(100 + device) and 10.0.(device).1.
bool SetNetworkIpConfig(int device, const std::array<uint8_t, 48>& record);
std::array<uint8_t, 48> GetNetworkIpConfig(int device);
// Changes only the two address words (host order, 0: not configured).
bool SetNetworkInterfaceAddresses(int device, uint32_t address0, uint32_t address1);
// Two 6-byte MAC addresses in reply order. Default 00:1D:2F:<device>:00:01 and :02.
bool SetNetworkMacAddresses(int device, const std::array<uint8_t, 12>& addresses);
// Default 1048576.
bool SetNetworkFileSize(int device, uint32_t size);
// A fixed number of clients; -1 (the default) reports the open network streams.
bool SetNetworkClients(int device, int32_t clients);
// The size word of the stream and media stream information records (40 and 56
// bytes); 0 (the default) reports their true size. The record itself is not
// made longer, as a device that misreports its size would do.
bool SetNetworkInfoSizeWord(int device, uint32_t sizeWord);

// How a destination answers ping and trace-route.
enum class NetworkReach : uint32_t {
    Reachable = 0,    // PING_SUCCESS; TRACEROUTE_COMPLETE with the hops
    Unreachable = 1,  // PING_FAIL; TRACEROUTE_FAIL
    Silent = 2,       // PING_TIMEOUT; TRACEROUTE_TIMEOUT
};
// Adds or replaces a destination (matched as text). Destinations not listed
// are reachable when they are 127.0.0.1 or one of the device's own addresses
// in dotted form, and silent otherwise.
bool SetNetworkDestination(int device, const std::string& destination, NetworkReach reach, uint32_t hops = 3);
bool ClearNetworkDestinations(int device);

}  // namespace vkssim
// === End of network family ================================================================

// === Encoder family (family_encoder.cpp) ==================================================
namespace vkssim {

// An encoder holds each output sample request (0x22C41C) until its frame clock
// fills it: while the object is in state 2 it completes one held sample per
// frame period, writing encoded bytes into the buffer (request offset 64,
// length at 32) and replying with completion values at 24 and 32 (the frame's
// time in 100 ns units, its number), the filled length at 40, and echoes of
// the buffer address at 48 and of the sample address (request offset 112) at
// 56. Closing the object hands held samples back with VKSERROR_NO_COMPLETION;
// closing their file cancels them (ERROR_OPERATION_ABORTED).

// Frame rate value that follows the encoder's parameter block (the default).
constexpr uint32_t kEncoderFrameRateFromBlock = UINT32_MAX;
// Bytes of the key request sent with VKSERROR_ENC_NOTIFY_ENCR_KEY (from reply
// offset 24): u32 size, u32 encryption type, u32 request number (from 1),
// u32 channel, 16 bytes of key identifier.
constexpr uint32_t kEncryptionKeyRequestSize = 32;

// What the device echoes when it completes an output sample.
enum class EncoderEcho : uint32_t {
    Matching = 0,       // the sample's own buffer and address
    ForeignBuffer = 1,  // another buffer address at 48
    NullSample = 2,     // 0 as the sample address at 56
    ForeignSample = 3,  // another sample address at 56
    OverlongFill = 4,   // a filled length at 40 beyond the buffer's length
};

// Raw input the encoder has read (VKSSupplyRawData, 0x22C490).
struct EncoderInput {
    uint64_t samples = 0;
    uint64_t bytes = 0;
    uint32_t lastFormat1 = 0, lastFormat2 = 0, lastLength = 0;
    uint64_t lastChecksum = 0;  // EncoderChecksum of the last region read
};
// Output the encoder has produced.
struct EncoderOutput {
    uint64_t framesProduced = 0;
    size_t heldSamples = 0;
    uint32_t keyRequests = 0;
};
// The capture-card interface of an encoder object as the device keeps it.
struct CaptureInterface {
    bool open = false, paused = false, pushPaused = false;
    uint32_t opens = 0;
    uint32_t word1 = 0, word2 = 0;
    uint8_t identification[16] = {};
    std::vector<uint8_t> record;  // the 56 bytes of the last open request from offset 24
};

// Frames per second of an encoder's clock; 0 stops it (samples stay held
// until ProduceEncoderSamples); kEncoderFrameRateFromBlock follows the
// parameter block's frame rate. False when no such encoder object.
bool SetEncoderFrameRate(int device, uint32_t handle, uint32_t framesPerSecond);
// Fills and completes up to `count` held output samples now, in any state;
// returns how many.
size_t ProduceEncoderSamples(int device, uint32_t handle, size_t count);
// How later completions echo the buffer and sample addresses.
bool SetEncoderEcho(int device, uint32_t handle, EncoderEcho echo);
size_t HeldEncoderSamples(int device, uint32_t handle);
bool WaitForEncoderSamples(int device, uint32_t handle, size_t count, std::chrono::milliseconds timeout);
// Raises VKSERROR_ENC_NOTIFY_ENCR_KEY with a key request now. The encoder also
// asks by itself, once each time it enters state 2 while its encryption type
// (parameter block offset 2152) is not 0.
bool AskForEncryptionKeys(int device, uint32_t handle);
std::optional<EncoderInput> GetEncoderInput(int device, uint32_t handle);
std::optional<EncoderOutput> GetEncoderOutput(int device, uint32_t handle);
std::optional<CaptureInterface> GetCaptureInterface(int device, uint32_t handle);
// The checksum the encoder keeps of raw input (64-bit FNV-1a).
uint64_t EncoderChecksum(const void* data, size_t size);

}  // namespace vkssim
// === End of encoder family ================================================================

// === Streams family (family_streams.cpp) ==================================================
// A network stream opened on a "file://" address plays like a device: once in
// state 2 it asks for each block of encoded data with a VKSERROR_NEED_DATA
// event, takes the block by address during the supply command, and reports
// VKSERROR_END_OF_STREAM after an empty block (it then asks no more until a
// seek). A decoder in state 2 connected to a stream that has received data
// reports VKSERROR_DECODED_FIRST_FRAME once per connection, followed by
// VKSERROR_AUDIO_EXISTS when the stream carries audio (not on devices with
// automatic events, which report first frames by themselves). Decoders keep
// the record of the set encryption keys command.
#ifndef VKSSIM_IOCTL_SUPPLY_ENCODED_DATA
#define VKSSIM_IOCTL_SUPPLY_ENCODED_DATA 0x22C478u  /* 24: u32 bytes; 32: u64 block address */
#define VKSSIM_IOCTL_SET_ENCRYPTION_KEYS 0x22C4B4u  /* 24..55: the keys record */
#endif
namespace vkssim {

// How a device's file streams ask for data.
struct StreamPacing {
    // Ask by itself: at once when the stream starts playing or after a seek,
    // and `interval` after each block it took. When false the device asks
    // only through AskForData.
    bool automatic = true;
    std::chrono::milliseconds interval{0};
};
// One block a stream took: its size, the FNV-1a 64 checksum of its bytes
// (FedChecksum) and its first bytes.
constexpr size_t kFedBlockHeadBytes = 16;
struct FedBlock {
    uint32_t bytes = 0;
    uint64_t checksum = 0;
    std::vector<uint8_t> head;  // at most kFedBlockHeadBytes
};
struct StreamPlayback {
    uint32_t asks = 0;    // VKSERROR_NEED_DATA events raised
    uint32_t seeks = 0;   // VKSERROR_SEEK_DATA events raised
    uint32_t blocks = 0;  // supply commands taken
    uint64_t bytes = 0;   // bytes taken in all
    bool ended = false;   // the last block was empty
    bool dataArrived = false;
};

// Pacing of a device's file streams (automatic, interval 0 unless set);
// streams already playing follow it at once.
bool SetStreamPacing(int device, const StreamPacing& pacing);
// Whether the device's streams carry audio (false unless set), and the same
// for one open stream, which then no longer follows the device's setting.
bool SetStreamAudio(int device, bool hasAudio);
bool SetStreamHasAudio(int device, uint32_t stream, bool hasAudio);
// Raises one VKSERROR_NEED_DATA for a network stream now, in any state.
bool AskForData(int device, uint32_t stream);
// Raises VKSERROR_SEEK_DATA with the position as u64 at reply offset 24; an
// automatic stream that is playing then asks for the next block.
bool RequestSeek(int device, uint32_t stream, uint64_t position);
// The blocks a stream took, oldest first (the newest 65536), also after it closed.
std::vector<FedBlock> FedBlocks(int device, uint32_t stream);
bool WaitForFedBlocks(int device, uint32_t stream, size_t count, std::chrono::milliseconds timeout);
std::optional<StreamPlayback> GetStreamPlayback(int device, uint32_t stream);
uint64_t FedChecksum(const void* data, size_t size);
// The last keys record a decoder received.
std::optional<std::array<uint8_t, 32>> GetEncryptionKeys(int device, uint32_t decoder);
// A decoder hands each output sample (0x22C484) back at once, numbered from 1
// in the value, with the sample's address (request offset 224) echoed at reply
// offset 216. Of the echoes only Matching, NullSample and ForeignSample apply.
bool SetDecoderSampleEcho(int device, uint32_t decoder, EncoderEcho echo);

}  // namespace vkssim
// === End of streams family ================================================================

// === Decoded audio (family_audio.cpp) =====================================================
// A decoder answers the decoded-audio start (0x22C4CC), load (0x22C4C8) and
// stop (0x22C4D0) commands. From the start it produces a tone in the format
// the decoder block's audio format field (offset 116, 32 bytes) names, 10 ms
// at a time by the clock, keeping at most the start command's 500 ms of
// frames; it sets the start command's Data Buffered event once its 250 ms
// count is buffered and keeps its Data Ready event set while it holds frames
// (reset by a load that empties it). A load writes up to the frames asked at
// the address it carries and replies the count at offset 24. The tone's
// sample for frame n (counted from the start over the frames delivered) is
// DecoderAudioTone(toneHz, rate, n), in every channel, converted to the
// format (float as is; integers scaled to full range, 8 bits unsigned).
namespace vkssim {

struct DecoderAudio {
    uint32_t toneHz = 440;
    DecoderAudioFault fault = DecoderAudioFault::None;
    int faultCount = -1;  // loads after each start the fault applies to; -1 all
    uint32_t failStatus = 0x01340001u;  // status of a failing start (VKSERROR_UNEXPECTED)
};
struct DecoderAudioState {
    bool started = false;
    uint32_t starts = 0, stops = 0, loads = 0, shortLoads = 0;
    uint64_t framesRequested = 0, framesDelivered = 0, framesDropped = 0;
    // Fields of the last start command.
    uint32_t frameSize = 0, frames500 = 0, frames250 = 0, framesBuffer = 0;
    uint64_t readyEvent = 0, bufferedEvent = 0;
};
// Replaces the device's settings (otherwise those of its configuration).
bool SetDecoderAudio(int device, const DecoderAudio& audio);
// A decoder's decoded audio, once it received a start or stop command.
std::optional<DecoderAudioState> GetDecoderAudio(int device, uint32_t decoder);
bool WaitForDecoderAudioLoads(int device, uint32_t decoder, uint32_t loads, std::chrono::milliseconds timeout);
// The tone's value (amplitude 0.5) at a frame.
double DecoderAudioTone(uint32_t toneHz, uint32_t rate, uint64_t frame);

}  // namespace vkssim
// === End of decoded audio ===================================================================
