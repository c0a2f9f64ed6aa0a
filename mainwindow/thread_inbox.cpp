#include "mainwindow/thread_inbox.h"

#include <QSocketNotifier>
#include <utility>

namespace orvandel {

ThreadInbox::ThreadInbox(QObject* context) {
    m_notifier = std::make_unique<QSocketNotifier>(m_wake.Get(), QSocketNotifier::Read, context);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, context, [this] { Drain(); });
}

ThreadInbox::~ThreadInbox() {
    m_notifier.reset();  // before the descriptor it watches closes
}

void ThreadInbox::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_lock);
        m_queue.push_back(std::move(work));
    }
    m_wake.Signal();
}

void ThreadInbox::Drain() {
    m_wake.Clear();
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(m_lock);
        std::swap(batch, m_queue);
    }
    // Unlocked: a function may post again (it runs on the next pass) or stop a
    // worker that is waiting to post.
    for (std::function<void()>& work : batch)
        work();
}

}  // namespace orvandel
