// Window classes, windows and message queues.
//
// Each thread that uses the window manager gets a queue on first use (as
// Windows gives a thread its queue on its first window call): posted
// messages in arrival order, sent messages from other threads, and the quit
// flag that PostQuitMessage sets. Retrieval follows Windows: sent messages
// are handled first (their procedure called from inside GetMessageW /
// PeekMessageW, never returned to the loop), then the oldest matching posted
// message, then WM_QUIT once no matching posted message is left.
//
// A window belongs to the thread that created it; its messages go through
// that thread's queue. SendMessageW to another thread's window queues the
// message there and waits for the result, handling messages sent to the
// waiting thread meanwhile, so two threads sending to each other do not
// deadlock.
//
// When a thread ends, its windows are destroyed (without calling their
// procedures, as Windows does for a thread that is gone), threads waiting in
// SendMessageW for it get 0, and its queue is freed.
//
// One lock (WindowLock) guards all of it; it is released around every call
// of a window procedure.
#include "window_internal.h"

#include "vks_win32/module.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>

namespace vks::window {

namespace {

// Windows refuses to queue more than this many posted messages per thread.
constexpr size_t kPostedQuota = 10000;

struct Queue;

struct SentMessage {
    SentMessage(HWND h, UINT m, WPARAM w, LPARAM l, Queue* from)
        : hwnd(h), msg(m), wParam(w), lParam(l), sender(from) {}
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    Queue* sender;  // waits for the result; null when nobody waits
    bool done = false;
    LRESULT result = 0;
    Payload payload;  // what lParam points at, for a message nobody waits for
};

struct Queue {
    explicit Queue(DWORD id) : threadId(id) {}
    const DWORD threadId;
    std::deque<MSG> posted;
    std::deque<SentMessage*> sent;
    bool quit = false;
    int quitCode = 0;
    // Only the owning thread waits here: for a message, or for the result of
    // its own SendMessageW.
    std::condition_variable wake;
};

struct WindowClass {
    std::u16string name;
    ATOM atom;
    HINSTANCE instance;
    UINT style;
    WNDPROC proc;
    long windows = 0;
};

struct Window {
    HWND hwnd;
    WindowClass* cls;  // valid while the window is in the table
    WNDPROC proc;
    Queue* owner;
    DWORD threadId;
    bool broadcast;    // reached by HWND_BROADCAST
    bool destroying = false;
    uint64_t order;
};

struct State {
    // Class names and registered messages share one table of string atoms,
    // 0xC000 upwards; an atom is never given back.
    std::vector<std::u16string> atoms;
    std::unordered_map<DWORD, Queue*> queues;
    std::unordered_map<HWND, std::shared_ptr<Window>> windows;
    std::vector<std::unique_ptr<WindowClass>> classes;
    uint64_t nextHandle = 0x20024;
    uint64_t nextOrder = 0;
};

std::mutex g_lock;  // constant-initialised; outlives every thread's teardown

State& S() {
    static State* state = new State;  // never destroyed: threads may still end after exit begins
    return *state;
}

thread_local Queue* t_queue = nullptr;
pthread_key_t g_queueKey;
pthread_once_t g_queueKeyOnce = PTHREAD_ONCE_INIT;

char16_t Fold(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

bool SameName(const std::u16string& a, LPCWSTR b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (!b[i] || Fold(a[i]) != Fold(b[i])) return false;
    }
    return b[i] == 0;
}

// The atom of a name, added if new; 0 when the table is full.
ATOM AtomLocked(LPCWSTR name) {
    auto& atoms = S().atoms;
    for (size_t i = 0; i < atoms.size(); ++i) {
        if (SameName(atoms[i], name)) return static_cast<ATOM>(0xC000 + i);
    }
    if (atoms.size() >= 0x4000) return 0;
    atoms.emplace_back(name);
    return static_cast<ATOM>(0xC000 + atoms.size() - 1);
}

// Messages private to a window class mean nothing to other classes' windows:
// a broadcast of one reaches no window.
bool Broadcastable(UINT msg) { return msg < WM_USER || msg >= 0xC000; }

HINSTANCE NormalizeInstance(HINSTANCE instance) {
    return instance ? instance : reinterpret_cast<HINSTANCE>(GetModuleHandleW(nullptr));
}

bool NameMatches(const WindowClass& c, LPCWSTR nameOrAtom) {
    if (IS_INTRESOURCE(nameOrAtom)) return c.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom));
    return SameName(c.name, nameOrAtom);
}

