// The window manager's Linux-only side: the notification hooks that stand in
// for the system (display changes, custom device events), how their messages
// reach window threads, and the queue behaviour the conformance program
// cannot provoke under Windows.
#include "vks_platform.h"
#include "vks_win32/window_ext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kWait = 10000;
constexpr UINT kMsgPing = WM_USER + 7;
constexpr UINT kMsgEcho = WM_USER + 8;

const GUID kEventGuid = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

// Test handles mapped onto fake device registrations by the definition of
// VksDeviceRegistrationOfHandle below.
HANDLE const kFileA1 = reinterpret_cast<HANDLE>(0x5A10);
HANDLE const kFileA2 = reinterpret_cast<HANDLE>(0x5A20);
HANDLE const kFileB = reinterpret_cast<HANDLE>(0x5B10);
int g_deviceA;
int g_deviceB;

// One delivery as a window procedure saw it.
struct Delivery {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
    std::vector<unsigned char> record;  // a copy of the DEV_BROADCAST_HANDLE, if any
};

std::mutex g_mutex;
std::vector<Delivery> g_seen;
HANDLE g_seenEvent;        // auto-reset: set after each logged delivery
HWND g_echoTarget;         // kMsgEcho sends kMsgPing here and adds its result
BOOL* g_destroyAgain;      // when set: WM_DESTROY destroys the window again, the result here

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY && g_destroyAgain) *g_destroyAgain = DestroyWindow(hwnd);
    if (msg == kMsgEcho) {
        return 100 + SendMessageW(g_echoTarget, kMsgPing, wParam, 0);
    }
    if (msg == WM_DISPLAYCHANGE || msg == WM_DEVICECHANGE || msg == kMsgPing) {
        Delivery d{hwnd, msg, wParam, lParam, GetCurrentThreadId(), {}};
        if (msg == WM_DEVICECHANGE && lParam) {
            auto* rec = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(lParam);
            const auto* bytes = reinterpret_cast<const unsigned char*>(rec);
            d.record.assign(bytes, bytes + rec->dbch_size);
        }
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_seen.push_back(std::move(d));
        }
        SetEvent(g_seenEvent);
        if (msg == kMsgPing) return static_cast<LRESULT>(wParam) * 2;
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::vector<Delivery> Seen() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_seen;
}

// Waits until `count` deliveries are logged.
bool WaitSeen(size_t count) {
    for (;;) {
        if (Seen().size() >= count) return true;
        if (WaitForSingleObject(g_seenEvent, kWait) != WAIT_OBJECT_0) return Seen().size() >= count;
    }
}

HWND Create(HWND parent = nullptr) {
    return CreateWindowExW(0, u"WindowTestClass", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// A thread with a window: waits for `go`, then pumps messages until WM_QUIT
// (or, with pump false, ends at once without pumping).
class WindowThread {
public:
    explicit WindowThread(bool pump = true) : pump_(pump) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        go_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this] { Run(); });
        EXPECT_EQ(WaitForSingleObject(ready_, kWait), WAIT_OBJECT_0);
    }
    ~WindowThread() {
        Join();
        CloseHandle(ready_);
        CloseHandle(go_);
    }
    void Go() { SetEvent(go_); }
    void Join() {
        if (!thread_.joinable()) return;
        Go();
        if (pump_) PostThreadMessageW(id_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND hwnd() const { return hwnd_; }
    DWORD id() const { return id_; }
    // Posted messages the loop itself retrieved, in order.
    std::vector<UINT> Retrieved() {
        std::lock_guard<std::mutex> lock(m_);
        return retrieved_;
    }

private:
    void Run() {
        hwnd_ = Create();
        id_ = GetCurrentThreadId();
        SetEvent(ready_);
        WaitForSingleObject(go_, kWait);
        if (!pump_) return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            {
                std::lock_guard<std::mutex> lock(m_);
                retrieved_.push_back(msg.message);
            }
            DispatchMessageW(&msg);
        }
    }

    bool pump_;
    HANDLE ready_;
    HANDLE go_;
    std::thread thread_;
    HWND hwnd_ = nullptr;
    DWORD id_ = 0;
    std::mutex m_;
    std::vector<UINT> retrieved_;
};

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_seenEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = u"WindowTestClass";
        ASSERT_NE(RegisterClassExW(&wc), 0);
    }
    static void TearDownTestSuite() {
        EXPECT_TRUE(UnregisterClassW(u"WindowTestClass", GetModuleHandleW(nullptr)));
        CloseHandle(g_seenEvent);
    }
    void SetUp() override {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_seen.clear();
        ResetEvent(g_seenEvent);
    }
};

