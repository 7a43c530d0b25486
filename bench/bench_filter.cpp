// Throughput of a running worker over the stand-in driver with tracing off,
// against a pass-through thread in the same run that reads and hands on the
// same frames through the same loop without looking at them; and the heap
// allocations the worker makes per frame; how long stopping an idle worker
// takes; and how long an idle worker takes to filter its adapter again once
// the driver lists it under a new handle.
#include "filter/DriverApi.h"
#include "filter/TTLFilterUnit.h"
#include "toolkit/Handles.h"
#include "sim/SimControl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace {
std::atomic<unsigned long long> g_allocations{0};
}

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// These replacements pair malloc with free themselves; where one is inlined
// next to a new, GCC takes the pair for the library's and warns.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr ULONG kBatch = 8192;  // the stand-in queue holds this many
constexpr int kBatchesPerRound = 20;
constexpr int kRounds = 31;
// The worker, the pass-through loop and the idle worker each have their adapter.
const char* const kAdapterNames[] = {"\\DEVICE\\{BENCH-1}", "\\DEVICE\\{BENCH-2}", "\\DEVICE\\{BENCH-3}"};

// The worker's loop without the frame processing.
class TPassThrough final : public tk::TThread {
public:
    explicit TPassThrough(ULONG position) : position_(position) {}

protected:
    void Execute() override {
        const UniqueDriver driver = OpenLoadedDriver();
        if (!driver) return;
        TCP_AdapterList adapters{};
        ::GetTcpipBoundAdaptersInfo(driver.get(), &adapters);
        HANDLE adapter = adapters.m_nAdapterHandle[position_ - 1];
        const tk::UniqueEvent event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ::SetPacketEvent(driver.get(), adapter, event.get());
        tk::ScopeGuard detachEvent([&] { ::SetPacketEvent(driver.get(), adapter, nullptr); });
        INTERMEDIATE_BUFFER buffer{};
        ETH_REQUEST request{adapter, &buffer};
        ADAPTER_MODE mode{adapter, MSTCP_FLAG_RECV_TUNNEL};
        ::SetAdapterMode(driver.get(), &mode);
        tk::ScopeGuard normalMode([&] {
            ADAPTER_MODE normal{adapter, 0};
            ::SetAdapterMode(driver.get(), &normal);
        });
        while (!Terminated()) {
            ::WaitForSingleObject(event.get(), 1000);
            ::ResetEvent(event.get());
            while (!Terminated() && ::ReadPacket(driver.get(), &request))
                ::SendPacketToMstcp(driver.get(), &request);
        }
    }

private:
    ULONG position_;
};

std::vector<std::vector<unsigned char>> MixedFrames() {
    std::vector<std::vector<unsigned char>> frames;
    for (int i = 0; i < 16; ++i) {
        std::vector<unsigned char> f(i % 4 == 3 ? 1514 : 60 + 40 * i, 0);
        const bool ipv4 = i % 4 != 2;
        f[12] = ipv4 ? 0x08 : 0x86;
        f[13] = ipv4 ? 0x00 : 0xDD;
        f[14] = 0x45;
        f[14 + 8] = static_cast<unsigned char>(i % 2 ? 1 : 64);
        frames.push_back(f);
    }
    return frames;
}

void WaitMode(ULONG position) {
    while (SimAdapterMode(position) != MSTCP_FLAG_RECV_TUNNEL) ::Sleep(1);
}

// Waits without hammering the driver's lock while a consumer drains.
void WaitStack(ULONG position, ULONG total) {
    while (SimStackTotal(position) < total) {
        for (int i = 0; i < 20000; ++i) YieldProcessor();
    }
}

