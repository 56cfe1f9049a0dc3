#include "objects/open_handle_list.h"

#include "core/engine.h"
#include "core/log.h"

#include <cstdlib>

namespace {

struct ListNode {
    DWORD handle;
    ListNode* prev;
    ListNode* next;
};

ListNode* g_Tail = nullptr;

bool TakeListMutex() {
    if (Global.hHandleListMutex == nullptr) return false;
    const DWORD result = WaitForSingleObject(Global.hHandleListMutex, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0;
}

void GiveListMutex() { ReleaseMutex(Global.hHandleListMutex); }

ListNode* Head() { return static_cast<ListNode*>(Global.pHandleList); }

}  // namespace

void AddHandleToList(DWORD handle) {
    if (!TakeListMutex()) return;
    ListNode* node = static_cast<ListNode*>(std::calloc(1, sizeof(ListNode)));
    if (node != nullptr) {
        node->handle = handle;
        node->prev = g_Tail;
        if (g_Tail != nullptr) {
            g_Tail->next = node;
        } else {
            Global.pHandleList = node;
        }
        g_Tail = node;
    }
    GiveListMutex();
}

void RemoveHandleFromList(DWORD handle) {
    if (!TakeListMutex()) return;
    ListNode* node = Head();
    while (node != nullptr && node->handle != handle) node = node->next;
    if (node == nullptr) {
        LogError(WSTR("RemoveHandleFromList - Cannot remove handle(%x)\n"), handle);
    } else {
        if (node->prev != nullptr) {
            node->prev->next = node->next;
        } else {
            Global.pHandleList = node->next;
        }
        if (node->next != nullptr) {
            node->next->prev = node->prev;
        } else {
            g_Tail = node->prev;
        }
        std::free(node);
    }
    GiveListMutex();
}

size_t CopyHandleList(DWORD* handles, size_t capacity) {
    if (!TakeListMutex()) return 0;
    size_t count = 0;
    for (ListNode* node = Head(); node != nullptr; node = node->next, ++count) {
        if (count < capacity) handles[count] = node->handle;
    }
    GiveListMutex();
    return count;
}

void CloseAllListedHandles(DWORD (*close)(DWORD handle)) {
    // The list mutex is not held across a close: a close waits for the
    // object's handle lock, and a callback that holds that lock may itself be
    // closing its object and removing it from the list.
    for (;;) {
        if (!TakeListMutex()) return;
        ListNode* head = Head();
        const DWORD handle = head != nullptr ? head->handle : 0;
        GiveListMutex();
        if (head == nullptr) return;
        close(handle);  // removes the node
        if (!TakeListMutex()) return;
        const bool stuck = Head() != nullptr && Head()->handle == handle;
        GiveListMutex();
        // A close that could not remove it (a handle already retired, say):
        // the node is dropped so that shut-down always ends.
        if (stuck) RemoveHandleFromList(handle);
    }
}