DEV_BROADCAST_HANDLE Filter(HANDLE file) {
    DEV_BROADCAST_HANDLE f = {};
    f.dbch_size = sizeof(f);
    f.dbch_devicetype = DBT_DEVTYP_HANDLE;
    f.dbch_handle = file;
    return f;
}

HDEVNOTIFY RegisterFor(HWND hwnd, HANDLE file) {
    DEV_BROADCAST_HANDLE f = Filter(file);
    return RegisterDeviceNotificationW(hwnd, &f, DEVICE_NOTIFY_WINDOW_HANDLE);
}

const DEV_BROADCAST_HANDLE& Record(const Delivery& d) {
    return *reinterpret_cast<const DEV_BROADCAST_HANDLE*>(d.record.data());
}

}  // namespace

// Device I/O supplies the real mapping; this test stands in for it (the
// executable's definition takes precedence over the platform's default).
extern "C" const void* VksDeviceRegistrationOfHandle(HANDLE file) {
    if (file == kFileA1 || file == kFileA2) return &g_deviceA;
    if (file == kFileB) return &g_deviceB;
    return nullptr;
}

namespace {

// Destroys a window of the calling thread when the test ends, however it ends.
struct LocalWindow {
    explicit LocalWindow(HWND parent = nullptr) : hwnd(Create(parent)) {}
    ~LocalWindow() {
        if (hwnd) DestroyWindow(hwnd);
    }
    HWND hwnd;
};

}  // namespace

// The hook calls this thread's windows before it returns, does not wait for
// a busy thread, and its message overtakes the messages posted before it.
TEST_F(WindowTest, DisplayChangeReachesEveryTopLevelWindowOnItsThread) {
    WindowThread worker;  // not pumping until Go()
    LocalWindow local;
    LocalWindow messageOnlyWindow(HWND_MESSAGE);
    ASSERT_NE(local.hwnd, nullptr);
    ASSERT_NE(messageOnlyWindow.hwnd, nullptr);
    ASSERT_TRUE(PostMessageW(worker.hwnd(), kMsgPing, 1, 0));

    VksBroadcastDisplayChange(32, 1920, 1080);
    std::vector<Delivery> seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].hwnd, local.hwnd);
    worker.Go();
    ASSERT_TRUE(WaitSeen(3));
    seen = Seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].hwnd, worker.hwnd());
    EXPECT_EQ(seen[1].thread, worker.id());
    EXPECT_EQ(seen[2].msg, kMsgPing);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(seen[i].msg, static_cast<UINT>(WM_DISPLAYCHANGE));
        EXPECT_EQ(seen[i].wParam, 32u);
        EXPECT_EQ(LOWORD(seen[i].lParam), 1920);
        EXPECT_EQ(HIWORD(seen[i].lParam), 1080);
    }
    // Delivered as a sent message: the loop never retrieves it.
    worker.Join();
    for (UINT m : worker.Retrieved()) EXPECT_NE(m, static_cast<UINT>(WM_DISPLAYCHANGE));
}

