// Device health: load and predicted load, core load, temperature, the three
// diagnostic records and the three device tests, answered from figures the
// control surface sets per device.
#include "sim_internal.h"

#include "vkssim/sim_c.h"

namespace vkssim::detail {

namespace {

constexpr uint32_t kIoctlCurrentLoad = 0x22C44C;
constexpr uint32_t kIoctlTemperature = 0x22C450;
constexpr uint32_t kIoctlCryptoContents = 0x22C460;
constexpr uint32_t kIoctlPredictLoad = 0x22C494;
constexpr uint32_t kIoctlCoreLoad = 0x22C4D4;
constexpr uint32_t kIoctlHardwareCounters = 0x22C4D8;
constexpr uint32_t kIoctlTestForceLockup = 0x22C4EC;
constexpr uint32_t kIoctlTestStopUpgradeReboot = 0x22C4F0;
constexpr uint32_t kIoctlTestMemUsage = 0x22C4F4;
constexpr uint32_t kIoctlMemoryUsage = 0x22C4F8;

// Per device, kept with a weak reference so that a device made after a reset
// at the same address starts from the defaults.
struct DeviceHealth {
    std::weak_ptr<Device> owner;
    HealthFigures figures;
};
std::map<const Device*, DeviceHealth> g_health;  // guarded by M().mu

HealthFigures& FiguresOf(Device& device) {
    DeviceHealth& state = g_health[&device];
    std::shared_ptr<Device> current = M().devices.at(static_cast<size_t>(device.index));
    if (state.owner.lock() != current) {
        state = DeviceHealth{};
        state.owner = current;
    }
    return state.figures;
}

void CurrentLoad(Command& c) { c.OutU32(VKSSIM_PAYLOAD, FiguresOf(c.device).currentLoad); }

// 4: device type; 28: stream address text (decoder); 2076..2088: four
// encoder load values. The device answers the figure of the type asked.
void PredictLoad(Command& c) {
    const HealthFigures& f = FiguresOf(c.device);
    switch (c.Type()) {
    case VKSSIM_TYPE_DECODER: c.OutU32(VKSSIM_PAYLOAD, f.predictedDecoderLoad); break;
    case VKSSIM_TYPE_ENCODER: c.OutU32(VKSSIM_PAYLOAD, f.predictedEncoderLoad); break;
    default: c.status = VKSERROR_INVALID_ARGUMENT; break;
    }
}

void CoreLoad(Command& c) {
    const HealthFigures& f = FiguresOf(c.device);
    c.OutBytes(VKSSIM_PAYLOAD, f.coreLoad, sizeof f.coreLoad);
    c.OutU32(VKSSIM_PAYLOAD + sizeof f.coreLoad, f.coreLoadWord);
}

void Temperature(Command& c) {
    const HealthFigures& f = FiguresOf(c.device);
    c.OutU32(VKSSIM_PAYLOAD, f.temperature);
    c.OutBytes(VKSSIM_PAYLOAD + 4, f.temperatureDetail, sizeof f.temperatureDetail);
}

void CryptoContents(Command& c) {
    const HealthFigures& f = FiguresOf(c.device);
    c.OutBytes(VKSSIM_PAYLOAD, f.cryptoContents, sizeof f.cryptoContents);
}

void HardwareCounters(Command& c) {
    const HealthFigures& f = FiguresOf(c.device);
    c.OutBytes(VKSSIM_PAYLOAD, f.hardwareCounters, sizeof f.hardwareCounters);
}

void MemoryUsage(Command& c) {
    const HealthFigures& f = FiguresOf(c.device);
    c.OutBytes(VKSSIM_PAYLOAD, f.memoryUsage, sizeof f.memoryUsage);
}

void TestForceLockup(Command& c) { c.status = FiguresOf(c.device).forceLockupStatus; }
void TestStopUpgradeReboot(Command& c) { c.status = FiguresOf(c.device).stopUpgradeRebootStatus; }
void TestMemUsage(Command& c) { c.status = FiguresOf(c.device).memUsageStatus; }

}  // namespace

static void RegisterHealthFamily(Machine& m) {
    m.handlers[kIoctlCurrentLoad] = CurrentLoad;
    m.handlers[kIoctlPredictLoad] = PredictLoad;
    m.handlers[kIoctlCoreLoad] = CoreLoad;
    m.handlers[kIoctlTemperature] = Temperature;
    m.handlers[kIoctlCryptoContents] = CryptoContents;
    m.handlers[kIoctlHardwareCounters] = HardwareCounters;
    m.handlers[kIoctlMemoryUsage] = MemoryUsage;
    m.handlers[kIoctlTestForceLockup] = TestForceLockup;
    m.handlers[kIoctlTestStopUpgradeReboot] = TestStopUpgradeReboot;
    m.handlers[kIoctlTestMemUsage] = TestMemUsage;
}
VKSSIM_FAMILY(RegisterHealthFamily);

}  // namespace vkssim::detail

// --- Control surface ---------------------------------------------------------------------
namespace vkssim {

using namespace detail;

bool SetHealthFigures(int device, const HealthFigures& figures) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    if (!d) return false;
    FiguresOf(*d) = figures;
    return true;
}

std::optional<HealthFigures> GetHealthFigures(int device) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    if (!d) return std::nullopt;
    return FiguresOf(*d);
}

}  // namespace vkssim

namespace {

template <typename A, typename B>
void CopyFigures(const A& from, B& to) {
    to.currentLoad = from.currentLoad;
    to.predictedDecoderLoad = from.predictedDecoderLoad;
    to.predictedEncoderLoad = from.predictedEncoderLoad;
    std::memcpy(to.coreLoad, from.coreLoad, sizeof to.coreLoad);
    to.coreLoadWord = from.coreLoadWord;
    to.temperature = from.temperature;
    std::memcpy(to.temperatureDetail, from.temperatureDetail, sizeof to.temperatureDetail);
    std::memcpy(to.cryptoContents, from.cryptoContents, sizeof to.cryptoContents);
    std::memcpy(to.hardwareCounters, from.hardwareCounters, sizeof to.hardwareCounters);
    std::memcpy(to.memoryUsage, from.memoryUsage, sizeof to.memoryUsage);
    to.forceLockupStatus = from.forceLockupStatus;
    to.stopUpgradeRebootStatus = from.stopUpgradeRebootStatus;
    to.memUsageStatus = from.memUsageStatus;
}

}  // namespace

extern "C" {

int vkssim_set_health_figures(int device, const VKSSIM_HEALTH_FIGURES* figures) {
    if (!figures) return 0;
    vkssim::HealthFigures f;
    CopyFigures(*figures, f);
    return vkssim::SetHealthFigures(device, f) ? 1 : 0;
}

int vkssim_get_health_figures(int device, VKSSIM_HEALTH_FIGURES* figures) {
    if (!figures) return 0;
    auto f = vkssim::GetHealthFigures(device);
    if (!f) return 0;
    CopyFigures(*f, *figures);
    return 1;
}

}  // extern "C"
