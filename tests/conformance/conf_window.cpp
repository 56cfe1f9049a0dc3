// Window classes, windows and message queues: registration errors, creation
// and destruction, the order in which posted messages and WM_QUIT come out,
// cross-thread sends, thread messages, broadcasts, and the life of a hidden
// notification window run by its own thread and closed from another.
#include "conformance.h"

namespace {

const WCHAR* const kClass = WSTR("ConfWindowClass");
const WCHAR* const kNotifyClass = WSTR("NotificationWindowClass");

constexpr UINT kMsgA = WM_USER + 1;
constexpr UINT kMsgSend = WM_USER + 20;
constexpr UINT kMsgEcho = WM_USER + 21;  // sends kMsgSend to g_echoTarget, adds 100 to its result
constexpr UINT kMsgPrivate = WM_APP + 0x123;
UINT g_msgBroadcast = 0;  // registered: only such messages are broadcast

using namespace conformance;

// What window procedures saw, for the checks. Guarded by g_logLock.
struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    DWORD thread;
};
CRITICAL_SECTION g_logLock;
Seen g_log[256];
int g_logCount = 0;
LPVOID g_createParams = nullptr;  // lpCreateParams seen with WM_CREATE
HWND g_echoTarget = nullptr;
BOOL* g_destroyAgain = nullptr;  // when set: WM_DESTROY destroys the window again, the result here

void Log(HWND hwnd, UINT msg, WPARAM wParam) {
    EnterCriticalSection(&g_logLock);
    if (g_logCount < 256) g_log[g_logCount++] = Seen{hwnd, msg, wParam, GetCurrentThreadId()};
    LeaveCriticalSection(&g_logLock);
}

void ClearLog() {
    EnterCriticalSection(&g_logLock);
    g_logCount = 0;
    LeaveCriticalSection(&g_logLock);
}

// Index of the first entry for (hwnd, msg), or -1.
int Find(HWND hwnd, UINT msg) {
    EnterCriticalSection(&g_logLock);
    int found = -1;
    for (int i = 0; i < g_logCount && found < 0; ++i) {
        if (g_log[i].hwnd == hwnd && g_log[i].msg == msg) found = i;
    }
    LeaveCriticalSection(&g_logLock);
    return found;
}

// The entry at i; all zero for i < 0 (nothing found).
Seen At(int i) {
    Seen s = {};
    EnterCriticalSection(&g_logLock);
    if (i >= 0) s = g_log[i];
    LeaveCriticalSection(&g_logLock);
    return s;
}

// Logs the messages the tests use and leaves the rest to DefWindowProcW.
LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY && g_destroyAgain) *g_destroyAgain = DestroyWindow(hwnd);
    if (msg == kMsgEcho) return 100 + SendMessageW(g_echoTarget, kMsgSend, wParam, 0);
    if (msg == WM_CREATE) g_createParams = reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams;
    if (msg == WM_CREATE || msg == WM_DESTROY || msg == WM_CLOSE || msg == kMsgPrivate || msg == kMsgSend ||
        (msg >= kMsgA && msg < kMsgA + 16) || (g_msgBroadcast && msg == g_msgBroadcast)) {
        Log(hwnd, msg, wParam);
    }
    if (msg == kMsgSend) return static_cast<LRESULT>(wParam * 1000 + lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The notification thread's procedure: WM_CLOSE destroys the window (the
// default), WM_DESTROY ends the loop.
LRESULT CALLBACK NotifyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE || msg == WM_DESTROY) Log(hwnd, msg, wParam);
    if (msg != WM_DESTROY) return DefWindowProcW(hwnd, msg, wParam, lParam);
    PostQuitMessage(42);
    return 0;
}

ATOM Register(const WCHAR* name, WNDPROC proc, UINT size = sizeof(WNDCLASSEXW)) {
    WNDCLASSEXW wc = {};
    wc.cbSize = size;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc);
}

HWND Create(const WCHAR* cls, HWND parent = nullptr, LPVOID param = nullptr) {
    return CreateWindowExW(0, cls, WSTR(""), 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent,
                           nullptr, GetModuleHandleW(nullptr), param);
}

