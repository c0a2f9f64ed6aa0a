// The hand-over from worker threads to the window's thread: every posted function
// runs once, on the owner's thread, in posting order, and sees what its poster
// wrote; run under TSan, which follows the mutex and the eventfd.
#include <QCoreApplication>
#include <QObject>
#include <QtTest>
#include <array>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "mainwindow/thread_inbox.h"

using namespace orvandel;

class ThreadInboxTest : public QObject {
    Q_OBJECT

private slots:
    void everyFunctionRunsOnceOnTheOwnerInPostingOrder() {
        constexpr int kThreads = 4;
        constexpr int kPosts = 300;
        QObject context;
        ThreadInbox inbox(&context);
        const std::thread::id owner = std::this_thread::get_id();

        // Plain, unguarded data: each poster writes its slot before posting, and
        // only the posted function reads it.
        std::array<std::array<int, kPosts>, kThreads> payload{};
        std::array<std::vector<int>, kThreads> seen;  // touched on the owner only
        int wrong_thread = 0;
        int wrong_payload = 0;

        std::vector<std::thread> posters;
        for (int t = 0; t < kThreads; ++t) {
            posters.emplace_back([&, t] {
                for (int i = 0; i < kPosts; ++i) {
                    payload[t][i] = 1000 * t + i;
                    inbox.Post([&, t, i] {
                        if (std::this_thread::get_id() != owner)
                            ++wrong_thread;
                        if (payload[t][i] != 1000 * t + i)
                            ++wrong_payload;
                        seen[t].push_back(i);
                    });
                }
            });
        }
        for (std::thread& p : posters)
            p.join();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const auto& s : seen)
                    if (s.size() < kPosts)
                        return false;
                return true;
            }(),
            10000);
        QCoreApplication::processEvents();
        QCOMPARE(wrong_thread, 0);
        QCOMPARE(wrong_payload, 0);
        for (const auto& s : seen) {
            QCOMPARE(static_cast<int>(s.size()), kPosts);
            for (int i = 0; i < kPosts; ++i)
                QCOMPARE(s[static_cast<std::size_t>(i)], i);
        }
    }

    void nothingRunsInsidePostAndWorkPostedWhileRunningRunsLater() {
        QObject context;
        ThreadInbox inbox(&context);
        std::vector<int> order;
        inbox.Post([&] {
            order.push_back(1);
            inbox.Post([&] { order.push_back(3); });
            order.push_back(2);
        });
        QVERIFY(order.empty());
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t{3}, 5000);
        QCOMPARE(order, (std::vector<int>{1, 2, 3}));
    }

    void workStillWaitingAtDestructionIsDroppedAndReleased() {
        QObject context;
        auto token = std::make_shared<int>(0);
        bool ran = false;
        {
            ThreadInbox inbox(&context);
            std::thread poster(
                [&inbox, token, &ran] { inbox.Post([token, &ran] { ran = true; }); });
            poster.join();
        }
        QCoreApplication::processEvents();
        QVERIFY(!ran);
        QCOMPARE(token.use_count(), 1L);
    }
};

QTEST_MAIN(ThreadInboxTest)
#include "thread_inbox_test.moc"
