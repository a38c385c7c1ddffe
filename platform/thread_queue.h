#pragma once
// Per-thread message queues: where CALLBACK_THREAD notices of the wave-input device go.
// A thread has a queue while a ThreadQueue object of its own lives; posting to a thread
// without one fails, as it does for a thread that never asked for a queue.
#include "platform/mmtypes.h"

struct MSG {
    void* hwnd = nullptr;  // always null: these are thread messages
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;  // milliseconds since the queue's process started
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

// Our own small thread ids (never 0), not the kernel's.
DWORD GetCurrentThreadId();
// FALSE when the thread has no queue (never had one, or its owner is gone).
BOOL PostThreadMessageA(DWORD idThread, UINT msg, WPARAM wParam, LPARAM lParam);
// Blocks until a message arrives in the calling thread's queue. FALSE for WM_QUIT, -1 when
// the calling thread has no queue. Only thread messages exist, so the window and the range
// filter must be null and 0.
BOOL GetMessageA(MSG* msg, void* hwnd, UINT msgFilterMin, UINT msgFilterMax);

namespace platform {

// Creates the calling thread's queue and removes it again; messages still in it are dropped.
class ThreadQueue {
  public:
    ThreadQueue();
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    DWORD threadId() const { return threadId_; }

  private:
    DWORD threadId_;
};

}  // namespace platform
