#include "platform/thread_queue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace {

class Queue {
  public:
    void post(const MSG& m) {
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(m);
        }
        ready_.notify_one();
    }
    MSG take() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !messages_.empty(); });
        MSG m = messages_.front();
        messages_.pop_front();
        return m;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<MSG> messages_;
};

// Queues by thread id. A poster holds its queue's shared_ptr only while posting, so a queue
// removed by its owner is never posted to afterwards.
struct Registry {
    std::mutex mutex;
    std::map<DWORD, std::shared_ptr<Queue>> queues;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::shared_ptr<Queue> Find(DWORD id) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.queues.find(id);
    return it == r.queues.end() ? nullptr : it->second;
}

DWORD Now() {
    static const auto start = std::chrono::steady_clock::now();
    return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count());
}

}  // namespace

DWORD GetCurrentThreadId() {
    static std::atomic<DWORD> next{1};
    thread_local const DWORD id = next.fetch_add(1);
    return id;
}

BOOL PostThreadMessageA(DWORD idThread, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto q = Find(idThread);
    if (!q) return FALSE;
    MSG m;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = Now();
    q->post(m);
    return TRUE;
}

BOOL GetMessageA(MSG* msg, void* hwnd, UINT msgFilterMin, UINT msgFilterMax) {
    if (!msg || hwnd || msgFilterMin || msgFilterMax) return -1;
    auto q = Find(GetCurrentThreadId());
    if (!q) return -1;
    *msg = q->take();
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

namespace platform {

ThreadQueue::ThreadQueue() : threadId_(GetCurrentThreadId()) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.queues[threadId_] = std::make_shared<Queue>();
}

ThreadQueue::~ThreadQueue() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.queues.erase(threadId_);
}

}  // namespace platform