TEST_F(WindowTest, CustomEventGoesToTheRegistrationsOfThatHandle) {
    WindowThread worker;  // blocked: the record must outlive the hook call
    HDEVNOTIFY first = RegisterFor(worker.hwnd(), kFileA1);
    HDEVNOTIFY other = RegisterFor(worker.hwnd(), kFileB);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(first, other);

    unsigned char data[5] = {9, 8, 7, 6, 5};
    VksDeliverCustomDeviceEvent(kFileA1, &kEventGuid, data, sizeof(data));
    std::memset(data, 0, sizeof(data));
    worker.Go();
    ASSERT_TRUE(WaitSeen(1));
    // A marker through the same queue: once it is seen, nothing else is pending.
    ASSERT_EQ(SendMessageW(worker.hwnd(), kMsgPing, 4, 0), 8);
    std::vector<Delivery> seen = Seen();
    ASSERT_EQ(seen.size(), 2u);
    const Delivery& d = seen[0];
    EXPECT_EQ(d.msg, static_cast<UINT>(WM_DEVICECHANGE));
    EXPECT_EQ(d.wParam, static_cast<WPARAM>(DBT_CUSTOMEVENT));
    EXPECT_EQ(d.thread, worker.id());
    ASSERT_EQ(d.record.size(), offsetof(DEV_BROADCAST_HANDLE, dbch_data) + 5);
    const DEV_BROADCAST_HANDLE& r = Record(d);
    EXPECT_EQ(r.dbch_size, 57u);
    EXPECT_EQ(r.dbch_devicetype, static_cast<DWORD>(DBT_DEVTYP_HANDLE));
    EXPECT_EQ(r.dbch_reserved, 0u);
    EXPECT_EQ(r.dbch_handle, kFileA1);
    EXPECT_EQ(r.dbch_hdevnotify, first);
    EXPECT_TRUE(r.dbch_eventguid == kEventGuid);
    EXPECT_EQ(r.dbch_nameoffset, -1);
    EXPECT_EQ(std::memcmp(d.record.data() + offsetof(DEV_BROADCAST_HANDLE, dbch_data), "\x09\x08\x07\x06\x05", 5), 0);

    // Unregistered: no more deliveries.
    EXPECT_TRUE(UnregisterDeviceNotification(first));
    EXPECT_FALSE(UnregisterDeviceNotification(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    VksDeliverCustomDeviceEvent(kFileA1, &kEventGuid, nullptr, 0);
    ASSERT_EQ(SendMessageW(worker.hwnd(), kMsgPing, 1, 0), 2);
    EXPECT_EQ(Seen().size(), 3u);  // only the marker
    EXPECT_TRUE(UnregisterDeviceNotification(other));
}

TEST_F(WindowTest, CustomEventForADeviceReachesEachOfItsHandles) {
    LocalWindow window;
    HWND hwnd = window.hwnd;
    ASSERT_NE(hwnd, nullptr);
    HDEVNOTIFY a1 = RegisterFor(hwnd, kFileA1);
    HDEVNOTIFY a2 = RegisterFor(hwnd, kFileA2);
    HDEVNOTIFY b = RegisterFor(hwnd, kFileB);
    ASSERT_TRUE(a1 && a2 && b);

    const DWORD value = 0xA1B2C3D4;
    VksDeliverCustomDeviceEventToDevice(&g_deviceA, &kEventGuid, &value, sizeof(value));
    std::vector<Delivery> seen = Seen();  // same thread: already delivered
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(Record(seen[0]).dbch_handle, kFileA1);
    EXPECT_EQ(Record(seen[0]).dbch_hdevnotify, a1);
    EXPECT_EQ(Record(seen[1]).dbch_handle, kFileA2);
    EXPECT_EQ(Record(seen[1]).dbch_hdevnotify, a2);
    for (const Delivery& d : seen) {
        EXPECT_EQ(Record(d).dbch_size, offsetof(DEV_BROADCAST_HANDLE, dbch_data) + 4);
        DWORD got;
        std::memcpy(&got, d.record.data() + offsetof(DEV_BROADCAST_HANDLE, dbch_data), 4);
        EXPECT_EQ(got, value);
    }
    VksDeliverCustomDeviceEventToDevice(nullptr, &kEventGuid, nullptr, 0);
    EXPECT_EQ(Seen().size(), 2u);

    // A destroyed window receives nothing, and its registrations harm nothing.
    EXPECT_TRUE(DestroyWindow(hwnd));
    window.hwnd = nullptr;
    VksDeliverCustomDeviceEventToDevice(&g_deviceB, &kEventGuid, nullptr, 0);
    EXPECT_EQ(Seen().size(), 2u);
    EXPECT_TRUE(UnregisterDeviceNotification(a1));
    EXPECT_TRUE(UnregisterDeviceNotification(a2));
    EXPECT_TRUE(UnregisterDeviceNotification(b));
}

TEST_F(WindowTest, RegisterDeviceNotificationRejectsWhatItCannotServe) {
    LocalWindow window;
    const struct {
        HWND hwnd;
        DWORD deviceType;
        HANDLE file;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {reinterpret_cast<HWND>(0x1234), DBT_DEVTYP_HANDLE, kFileA1, DEVICE_NOTIFY_WINDOW_HANDLE, 1400},
        {window.hwnd, DBT_DEVTYP_HANDLE, kFileA1, DEVICE_NOTIFY_SERVICE_HANDLE, ERROR_NOT_SUPPORTED},
        {window.hwnd, DBT_DEVTYP_DEVICEINTERFACE, kFileA1, DEVICE_NOTIFY_WINDOW_HANDLE, ERROR_NOT_SUPPORTED},
        {window.hwnd, DBT_DEVTYP_HANDLE, nullptr, DEVICE_NOTIFY_WINDOW_HANDLE, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        DEV_BROADCAST_HANDLE f = Filter(c.file);
        f.dbch_devicetype = c.deviceType;
        SetLastError(0);
        EXPECT_EQ(RegisterDeviceNotificationW(c.hwnd, &f, c.flags), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

// A procedure may destroy its window again while WM_DESTROY runs: there is
// nothing left to do, and that is no failure.
TEST_F(WindowTest, DestroyingAgainFromWmDestroySucceeds) {
    BOOL again = FALSE;
    g_destroyAgain = &again;
    EXPECT_TRUE(DestroyWindow(Create()));
    g_destroyAgain = nullptr;
    EXPECT_TRUE(again);
}

TEST_F(WindowTest, ThreadsSendingToEachOtherDoNotDeadlock) {
    LocalWindow window;
    HWND local = window.hwnd;
    ASSERT_NE(local, nullptr);
    WindowThread worker;
    worker.Go();
    g_echoTarget = local;
    // The worker's procedure sends back to this thread's window while this
    // thread waits for the worker's answer.
    EXPECT_EQ(SendMessageW(worker.hwnd(), kMsgEcho, 21, 0), 142);
    std::vector<Delivery> seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].hwnd, local);
    EXPECT_EQ(seen[0].thread, GetCurrentThreadId());
}

// A thread that ends without pumping releases a sender waiting on it and
// frees the notifications still queued for it.
TEST_F(WindowTest, AnEndingThreadReleasesSendersAndFreesPendingNotifications) {
    WindowThread worker(false);  // ends without ever pumping
    HWND target = worker.hwnd();
    HDEVNOTIFY n = RegisterFor(target, kFileB);
    unsigned char big[4096] = {};
    VksDeliverCustomDeviceEvent(kFileB, &kEventGuid, big, sizeof(big));
    VksBroadcastDisplayChange(24, 640, 480);
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] { result = SendMessageW(target, kMsgPing, 5, 0); });
    worker.Join();
    sender.join();
    EXPECT_EQ(result.load(), 0);  // never handled
    EXPECT_FALSE(IsWindow(target));
    EXPECT_TRUE(Seen().empty());
    EXPECT_TRUE(UnregisterDeviceNotification(n));
}

TEST_F(WindowTest, PostedQueueHasTheWindowsQuota) {
    LocalWindow window;
    HWND hwnd = window.hwnd;
    int posted = 0;
    while (posted < 20000 && PostMessageW(hwnd, kMsgPing, posted, 0)) ++posted;
    EXPECT_EQ(posted, 10000);
    EXPECT_EQ(GetLastError(), 1816u);
    MSG msg;
    int drained = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        EXPECT_EQ(msg.wParam, static_cast<WPARAM>(drained));
        ++drained;
    }
    EXPECT_EQ(drained, 10000);
}

TEST_F(WindowTest, ConcurrentPostersKeepTheirOwnOrder) {
    WindowThread worker;
    worker.Go();
    constexpr int kPosters = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) PostMessageW(worker.hwnd(), kMsgPing, p * kEach + i, 0);
        });
    }
    for (auto& t : posters) t.join();
    ASSERT_EQ(SendMessageW(worker.hwnd(), kMsgPing, 1000000, 0), 2000000);  // sent: may overtake
    // A posted marker comes after every posted message above.
    ASSERT_TRUE(PostMessageW(worker.hwnd(), kMsgPing, 2000000, 0));
    ASSERT_TRUE(WaitSeen(kPosters * kEach + 2));
    std::vector<Delivery> seen = Seen();
    EXPECT_EQ(seen.back().wParam, 2000000u);
    int next[kPosters] = {};
    int count = 0;
    for (const Delivery& d : seen) {
        if (d.wParam >= 1000000) continue;
        const int p = static_cast<int>(d.wParam) / kEach;
        EXPECT_EQ(static_cast<int>(d.wParam) % kEach, next[p]);
        ++next[p];
        ++count;
    }
    EXPECT_EQ(count, kPosters * kEach);
}
