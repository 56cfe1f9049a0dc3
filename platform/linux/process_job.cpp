// Job objects with the kill-on-close limit, and the lifeline that carries
// that limit to a child on Linux.
//
// A child started in a job (PROC_THREAD_ATTRIBUTE_JOB_LIST) gets the read end
// of a pipe whose only write end the job keeps. The job writes 'K' into it
// while it has JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE and 'L' when the limit is
// cleared. The child's platform layer reads it on a thread of its own; end of
// file means the job is gone, either because its last handle was closed or
// because the process holding it ended (the kernel closes its descriptors
// however it ends), and a child whose last word was 'K' then ends itself as
// TerminateProcess would.
#include "kernel_internal.h"
#include "process_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vks::process {
namespace {

using kernel::KernelObject;
using kernel::Ref;

class Job final : public KernelObject {
public:
    const char* TypeName() const noexcept override { return "Job"; }
    void OnLastHandleClosed() noexcept override { CloseLifelines(); }

    // Under the kernel lock.
    DWORD limitFlags = 0;
    std::vector<int> lifelines;  // write ends, one per child started in the job

    void CloseLifelines() noexcept {
        for (int fd : lifelines) close(fd);
        lifelines.clear();
    }

private:
    ~Job() override { CloseLifelines(); }
};

char Word(DWORD limitFlags) { return (limitFlags & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE) != 0 ? 'K' : 'L'; }

void* WatchLifeline(void* arg) {
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    bool kill = false;
    for (;;) {
        char word = 0;
        const ssize_t n = read(fd, &word, 1);
        if (n == 1) {
            kill = word == 'K';
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // the job is gone
    }
    close(fd);
    if (kill) ::kill(getpid(), SIGKILL);
    return nullptr;
}

// Runs when the platform library is loaded in a child started in a job.
__attribute__((constructor(111))) void WatchLifelineAtLoad() {
    const char* text = getenv("VKS_LIFELINE_FD");
    if (text == nullptr) return;
    const int fd = atoi(text);
    unsetenv("VKS_LIFELINE_FD");
    if (fd < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) return;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t watcher;
    if (pthread_create(&watcher, &attr, WatchLifeline, reinterpret_cast<void*>(static_cast<intptr_t>(fd))) != 0) {
        OutputDebugStringA("vksplatform: the job lifeline cannot be watched\n");
        close(fd);
    }
    pthread_attr_destroy(&attr);
}

}  // namespace

int OpenLifeline(HANDLE job, int* writeEnd) noexcept {
    Ref<Job> target = kernel::ReferenceHandleAs<Job>(job);
    if (!target) return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return -1;
    }
    char word;
    {
        std::lock_guard<std::mutex> lock(kernel::KernelLock());
        word = Word(target->limitFlags);
    }
    // The pipe is empty: one byte never blocks.
    if (write(fds[1], &word, 1) != 1) {
        close(fds[0]);
        close(fds[1]);
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return -1;
    }
    *writeEnd = fds[1];
    return fds[0];
}

void SettleLifeline(HANDLE job, int writeEnd, bool started) noexcept {
    Ref<Job> target = started ? kernel::ReferenceHandleAs<Job>(job) : Ref<Job>();
    if (target) {
        std::lock_guard<std::mutex> lock(kernel::KernelLock());
        // A job whose handles were all closed meanwhile lets its child go as
        // it would have had it been there.
        if (kernel::LookupHandleLocked(job) == target.get()) {
            target->lifelines.push_back(writeEnd);
            return;
        }
    }
    close(writeEnd);
}

}  // namespace vks::process

using namespace vks::process;

extern "C" {

HANDLE WINAPI CreateJobObjectW(LPSECURITY_ATTRIBUTES, LPCWSTR lpName) {
    if (lpName != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    vks::kernel::Ref<Job> job = vks::kernel::Ref<Job>::Adopt(new Job());
    HANDLE h = vks::kernel::InsertHandle(job.get());
    if (h != nullptr) SetLastError(ERROR_SUCCESS);
    return h;
}

BOOL WINAPI SetInformationJobObject(HANDLE hJob, JOBOBJECTINFOCLASS JobObjectInformationClass,
                                   LPVOID lpJobObjectInformation, DWORD cbJobObjectInformationLength) {
    vks::kernel::Ref<Job> job = vks::kernel::ReferenceHandleAs<Job>(hJob);
    if (!job) return FALSE;
    if (JobObjectInformationClass != JobObjectExtendedLimitInformation || lpJobObjectInformation == nullptr ||
        cbJobObjectInformationLength != sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* info = static_cast<const JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(lpJobObjectInformation);
    const DWORD flags = info->BasicLimitInformation.LimitFlags;
    if ((flags & ~static_cast<DWORD>(JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE)) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    size_t lost = 0;
    {
        std::lock_guard<std::mutex> lock(vks::kernel::KernelLock());
        job->limitFlags = flags;
        const char word = Word(flags);
        // A full pipe means the child has not read its earlier words; a word
        // that does not fit is dropped rather than blocking under the lock.
        for (int fd : job->lifelines) {
            const int status = fcntl(fd, F_GETFL);
            if (status >= 0) fcntl(fd, F_SETFL, status | O_NONBLOCK);
            if (write(fd, &word, 1) != 1) ++lost;
        }
    }
    if (lost != 0) OutputDebugStringA("vksplatform: a job limit did not reach every child\n");
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
