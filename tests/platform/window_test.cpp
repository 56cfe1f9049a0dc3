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
#include <tuple>
#include <vector>

namespace {

constexpr DWORD kWait = 10000;
constexpr UINT kMsgPing = WM_USER + 7;  // logged; returns wParam * 2

const GUID kEventGuid = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

// Test handles mapped onto fake device registrations by the definition of
// VksDeviceRegistrationOfHandle below.
HANDLE const kFileA1 = reinterpret_cast<HANDLE>(0x5A10);
HANDLE const kFileA2 = reinterpret_cast<HANDLE>(0x5A20);
HANDLE const kFileB = reinterpret_cast<HANDLE>(0x5B10);
int g_deviceA;
int g_deviceB;

// One delivery as a window procedure saw it: window, message, wParam,
// lParam, thread, and for WM_DEVICECHANGE a copy of its DEV_BROADCAST_HANDLE
// (and lParam 0).
using Bytes = std::vector<unsigned char>;
using Delivery = std::tuple<HWND, UINT, WPARAM, LPARAM, DWORD, Bytes>;

std::mutex g_mutex;
std::vector<Delivery> g_seen;
HANDLE g_seenEvent;  // auto-reset: set after each logged delivery

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_DISPLAYCHANGE && msg != WM_DEVICECHANGE && msg != kMsgPing) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    Bytes record;
    if (msg == WM_DEVICECHANGE) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(lParam);
        record.assign(bytes, bytes + reinterpret_cast<const DEV_BROADCAST_HANDLE*>(lParam)->dbch_size);
        lParam = 0;
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_seen.emplace_back(hwnd, msg, wParam, lParam, GetCurrentThreadId(), std::move(record));
    }
    SetEvent(g_seenEvent);
    return msg == kMsgPing ? static_cast<LRESULT>(wParam) * 2 : TRUE;
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