// The class a window of `instance` is created from: the module's own class
// of that name first, then a global one.
WindowClass* FindClassLocked(LPCWSTR nameOrAtom, HINSTANCE instance, bool allowGlobal) {
    WindowClass* global = nullptr;
    for (auto& c : S().classes) {
        if (!NameMatches(*c, nameOrAtom)) continue;
        if (c->instance == instance) return c.get();
        if (allowGlobal && (c->style & CS_GLOBALCLASS) && !global) global = c.get();
    }
    return global;
}

std::shared_ptr<Window> FindLocked(HWND hwnd) {
    auto& windows = S().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second;
}

MSG MakeMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

bool PostLocked(Queue* q, const MSG& m) {
    if (q->posted.size() >= kPostedQuota) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    q->posted.push_back(m);
    q->wake.notify_all();
    return true;
}

// Messages whose parameters point into the sender's memory cannot be posted:
// the sender would not know when the pointer may be released.
bool SyncOnly(UINT msg, WPARAM wParam) {
    switch (msg) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_SETTEXT:
    case WM_GETTEXT:
        return true;
    case WM_DEVICECHANGE:
        return (wParam & 0x8000) != 0;  // the DBT_ events that carry a record
    default:
        return false;
    }
}

bool MatchesFilter(const MSG& m, HWND filter, UINT first, UINT last) {
    if (filter == reinterpret_cast<HWND>(-1)) {
        if (m.hwnd) return false;
    } else if (filter && m.hwnd != filter) {
        return false;
    }
    if (first == 0 && last == 0) return true;
    if (first <= last) return m.message >= first && m.message <= last;
    return m.message >= first || m.message <= last;
}

// A window filter of GetMessageW/PeekMessageW is null, -1 (thread messages
// only) or a live window.
bool FilterValidLocked(HWND filter) {
    return !filter || filter == reinterpret_cast<HWND>(-1) || S().windows.count(filter) != 0;
}

// Frees a thread's queue when the thread ends.
void QueueEnded(void* p) {
    auto* q = static_cast<Queue*>(p);
    std::vector<std::shared_ptr<Window>> gone;
    std::vector<SentMessage*> unanswered;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        State& s = S();
        s.queues.erase(q->threadId);
        for (auto it = s.windows.begin(); it != s.windows.end();) {
            if (it->second->owner == q) {
                --it->second->cls->windows;
                gone.push_back(std::move(it->second));
                it = s.windows.erase(it);
            } else {
                ++it;
            }
        }
        for (SentMessage* sm : q->sent) {
            if (sm->sender) {
                sm->done = true;
                sm->result = 0;
                sm->sender->wake.notify_all();
            } else {
                unanswered.push_back(sm);
            }
        }
        q->sent.clear();
    }
    for (SentMessage* sm : unanswered) delete sm;
    if (t_queue == q) t_queue = nullptr;
    delete q;
}

void CreateQueueKey() { pthread_key_create(&g_queueKey, QueueEnded); }

// Ends the queue with the thread's thread_local objects, which is before the
// kernel marks the thread as ended: whoever waits for the thread finds its
// windows gone, as on Windows. A queue made later still (by another
// library's thread-exit code) is ended by the key destructor.
struct QueueOwner {
    ~QueueOwner() {
        if (Queue* q = t_queue) {
            pthread_setspecific(g_queueKey, nullptr);
            QueueEnded(q);
        }
    }
};

