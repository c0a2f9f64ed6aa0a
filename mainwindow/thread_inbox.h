// ThreadInbox: how worker threads hand work to the thread that owns a window.
//
// Contract: Post() may be called from any thread, the owner's included. Every
// posted function runs once, on the thread that created the inbox, from its event
// loop, in the order of posting; nothing runs inside Post(). What a thread wrote
// before Post() is visible to the function. Functions still waiting when the inbox
// is destroyed are dropped, never run; the owner joins its workers first, so none
// posts into a destroyed inbox.
//
// The hand-over is a mutex and an eventfd watched by a QSocketNotifier rather than
// a queued QMetaObject::invokeMethod: thread checkers follow a mutex and an
// eventfd's write and read, but not Qt's uninstrumented event queue.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/wake_fd.h"

class QSocketNotifier;

namespace orvandel {

class ThreadInbox {
public:
    // `context` owns the notifier's thread affinity; throws std::system_error when
    // the system has no eventfd left to give.
    explicit ThreadInbox(QObject* context);
    ~ThreadInbox();
    ThreadInbox(const ThreadInbox&) = delete;
    ThreadInbox& operator=(const ThreadInbox&) = delete;

    void Post(std::function<void()> work);

private:
    void Drain();

    std::mutex m_lock;
    std::vector<std::function<void()>> m_queue;  // guarded by m_lock
    WakeFd m_wake;
    std::unique_ptr<QSocketNotifier> m_notifier;  // watches m_wake; goes first
};

}  // namespace orvandel