// A thread with a window: waits for Go(), then pumps messages until WM_QUIT
// (or, with pump false, ends at once without pumping).
struct WindowThread {
    explicit WindowThread(bool pumps = true) : pump(pumps) {
        thread = std::thread([this] {
            window = Create();
            id = GetCurrentThreadId();
            SetEvent(ready);
            WaitForSingleObject(go, kWait);
            MSG msg;
            while (pump && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        });
        EXPECT_EQ(WaitForSingleObject(ready, kWait), WAIT_OBJECT_0);
    }
    ~WindowThread() {
        Join();
        CloseHandle(ready);
        CloseHandle(go);
    }
    void Go() { SetEvent(go); }
    void Join() {
        if (!thread.joinable()) return;
        Go();
        if (pump) PostThreadMessageW(id, WM_QUIT, 0, 0);
        thread.join();
    }

    const bool pump;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD id = 0;
    std::thread thread;
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

HDEVNOTIFY RegisterFor(HWND hwnd, HANDLE file, DWORD type = DBT_DEVTYP_HANDLE, DWORD flags = DEVICE_NOTIFY_WINDOW_HANDLE) {
    DEV_BROADCAST_HANDLE f = {};
    f.dbch_size = sizeof(f);
    f.dbch_devicetype = type;
    f.dbch_handle = file;
    return RegisterDeviceNotificationW(hwnd, &f, flags);
}

// The record a registration gets: the header (size, type, handle,
// registration, event, no name), then the data.
Bytes Record(HANDLE file, HDEVNOTIFY notify, const void* data, size_t size) {
    constexpr size_t kHeader = offsetof(DEV_BROADCAST_HANDLE, dbch_data);
    Bytes bytes(kHeader + size);
    auto* r = reinterpret_cast<DEV_BROADCAST_HANDLE*>(bytes.data());
    r->dbch_size = static_cast<DWORD>(bytes.size());
    r->dbch_devicetype = DBT_DEVTYP_HANDLE;
    r->dbch_handle = file;
    r->dbch_hdevnotify = notify;
    r->dbch_eventguid = kEventGuid;
    r->dbch_nameoffset = -1;
    std::memcpy(bytes.data() + kHeader, data, size);
    return bytes;
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
// a busy thread, and its message, sent, overtakes the messages posted before it.
TEST_F(WindowTest, DisplayChangeReachesEveryTopLevelWindowOnItsThread) {
    WindowThread worker;  // not pumping until Go()
    LocalWindow local;
    LocalWindow messageOnlyWindow(HWND_MESSAGE);
    ASSERT_NE(local.hwnd, nullptr);
    ASSERT_NE(messageOnlyWindow.hwnd, nullptr);
    ASSERT_TRUE(PostMessageW(worker.window, kMsgPing, 1, 0));

    VksBroadcastDisplayChange(32, 1920, 1080);
    const Delivery display{local.hwnd, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080), GetCurrentThreadId(), {}};
    EXPECT_EQ(Seen(), std::vector<Delivery>{display});
    worker.Go();
    ASSERT_TRUE(WaitSeen(3));
    EXPECT_EQ(Seen(), (std::vector<Delivery>{
                          display,
                          {worker.window, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080), worker.id, {}},
                          {worker.window, kMsgPing, 1, 0, worker.id, {}}}));
}

TEST_F(WindowTest, CustomEventGoesToTheRegistrationsOfThatHandle) {
    WindowThread worker;  // blocked: the record must outlive the hook call
    HDEVNOTIFY first = RegisterFor(worker.window, kFileA1);
    HDEVNOTIFY other = RegisterFor(worker.window, kFileB);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(first, other);

    unsigned char data[5] = {9, 8, 7, 6, 5};
    VksDeliverCustomDeviceEvent(kFileA1, &kEventGuid, data, sizeof(data));
    const auto expected = Record(kFileA1, first, data, sizeof(data));
    std::memset(data, 0, sizeof(data));
    worker.Go();
    ASSERT_TRUE(WaitSeen(1));
    // A marker through the same queue: once it is seen, nothing else is pending.
    ASSERT_EQ(SendMessageW(worker.window, kMsgPing, 4, 0), 8);
    EXPECT_EQ(Seen(), (std::vector<Delivery>{{worker.window, WM_DEVICECHANGE, DBT_CUSTOMEVENT, 0, worker.id, expected},
                                             {worker.window, kMsgPing, 4, 0, worker.id, {}}}));

    // Unregistered: no more deliveries.
    EXPECT_TRUE(UnregisterDeviceNotification(first));
    EXPECT_FALSE(UnregisterDeviceNotification(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    VksDeliverCustomDeviceEvent(kFileA1, &kEventGuid, nullptr, 0);
    ASSERT_EQ(SendMessageW(worker.window, kMsgPing, 1, 0), 2);
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
    // Same thread: already delivered.
    auto custom = [&](HANDLE file, HDEVNOTIFY n) {
        return Delivery{hwnd, WM_DEVICECHANGE, DBT_CUSTOMEVENT, 0, GetCurrentThreadId(), Record(file, n, &value, 4)};
    };
    EXPECT_EQ(Seen(), (std::vector<Delivery>{custom(kFileA1, a1), custom(kFileA2, a2)}));
    VksDeliverCustomDeviceEventToDevice(nullptr, &kEventGuid, nullptr, 0);
    EXPECT_EQ(Seen().size(), 2u);

    // A destroyed window receives nothing, and its registrations harm nothing.
    EXPECT_TRUE(DestroyWindow(hwnd));
    window.hwnd = nullptr;
    VksDeliverCustomDeviceEventToDevice(&g_deviceB, &kEventGuid, nullptr, 0);
    EXPECT_EQ(Seen().size(), 2u);
    for (HDEVNOTIFY n : {a1, a2, b}) EXPECT_TRUE(UnregisterDeviceNotification(n));
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
        SetLastError(0);
        EXPECT_EQ(RegisterFor(c.hwnd, c.file, c.deviceType, c.flags), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

// A thread that ends without pumping releases a sender waiting on it and
// frees the notifications still queued for it.
TEST_F(WindowTest, AnEndingThreadReleasesSendersAndFreesPendingNotifications) {
    WindowThread worker(false);  // ends without ever pumping
    HWND target = worker.window;
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

// Windows (not Wine) limits a thread's posted messages to 10,000.
TEST_F(WindowTest, PostedQueueHasTheWindowsQuota) {
    LocalWindow window;
    HWND hwnd = window.hwnd;
    int posted = 0;
    while (posted < 20000 && PostMessageW(hwnd, kMsgPing, posted, 0)) ++posted;
    EXPECT_EQ(posted, 10000);
    EXPECT_EQ(GetLastError(), 1816u);
    MSG msg;
    int drained = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) EXPECT_EQ(msg.wParam, static_cast<WPARAM>(drained++));
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
            for (int i = 0; i < kEach; ++i) PostMessageW(worker.window, kMsgPing, p * kEach + i, 0);
        });
    }
    for (auto& t : posters) t.join();
    ASSERT_EQ(SendMessageW(worker.window, kMsgPing, 1000000, 0), 2000000);  // sent: may overtake
    // A posted marker comes after every posted message above.
    ASSERT_TRUE(PostMessageW(worker.window, kMsgPing, 2000000, 0));
    ASSERT_TRUE(WaitSeen(kPosters * kEach + 2));
    std::vector<Delivery> seen = Seen();
    EXPECT_EQ(std::get<2>(seen.back()), 2000000u);
    int next[kPosters] = {};
    int count = 0;
    for (const Delivery& d : seen) {
        const int w = static_cast<int>(std::get<2>(d));
        if (w >= 1000000) continue;
        EXPECT_EQ(w % kEach, next[w / kEach]++);
        ++count;
    }
    EXPECT_EQ(count, kPosters * kEach);
}