Queue* CurrentQueue() {
    if (Queue* q = t_queue) return q;
    const DWORD id = GetCurrentThreadId();
    pthread_once(&g_queueKeyOnce, CreateQueueKey);
    static thread_local QueueOwner owner;
    (void)owner;
    auto* q = new Queue(id);
    {
        std::lock_guard<std::mutex> lock(g_lock);
        S().queues[id] = q;
    }
    pthread_setspecific(g_queueKey, q);
    t_queue = q;
    return q;
}

// Handles the oldest message sent to `q` by another thread, if any: calls
// the procedure with the lock released and answers the sender. The lock is
// held on entry and on return.
bool HandleSentLocked(std::unique_lock<std::mutex>& lock, Queue* q) {
    if (q->sent.empty()) return false;
    SentMessage* sm = q->sent.front();
    q->sent.pop_front();
    std::shared_ptr<Window> w = FindLocked(sm->hwnd);
    WNDPROC proc = (w && w->owner == q) ? w->proc : nullptr;
    Queue* const sender = sm->sender;
    lock.unlock();
    const LRESULT result = proc ? proc(sm->hwnd, sm->msg, sm->wParam, sm->lParam) : 0;
    w.reset();
    if (!sender) delete sm;  // ours, with its payload
    lock.lock();
    if (sender) {
        sm->result = result;
        sm->done = true;  // the sender's record: not touched after this
        sender->wake.notify_all();
    }
    return true;
}

// Takes the next posted message matching the filter, or WM_QUIT when the
// quit flag is set and none is left.
bool TakeLocked(Queue* q, MSG* out, HWND filter, UINT first, UINT last, bool remove) {
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
        if (!MatchesFilter(*it, filter, first, last)) continue;
        *out = *it;
        if (remove) q->posted.erase(it);
        return true;
    }
    if (q->quit) {
        *out = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(q->quitCode), 0);
        if (remove) q->quit = false;
        return true;
    }
    return false;
}

// Removes a window from the table once its procedure has seen the last of
// it; messages still posted to it go with it.
void RemoveWindowLocked(const std::shared_ptr<Window>& w) {
    State& s = S();
    if (!s.windows.erase(w->hwnd)) return;
    --w->cls->windows;
    w->cls = nullptr;
    auto& posted = w->owner->posted;
    for (auto it = posted.begin(); it != posted.end();) {
        if (it->hwnd == w->hwnd)
            it = posted.erase(it);
        else
            ++it;
    }
}

}  // namespace

std::mutex& WindowLock() noexcept { return g_lock; }

bool IsWindowLocked(HWND hwnd) noexcept { return S().windows.count(hwnd) != 0; }

void BroadcastTargets(std::vector<HWND>& out) {
    std::vector<std::pair<uint64_t, HWND>> found;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        for (auto& [hwnd, w] : S().windows) {
            if (w->broadcast) found.emplace_back(w->order, hwnd);
        }
    }
    std::sort(found.begin(), found.end());
    out.clear();
    for (auto& f : found) out.push_back(f.second);
}

bool SendNotify(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) noexcept {
    const DWORD self = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(g_lock);
    std::shared_ptr<Window> w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (payload.bytes) lParam = reinterpret_cast<LPARAM>(payload.bytes.get());
    if (w->threadId == self) {
        WNDPROC proc = w->proc;
        lock.unlock();
        proc(hwnd, msg, wParam, lParam);
        return true;
    }
    auto* sm = new SentMessage(hwnd, msg, wParam, lParam, nullptr);
    sm->payload = std::move(payload);
    w->owner->sent.push_back(sm);
    w->owner->wake.notify_all();
    return true;
}

}  // namespace vks::window

using namespace vks::window;

