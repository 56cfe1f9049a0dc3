// The multimedia class scheduler: thread registrations are kernel objects
// behind the returned handle, so that a registration never reverted shows
// as an open handle and in the audio counters.
#include "audio_internal.h"
#include "kernel_object.h"

namespace vks::audio {
namespace {

class MmcssTask final : public kernel::KernelObject {
public:
    MmcssTask(DWORD thread, DWORD index) : thread(thread), index(index) { g_mmcssTasks.fetch_add(1); }
    const char* TypeName() const noexcept override { return "MmcssTask"; }
    const DWORD thread;
    const DWORD index;

protected:
    ~MmcssTask() override { g_mmcssTasks.fetch_sub(1); }
};

std::atomic<DWORD> g_lastTaskIndex{0};

bool KnownTask(LPCWSTR name) {
    static const WCHAR* const kTasks[] = {u"Audio",    u"Capture",   u"Distribution",  u"Games",
                                          u"Playback", u"Pro Audio", u"Window Manager"};
    for (const WCHAR* task : kTasks) {
        if (_wcsicmp(name, task) == 0) return true;
    }
    return false;
}

}  // namespace
}  // namespace vks::audio

using namespace vks::audio;

extern "C" {

HANDLE WINAPI AvSetMmThreadCharacteristicsW(LPCWSTR TaskName, LPDWORD TaskIndex) {
    if (!TaskName || !TaskIndex) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!KnownTask(TaskName)) {
        SetLastError(ERROR_INVALID_TASK_NAME);
        return nullptr;
    }
    const DWORD index = *TaskIndex != 0 ? *TaskIndex : g_lastTaskIndex.fetch_add(1) + 1;
    auto task = vks::kernel::Ref<MmcssTask>::Adopt(new MmcssTask(GetCurrentThreadId(), index));
    HANDLE handle = vks::kernel::InsertHandle(task.get());
    if (!handle) return nullptr;
    *TaskIndex = index;
    return handle;
}

BOOL WINAPI AvRevertMmThreadCharacteristics(HANDLE AvrtHandle) {
    if (!vks::kernel::ReferenceHandleAs<MmcssTask>(AvrtHandle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(AvrtHandle);
}

}  // extern "C"
