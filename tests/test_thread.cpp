// The toolkit's thread: a terminate request wakes a body that waits for work,
// and a wait for the end on the main thread serves what the body is blocked on.
#include "toolkit/Forms.h"
#include "toolkit/Thread.h"
#include "toolkit/UtilWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

namespace {

class TBody final : public tk::TThread {
public:
    explicit TBody(std::function<void(TBody&)> body) : body_(std::move(body)) {}

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(TBody&)> body_;
};

TEST(Thread, TerminateWakesABodyWaitingForWork) {
    tk::TThread::SetMainThread();
    tk::UniqueEvent never(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<DWORD> woken{WAIT_TIMEOUT};
    std::atomic<bool> waiting{false};
    auto body = tk::StartThread<TBody>([&](TBody& self) {
        const HANDLE waits[2] = {never.get(), self.TerminateEvent()};
        waiting = true;
        woken = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    });
    while (!waiting) ::SwitchToThread();
    body->Terminate();
    body->WaitFor();
    EXPECT_EQ(woken.load(), WAIT_OBJECT_0 + 1);
    // The request stays signalled: a later wait of the body ends at once too.
    EXPECT_EQ(::WaitForSingleObject(body->TerminateEvent(), 0), WAIT_OBJECT_0);
}

TEST(Thread, WaitForServesDeliveriesAndMessagesSentFromTheBody) {
    tk::TThread::SetMainThread();
    constexpr UINT kProbe = WM_APP + 11;
    int sentServed = 0;
    tk::TUtilityWindow window([&](HWND w, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == kProbe) {
            ++sentServed;
            return 42;
        }
        return ::DefWindowProcA(w, message, wParam, lParam);
    });
    int deliveries = 0;
    std::atomic<bool> sendAnswered{false};
    std::atomic<DWORD_PTR> answer{0};
    auto body = tk::StartThread<TBody>([&](TBody& self) {
        auto deliver = [&] { ++deliveries; };
        self.Synchronize(deliver);
        // Bounded, so that a wait that does not serve it shows as a failure
        // instead of a hang.
        DWORD_PTR result = 0;
        sendAnswered = ::SendMessageTimeoutA(window.Handle(), kProbe, 0, 0, SMTO_BLOCK, 10000, &result) != 0;
        answer = result;
        self.Synchronize(deliver);
    });
    body->WaitFor();
    EXPECT_EQ(deliveries, 2);
    EXPECT_TRUE(sendAnswered.load());
    EXPECT_EQ(answer.load(), 42u);
    EXPECT_EQ(sentServed, 1);
}

TEST(Thread, AnErrorThatEndsTheBodyIsKeptForItsOwner) {
    tk::TThread::SetMainThread();
    auto body = tk::StartThread<TBody>([](TBody&) { throw std::runtime_error("body failed"); });
    body->WaitFor();
    ASSERT_TRUE(body->FatalException());
    EXPECT_THROW(std::rethrow_exception(body->FatalException()), std::runtime_error);
}

} // namespace