extern "C" {

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx) {
    if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXW) || !lpwcx->lpfnWndProc || !lpwcx->lpszClassName ||
        IS_INTRESOURCE(lpwcx->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const HINSTANCE instance = NormalizeInstance(lpwcx->hInstance);
    std::lock_guard<std::mutex> lock(g_lock);
    State& s = S();
    for (auto& c : s.classes) {
        if (!SameName(c->name, lpwcx->lpszClassName)) continue;
        // A module's classes must differ by name, and a global class claims
        // its name for every module.
        if (c->instance == instance || (c->style & CS_GLOBALCLASS) || (lpwcx->style & CS_GLOBALCLASS)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    const ATOM atom = AtomLocked(lpwcx->lpszClassName);
    if (!atom) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = lpwcx->lpszClassName;
    c->atom = atom;
    c->instance = instance;
    c->style = lpwcx->style;
    c->proc = lpwcx->lpfnWndProc;
    s.classes.push_back(std::move(c));
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
    if (!lpClassName) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const HINSTANCE instance = NormalizeInstance(hInstance);
    std::lock_guard<std::mutex> lock(g_lock);
    auto& classes = S().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (!NameMatches(**it, lpClassName) || (*it)->instance != instance) continue;
        if ((*it)->windows > 0) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
        classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    if (!lpClassName) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Queue* q = CurrentQueue();
    const HINSTANCE instance = NormalizeInstance(hInstance);
    const bool messageOnly = hWndParent == HWND_MESSAGE;
    std::shared_ptr<Window> w;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        State& s = S();
        if (hWndParent && !messageOnly && !s.windows.count(hWndParent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        WindowClass* cls = FindClassLocked(lpClassName, instance, true);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        w = std::make_shared<Window>();
        w->hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(s.nextHandle));
        s.nextHandle += 4;
        w->cls = cls;
        w->proc = cls->proc;
        w->owner = q;
        w->threadId = q->threadId;
        // Child windows and message-only windows are not top-level windows.
        w->broadcast = !messageOnly && !(hWndParent && (dwStyle & WS_CHILD));
        w->order = s.nextOrder++;
        ++cls->windows;
        s.windows.emplace(w->hwnd, w);
    }
    const HWND hwnd = w->hwnd;
    CREATESTRUCTW cs{};
    cs.lpCreateParams = lpParam;
    cs.hInstance = hInstance;
    cs.hMenu = hMenu;
    cs.hwndParent = hWndParent;
    cs.cy = nHeight;
    cs.cx = nWidth;
    cs.y = Y;
    cs.x = X;
    cs.style = static_cast<LONG>(dwStyle);
    cs.lpszName = lpWindowName;
    cs.lpszClass = lpClassName;
    cs.dwExStyle = dwExStyle;
    if (!w->proc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        w->proc(hwnd, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> lock(g_lock);
        RemoveWindowLocked(w);
        return nullptr;
    }
    if (w->proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    const DWORD self = GetCurrentThreadId();
    std::shared_ptr<Window> w;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        w = FindLocked(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->threadId != self) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        // Already on its way out (DestroyWindow from its own WM_DESTROY).
        if (w->destroying) return TRUE;
        w->destroying = true;
    }
    // The window stays valid while its procedure sees the last messages.
    w->proc(hWnd, WM_DESTROY, 0, 0);
    w->proc(hWnd, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::mutex> lock(g_lock);
    RemoveWindowLocked(w);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    std::lock_guard<std::mutex> lock(g_lock);
    return IsWindowLocked(hWnd) ? TRUE : FALSE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    DWORD thread;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        std::shared_ptr<Window> w = FindLocked(hWnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        thread = w->threadId;
    }
    if (lpdwProcessId) *lpdwProcessId = GetCurrentProcessId();
    return thread;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    Queue* q = CurrentQueue();
    std::unique_lock<std::mutex> lock(g_lock);
    if (!FilterValidLocked(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    for (;;) {
        if (HandleSentLocked(lock, q)) continue;
        // WM_QUIT is retrieved whatever the message range.
        if (TakeLocked(q, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message != WM_QUIT;
        q->wake.wait(lock);
    }
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    Queue* q = CurrentQueue();
    std::unique_lock<std::mutex> lock(g_lock);
    if (!FilterValidLocked(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    while (HandleSentLocked(lock, q)) {
    }
    return TakeLocked(q, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    // No keyboard here: nothing is ever translated. The result is that of
    // Windows, which reports the key messages as translated.
    if (!lpMsg) return FALSE;
    switch (lpMsg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (!lpMsg || !lpMsg->hwnd) return 0;  // thread messages have no procedure
    const DWORD self = GetCurrentThreadId();
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        std::shared_ptr<Window> w = FindLocked(lpMsg->hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->threadId != self) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return 0;
        }
        proc = w->proc;
    }
    return proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (SyncOnly(Msg, wParam)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    // No window: a thread message to the calling thread.
    Queue* self = hWnd ? nullptr : CurrentQueue();
    const MSG m = MakeMsg(hWnd, Msg, wParam, lParam);
    std::lock_guard<std::mutex> lock(g_lock);
    if (self) return PostLocked(self, m) ? TRUE : FALSE;
    if (hWnd == HWND_BROADCAST) {
        if (!Broadcastable(Msg)) return TRUE;
        // Each window gets its own copy, addressed to it; a full queue is
        // skipped, as Windows skips it.
        std::vector<std::pair<uint64_t, Window*>> targets;
        for (auto& [hwnd, w] : S().windows) {
            if (w->broadcast) targets.emplace_back(w->order, w.get());
        }
        std::sort(targets.begin(), targets.end());
        for (auto& t : targets) {
            MSG copy = m;
            copy.hwnd = t.second->hwnd;
            PostLocked(t.second->owner, copy);
        }
        return TRUE;
    }
    std::shared_ptr<Window> w = FindLocked(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return PostLocked(w->owner, m) ? TRUE : FALSE;
}

BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (SyncOnly(Msg, wParam)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    const MSG m = MakeMsg(nullptr, Msg, wParam, lParam);
    std::lock_guard<std::mutex> lock(g_lock);
    auto& queues = S().queues;
    auto it = queues.find(idThread);
    if (it == queues.end()) {
        // The thread has never used the window manager (or has ended).
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return PostLocked(it->second, m) ? TRUE : FALSE;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == HWND_BROADCAST) {
        if (!Broadcastable(Msg)) return 0;
        std::vector<HWND> targets;
        BroadcastTargets(targets);
        for (HWND target : targets) SendMessageW(target, Msg, wParam, lParam);
        return 0;
    }
    const DWORD selfId = GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(g_lock);
    std::shared_ptr<Window> w = FindLocked(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->threadId == selfId) {
        WNDPROC proc = w->proc;
        lock.unlock();
        return proc(hWnd, Msg, wParam, lParam);
    }
    lock.unlock();
    Queue* self = CurrentQueue();  // where the answer, and messages sent to us meanwhile, arrive
    lock.lock();
    w = FindLocked(hWnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    SentMessage sm(hWnd, Msg, wParam, lParam, self);
    w->owner->sent.push_back(&sm);
    w->owner->wake.notify_all();
    w.reset();
    while (!sm.done) {
        if (HandleSentLocked(lock, self)) continue;
        self->wake.wait(lock);
    }
    return sm.result;
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString) {
    if (!lpString || !*lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    const ATOM atom = AtomLocked(lpString);
    if (!atom) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return atom;
}

void WINAPI PostQuitMessage(int nExitCode) {
    Queue* q = CurrentQueue();
    std::lock_guard<std::mutex> lock(g_lock);
    q->quit = true;
    q->quitCode = nExitCode;
    q->wake.notify_all();
}

}  // extern "C"