void ClassRegistration() {
    CHECK(Register(kClass, TestProc) != 0);

    CHECK_ERR(Register(WSTR("confwindowCLASS"), TestProc) == 0, 1410u);  // names ignore case

    CHECK_ERR(Register(WSTR("ConfWindowBadSize"), TestProc, sizeof(WNDCLASSEXW) - 4) == 0, ERROR_INVALID_PARAMETER);

    CHECK_ERR(!UnregisterClassW(WSTR("ConfWindowNoSuchClass"), GetModuleHandleW(nullptr)), 1411u);

    SetLastError(0);
    CHECK(Create(WSTR("ConfWindowNoSuchClass")) == nullptr);
    CHECK_EQ(GetLastError(), OnWine() ? 1411u : 1407u);

    // Registered messages: one number per name, whatever the case.
    g_msgBroadcast = RegisterWindowMessageW(WSTR("ConfWindowBroadcast"));
    CHECK(g_msgBroadcast >= 0xC000u && g_msgBroadcast <= 0xFFFFu);
    CHECK_EQ(RegisterWindowMessageW(WSTR("CONFWINDOWBROADCAST")), g_msgBroadcast);
    CHECK(RegisterWindowMessageW(WSTR("ConfWindowOther")) != g_msgBroadcast);

    // Register, unregister, register again.
    CHECK(Register(WSTR("ConfWindowTransient"), TestProc) != 0);
    CHECK(UnregisterClassW(WSTR("CONFWINDOWTRANSIENT"), GetModuleHandleW(nullptr)));
    CHECK(Register(WSTR("ConfWindowTransient"), TestProc) != 0);
    CHECK(UnregisterClassW(WSTR("ConfWindowTransient"), GetModuleHandleW(nullptr)));
}