// Seconds a consumer takes to drain kBatchesPerRound queues filled beforehand
// (the adapter's delivery held meanwhile), so the producer is idle while it runs.
double Round(ULONG position, const std::vector<std::vector<unsigned char>>& frames) {
    ULONG total = SimStackTotal(position);
    double seconds = 0;
    for (int b = 0; b < kBatchesPerRound; ++b) {
        SimHoldDelivery(position, TRUE);
        for (ULONG i = 0; i < kBatch; ++i) {
            const auto& f = frames[i % frames.size()];
            SimReceiveFrame(position, f.data(), static_cast<ULONG>(f.size()));
        }
        total += kBatch;
        const auto start = std::chrono::steady_clock::now();
        SimHoldDelivery(position, FALSE);
        WaitStack(position, total);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return seconds;
}

// A worker on the adapter at `position`, with the default TTLs and no trace.
TFilterOptions WorkerOn(ULONG position) {
    TFilterOptions options;
    options.AdapterName = kAdapterNames[position - 1];
    options.AdapterIndex = position;
    return options;
}

// Milliseconds from the terminate request to the destroyed worker, the median
// over `stops` workers that each reached tunnel mode and then sat idle.
double StopMedianMs(ULONG position, int stops) {
    std::vector<double> ms;
    for (int i = 0; i < stops; ++i) {
        auto worker = TTTLFilter::Create(WorkerOn(position), nullptr);
        WaitMode(position);
        const auto start = std::chrono::steady_clock::now();
        worker->Terminate();
        worker->WaitFor();
        worker.reset();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// Serves the worker's deliveries (its lines wait for this thread) until `done` holds.
template <typename Predicate>
void ServeUntil(Predicate done) {
    while (!done()) {
        tk::TThread::CheckSynchronize();
        ::Sleep(1);
    }
}

// Milliseconds from the stand-in listing the adapter again, under a new
// handle, to tunnel mode on that handle, the median over `rebinds`. Nobody
// tells the worker: it finds the adapter by its own periodic check.
double RebindMedianMs(ULONG position, int rebinds) {
    int changes = 0;
    const auto worker = TTTLFilter::Create(WorkerOn(position), [&](const TFilterNews& news) {
        if (news.Kind == TFilterNewsKind::AdapterGone || news.Kind == TFilterNewsKind::Filtering) ++changes;
    });
    WaitMode(position);
    std::vector<double> ms;
    for (int i = 0; i < rebinds; ++i) {
        SimRemoveAdapter(position);
        worker->CheckAdapterNow();
        ServeUntil([&] { return changes == 2 * i + 1; });
        const auto start = std::chrono::steady_clock::now();
        SimRestoreAdapter(position);
        ServeUntil([&] { return SimAdapterMode(position) == MSTCP_FLAG_RECV_TUNNEL; });
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        ServeUntil([&] { return changes == 2 * i + 2; });
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main() {
    SimReset();
    const unsigned char mac[6] = {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF};
    SimAddAdapter(kAdapterNames[0], "Bench worker", mac, 0, 1500);
    SimAddAdapter(kAdapterNames[1], "Bench pass-through", mac, 0, 1500);
    SimAddAdapter(kAdapterNames[2], "Bench idle", mac, 0, 1500);
    const auto frames = MixedFrames();
    const double framesPerRound = double(kBatch) * kBatchesPerRound;

    const auto worker = TTTLFilter::Create(WorkerOn(1), nullptr);
    const auto passThrough = tk::StartThread<TPassThrough>(2);
    WaitMode(1);
    WaitMode(2);
    Round(1, frames);  // warm up both paths
    Round(2, frames);

    // Rounds alternate which path goes first; the ratio is the median of the
    // rounds' ratios of drain time.
    double timeWorker = 0, timePass = 0;
    std::vector<double> ratios;
    unsigned long long workerAllocations = 0;
    for (int r = 0; r < kRounds; ++r) {
        double roundWorker = 0, roundPass = 0;
        for (int k = 0; k < 2; ++k) {
            if ((r + k) % 2 == 0) {
                const unsigned long long a0 = g_allocations.load();
                roundWorker = Round(1, frames);
                workerAllocations += g_allocations.load() - a0;
            } else {
                roundPass = Round(2, frames);
            }
        }
        timeWorker += roundWorker;
        timePass += roundPass;
        ratios.push_back(roundWorker / roundPass);
    }
    std::sort(ratios.begin(), ratios.end());
    const double ratio = ratios[ratios.size() / 2];
    // The spread tells a real difference from the noise of a shared machine.
    const double spread = ratios.back() - ratios.front();
    const double total = framesPerRound * kRounds;
#ifdef _WIN64
    std::printf("arch=x86_64\n");
#else
    std::printf("arch=i686\n");
#endif
    std::printf("frames_per_round=%.0f rounds=%d\n", framesPerRound, kRounds);
    std::printf("frames_per_s_worker=%.0f\n", total / timeWorker);
    std::printf("frames_per_s_passthrough=%.0f\n", total / timePass);
    std::printf("ratio_worker_over_passthrough=%.3f spread=%.3f (min %.3f, max %.3f)\n", ratio, spread,
                ratios.front(), ratios.back());
    std::printf("allocs_per_frame=%.6f\n", double(workerAllocations) / total);
    constexpr int kStops = 60;
    std::printf("stops=%d\n", kStops);
    std::printf("stop_ms_median=%.2f\n", StopMedianMs(3, kStops));
    constexpr int kRebinds = 21;
    std::printf("rebinds=%d\n", kRebinds);
    std::printf("rebind_ms_median=%.1f\n", RebindMedianMs(3, kRebinds));
    return 0;
}
