#include "mainwindow/thread_inbox.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

namespace orvandel {

ThreadInbox::ThreadInbox(QObject* context) : m_wake_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wake_fd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    m_notifier = std::make_unique<QSocketNotifier>(m_wake_fd, QSocketNotifier::Read, context);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, context, [this] { Drain(); });
}

ThreadInbox::~ThreadInbox() {
    m_notifier.reset();
    ::close(m_wake_fd);
}

void ThreadInbox::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_lock);
        m_queue.push_back(std::move(work));
    }
    // The counter only wakes the reader; it cannot overflow before the loop reads it.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake_fd, &one, sizeof one);
}

void ThreadInbox::Drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_wake_fd, &count, sizeof count);
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