void CreateAndDestroy() {
    ClearLog();
    int param = 0;
    HWND hwnd = Create(WSTR("CONFWINDOWCLASS"), nullptr, &param);  // the class found whatever the case
    CHECK(hwnd != nullptr && IsWindow(hwnd));
    CHECK(Find(hwnd, WM_CREATE) >= 0 && g_createParams == &param);
    DWORD pid = 0;
    CHECK_EQ(GetWindowThreadProcessId(hwnd, &pid), GetCurrentThreadId());
    CHECK_EQ(pid, GetCurrentProcessId());

    CHECK_ERR(!UnregisterClassW(kClass, GetModuleHandleW(nullptr)), 1412u);

    // Same thread: SendMessageW calls the procedure directly.
    CHECK_EQ(SendMessageW(hwnd, kMsgSend, 3, 4), 3004);

    // A message pointing at a record cannot be posted.
    DEV_BROADCAST_HANDLE record = {};
    CHECK_ERR(!PostMessageW(hwnd, WM_DEVICECHANGE, DBT_CUSTOMEVENT, reinterpret_cast<LPARAM>(&record)), 1159u);

    // Posted but never retrieved: the messages go with the window.
    CHECK(PostMessageW(hwnd, kMsgA, 1, 0));
    CHECK(DestroyWindow(hwnd));
    CHECK(Find(hwnd, WM_DESTROY) >= 0);  // sent before DestroyWindow returned
    CHECK(!IsWindow(hwnd));
    MSG msg;
    CHECK(!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    CHECK_ERR(!PostMessageW(hwnd, kMsgA, 0, 0), 1400u);
    SetLastError(0);
    CHECK(!DestroyWindow(hwnd));
    CHECK_EQ(GetLastError(), OnWine() ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : 1400u);
    CHECK_ERR(SendMessageW(hwnd, kMsgSend, 1, 1) == 0, 1400u);
    CHECK_ERR(GetWindowThreadProcessId(hwnd, nullptr) == 0u, 1400u);

    // A procedure may destroy its window again while WM_DESTROY runs:
    // there is nothing left to do, and that is no failure.
    BOOL again = FALSE;
    g_destroyAgain = &again;
    CHECK(DestroyWindow(Create(kClass)));
    g_destroyAgain = nullptr;
    CHECK(again);
}

void PostedOrderAndQuit() {
    ClearLog();
    HWND hwnd = Create(kClass);
    CHECK(hwnd != nullptr);
    for (WPARAM i = 0; i < 5; ++i) CHECK(PostMessageW(hwnd, kMsgA + static_cast<UINT>(i), i, 0));
    CHECK(PostThreadMessageW(GetCurrentThreadId(), kMsgA + 5, 5, 0));
    PostQuitMessage(7);
    // Posted after the quit request, still retrieved before WM_QUIT.
    CHECK(PostMessageW(hwnd, kMsgA + 6, 6, 0));

    MSG msg;
    CHECK(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message == kMsgA && msg.hwnd == hwnd);

    UINT order[8];
    int n = 0;
    BOOL r;
    while ((r = GetMessageW(&msg, nullptr, 0, 0)) > 0 && n < 8) {
        order[n++] = msg.message;
        if (msg.message == kMsgA + 5) CHECK(msg.hwnd == nullptr);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CHECK(r == 0 && msg.message == WM_QUIT && msg.wParam == 7);
    CHECK_EQ(n, 7);
    for (int i = 0; i < n; ++i) CHECK_EQ(order[i], kMsgA + static_cast<UINT>(i));
    // Dispatched to the window procedure in the same order (thread message excepted).
    int last = -1;
    for (UINT i = 0; i < 7; ++i) {
        if (i == 5) continue;
        const int at = Find(hwnd, kMsgA + i);
        CHECK(at > last);
        last = at;
    }
    CHECK(!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // the quit request is used up

    // A message range leaves other messages queued.
    CHECK(PostMessageW(hwnd, kMsgA + 1, 0, 0));
    CHECK(PostMessageW(hwnd, kMsgA + 2, 0, 0));
    CHECK(PeekMessageW(&msg, nullptr, kMsgA + 2, kMsgA + 2, PM_REMOVE) && msg.message == kMsgA + 2);
    CHECK(PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE) && msg.message == kMsgA + 1);
    CHECK(!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // WM_CLOSE through DefWindowProcW destroys the window.
    CHECK(PostMessageW(hwnd, WM_CLOSE, 0, 0));
    CHECK(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    DispatchMessageW(&msg);
    CHECK(!IsWindow(hwnd));
    CHECK(Find(hwnd, WM_DESTROY) > Find(hwnd, WM_CLOSE));
}

void Broadcast() {
    ClearLog();
    HWND a = Create(kClass);
    HWND b = Create(kClass);
    HWND hidden = Create(kClass, HWND_MESSAGE);
    CHECK(a && b && hidden);
    // A message private to a class is not broadcast; a registered one is.
    CHECK(PostMessageW(HWND_BROADCAST, kMsgPrivate, 8, 0));
    CHECK(PostMessageW(HWND_BROADCAST, g_msgBroadcast, 9, 0));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == g_msgBroadcast) CHECK(msg.hwnd != nullptr);  // addressed to each window
        DispatchMessageW(&msg);
    }
    CHECK(Find(a, kMsgPrivate) == -1 && Find(b, kMsgPrivate) == -1);
    CHECK_EQ(At(Find(a, g_msgBroadcast)).wParam, 9u);
    CHECK_EQ(At(Find(b, g_msgBroadcast)).wParam, 9u);
    CHECK_EQ(Find(hidden, g_msgBroadcast), -1);  // message-only windows are not top-level
    CHECK(DestroyWindow(a));
    CHECK(DestroyWindow(b));
    CHECK(DestroyWindow(hidden));
}

// --- Threads ------------------------------------------------------------------------------

// A worker thread; `ready` is set once its window (or queue) exists.
struct Worker {
    bool ownClass;  // the worker registers (and at the end unregisters) its window's class
    HANDLE ready = NewEvent(true, false);
    HWND hwnd = nullptr;
    DWORD thread = 0;
    BOOL lastGet = -1;
    WPARAM quitCode = 0;
    BOOL unregistered = FALSE;
    int loops = 0;
    UINT threadMessage = 0;
    ~Worker() { CloseHandle(ready); }
};

// A window on a worker thread that pumps messages until WM_QUIT, started and
// waited for until ready. With ownClass it is the library's notification
// thread, step by step.
HANDLE StartPump(Worker& w) {
    HANDLE thread = Start([&w] {
        if (!w.ownClass || Register(kNotifyClass, NotifyProc)) w.hwnd = Create(w.ownClass ? kNotifyClass : kClass);
        w.thread = GetCurrentThreadId();
        SetEvent(w.ready);
        MSG msg;
        while ((w.lastGet = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
            ++w.loops;
            if (!msg.hwnd && !w.threadMessage) w.threadMessage = msg.message;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        w.quitCode = msg.wParam;
        if (w.ownClass) w.unregistered = UnregisterClassW(kNotifyClass, GetModuleHandleW(nullptr));
        return 0;
    });
    CHECK_DW(WaitForSingleObject(w.ready, 10000), WAIT_OBJECT_0);
    return thread;
}

void NotificationWindowClosedFromAnotherThread() {
    ClearLog();
    Worker w{true};
    HANDLE thread = StartPump(w);
    CHECK(w.hwnd != nullptr && IsWindow(w.hwnd));
    CHECK_EQ(GetWindowThreadProcessId(w.hwnd, nullptr), w.thread);

    // Only the owner may destroy it.
    CHECK_ERR(!DestroyWindow(w.hwnd), ERROR_ACCESS_DENIED);

    CHECK(PostMessageW(w.hwnd, WM_CLOSE, 0, 0));
    Join(thread);
    CHECK(w.lastGet == 0 && w.quitCode == 42u);  // WM_QUIT with PostQuitMessage's code
    CHECK(w.unregistered);
    CHECK_EQ(w.loops, 1);  // WM_CLOSE; WM_DESTROY is sent, not posted
    const int close = Find(w.hwnd, WM_CLOSE);
    CHECK(Find(w.hwnd, WM_DESTROY) > close);
    CHECK_EQ(At(close).thread, w.thread);
    CHECK_EQ(At(Find(w.hwnd, WM_DESTROY)).thread, w.thread);
    CHECK(!IsWindow(w.hwnd));
    CHECK_ERR(!PostMessageW(w.hwnd, WM_CLOSE, 0, 0), 1400u);
}

void SendAcrossThreads() {
    ClearLog();
    Worker w{false};
    HANDLE thread = StartPump(w);
    CHECK(w.hwnd != nullptr);

    CHECK_EQ(SendMessageW(w.hwnd, kMsgSend, 12, 34), 12034);
    CHECK_EQ(At(Find(w.hwnd, kMsgSend)).thread, w.thread);  // run by the window's thread
    // The worker's procedure sends back to this thread's window while this
    // thread waits for the worker's answer: no deadlock.
    g_echoTarget = Create(kClass);
    CHECK_EQ(SendMessageW(w.hwnd, kMsgEcho, 21, 0), 21100);
    CHECK_EQ(At(Find(g_echoTarget, kMsgSend)).thread, GetCurrentThreadId());
    CHECK(DestroyWindow(g_echoTarget));

    // A thread message, then WM_QUIT by PostThreadMessageW.
    CHECK(PostThreadMessageW(w.thread, kMsgA + 3, 0, 0));
    CHECK(PostThreadMessageW(w.thread, WM_QUIT, 5, 0));
    CHECK_EQ(WaitForSingleObject(thread, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    CHECK(w.lastGet == 0 && w.quitCode == 5u);
    CHECK_EQ(w.threadMessage, kMsgA + 3);

    // The thread is gone (its handle still open), and so are its window and its queue.
    CHECK(!IsWindow(w.hwnd));
    CHECK_ERR(!PostThreadMessageW(w.thread, kMsgA, 0, 0), 1444u);
    Join(thread);
}

// A thread that waits with no message queue (it has not called the window
// manager yet), then creates a window and ends without destroying it.
void ThreadWithoutQueueAndThreadEnd() {
    CHECK(Register(WSTR("ConfWindowAbandoned"), TestProc) != 0);
    HANDLE ready = NewEvent(true, false), go = NewEvent(true, false);
    HWND hwnd = nullptr;
    DWORD thread = 0;
    HANDLE t = Start([&] {
        SetEvent(ready);
        WaitForSingleObject(go, 10000);
        hwnd = Create(WSTR("ConfWindowAbandoned"));
        return 0;
    }, 0, &thread);
    CHECK_DW(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
    CHECK_ERR(!PostThreadMessageW(thread, kMsgA, 0, 0), 1444u);
    SetEvent(go);
    Join(t);
    CHECK(hwnd != nullptr && !IsWindow(hwnd));  // the thread's end destroyed its window
    CHECK(UnregisterClassW(WSTR("ConfWindowAbandoned"), GetModuleHandleW(nullptr)));
    CloseAll({ready, go});
}

}  // namespace

int main() {
    InitializeCriticalSection(&g_logLock);
    ClassRegistration();
    CreateAndDestroy();
    PostedOrderAndQuit();
    Broadcast();
    NotificationWindowClosedFromAnotherThread();
    SendAcrossThreads();
    ThreadWithoutQueueAndThreadEnd();
    CHECK(UnregisterClassW(kClass, GetModuleHandleW(nullptr)));
    DeleteCriticalSection(&g_logLock);
    return conformance::Finish("conf_window");
}
