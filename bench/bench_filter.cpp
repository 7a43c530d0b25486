// Throughput of a running worker over the stand-in driver with tracing off,
// against a pass-through thread in the same run that reads and hands on the
// same frames through the same loop without looking at them (received
// frames alone, and again a mix of sent and received ones with the sent rule
// on, each handed on in its direction), by the wall
// clock and by each thread's own CPU time (which a busy machine's preemption
// does not inflate); and the heap allocations the worker makes per frame; how
// long stopping an idle worker takes; how long an idle worker takes to filter
// its adapter again once the driver lists it under a new handle; and whether
// a thousand rebinds leave handles behind.
#include "filter/DriverApi.h"
#include "filter/TTLFilterUnit.h"
#include "toolkit/Handles.h"
#include "sim/SimControl.h"
#include "tests/HandleCount.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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
// Batches of the warm-up round, which sizes the others.
constexpr int kWarmUpBatches = 20;
// Each path gets at least this much CPU per round: a thread's CPU time comes
// in steps of 10 to 16 ms.
constexpr double kRoundCpuSeconds = 1.0;
constexpr int kRounds = 15;
// The worker, the pass-through loop and the idle worker each have their
// adapter, and so do the worker and the pass-through loop of the mixed stream.
const char* const kAdapterNames[] = {"\\DEVICE\\{BENCH-1}", "\\DEVICE\\{BENCH-2}", "\\DEVICE\\{BENCH-3}",
                                     "\\DEVICE\\{BENCH-4}", "\\DEVICE\\{BENCH-5}"};
constexpr ULONG kBothTunnels = MSTCP_FLAG_RECV_TUNNEL | MSTCP_FLAG_SENT_TUNNEL;

// The worker's loop without the frame processing.
class TPassThrough final : public tk::TThread {
public:
    TPassThrough(ULONG position, ULONG mode) : position_(position), mode_(mode) {}

protected:
    void Execute() override {
        const UniqueDriver driver = OpenLoadedDriver();
        if (!driver) return;
        TCP_AdapterList adapters{};
        NdisApi.GetTcpipBoundAdaptersInfo(driver.get(), &adapters);
        HANDLE adapter = adapters.m_nAdapterHandle[position_ - 1];
        const tk::UniqueEvent event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        NdisApi.SetPacketEvent(driver.get(), adapter, event.get());
        tk::ScopeGuard detachEvent([&] { NdisApi.SetPacketEvent(driver.get(), adapter, nullptr); });
        INTERMEDIATE_BUFFER buffer{};
        ETH_REQUEST request{adapter, &buffer};
        ADAPTER_MODE mode{adapter, mode_};
        NdisApi.SetAdapterMode(driver.get(), &mode);
        tk::ScopeGuard normalMode([&] {
            ADAPTER_MODE normal{adapter, 0};
            NdisApi.SetAdapterMode(driver.get(), &normal);
        });
        while (!Terminated()) {
            ::WaitForSingleObject(event.get(), 1000);
            ::ResetEvent(event.get());
            while (!Terminated() && NdisApi.ReadPacket(driver.get(), &request)) {
                if (buffer.m_dwDeviceFlags & PACKET_FLAG_ON_SEND)
                    NdisApi.SendPacketToAdapter(driver.get(), &request);
                else
                    NdisApi.SendPacketToMstcp(driver.get(), &request);
            }
        }
    }

private:
    ULONG position_;
    ULONG mode_;
};

struct BenchFrame {
    std::vector<unsigned char> bytes;
    bool sent = false;  // fed as sent by the host rather than received
};
using Frames = std::vector<BenchFrame>;

Frames MixedFrames() {
    Frames frames;
    for (int i = 0; i < 16; ++i) {
        std::vector<unsigned char> f(i % 4 == 3 ? 1514 : 60 + 40 * i, 0);
        const bool ipv4 = i % 4 != 2;
        f[12] = ipv4 ? 0x08 : 0x86;
        f[13] = ipv4 ? 0x00 : 0xDD;
        f[14] = 0x45;
        f[14 + 8] = static_cast<unsigned char>(i % 2 ? 1 : 64);
        frames.push_back({f});
    }
    return frames;
}

// Every other frame sent by the host, in the sizes of the received stream;
// every sent frame rewritten (TTL 128 or hop limit 64 to 65), and seven in
// eight of the received ones (TTL 1 to 5).
Frames SentAndReceivedFrames() {
    Frames frames = MixedFrames();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        std::vector<unsigned char>& f = frames[i].bytes;
        frames[i].sent = i % 2 == 0;
        const bool ipv6 = i % 8 == 2;
        f[12] = ipv6 ? 0x86 : 0x08;
        f[13] = ipv6 ? 0xDD : 0x00;
        f[14] = ipv6 ? 0x60 : 0x45;
        f[14 + 16] = f[14 + 24] = 10;  // a unicast destination
        f[14 + 7] = ipv6 ? 64 : 0;
        f[14 + 8] = static_cast<unsigned char>(i == 7 ? 64 : frames[i].sent ? 128 : 1);
    }
    return frames;
}

void WaitMode(ULONG position, ULONG mode = MSTCP_FLAG_RECV_TUNNEL) {
    while (SimAdapterMode(position) != mode) ::Sleep(1);
}

// The frames handed on at `position`, in either direction.
ULONG HandedOn(ULONG position) {
    return SimStackTotal(position) + SimWireTotal(position);
}

// Waits without hammering the driver's lock while a consumer drains.
void WaitHandedOn(ULONG position, ULONG total) {
    while (HandedOn(position) < total) {
        for (int i = 0; i < 20000; ++i) YieldProcessor();
    }
}

// The CPU seconds a thread has used so far.
double CpuSeconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) * 1e-7;
}

// The value at fraction `at` of the sorted values, between neighbours.
double Quantile(const std::vector<double>& sorted, double at) {
    const double place = at * double(sorted.size() - 1);
    const std::size_t below = static_cast<std::size_t>(std::floor(place));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (place - double(below));
}

struct RoundTime {
    double wall = 0;  // seconds the consumer took to drain, by the clock
    double cpu = 0;   // seconds of its own CPU time
};

// A consumer of one adapter's frames: the worker or the pass-through loop.
struct Path {
    ULONG position;
    HANDLE thread;
    RoundTime time;
};

// Seconds `path` takes to drain a queue filled beforehand (the adapter's
// delivery held meanwhile), so the producer is idle while it runs.
double DrainBatch(const Path& path, const Frames& frames) {
    SimHoldDelivery(path.position, TRUE);
    for (ULONG i = 0; i < kBatch; ++i) {
        const BenchFrame& f = frames[i % frames.size()];
        (f.sent ? SimSendFrame : SimReceiveFrame)(path.position, f.bytes.data(), static_cast<ULONG>(f.bytes.size()));
    }
    const ULONG total = HandedOn(path.position) + kBatch;
    const auto start = std::chrono::steady_clock::now();
    SimHoldDelivery(path.position, FALSE);
    WaitHandedOn(path.position, total);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `batches` batches through each path, taking turns (which goes first
// alternates), so that a busy machine's slow spells fall on both alike. The
// CPU time is read once around the whole round: a thread's CPU time comes in
// steps of 10 to 16 ms, far more than one batch takes, and a consumer uses
// none while the producer fills its queue.
void Round(Path& worker, Path& passThrough, int batches, const Frames& frames,
           unsigned long long& workerAllocations) {
    const double cpuWorker = CpuSeconds(worker.thread), cpuPass = CpuSeconds(passThrough.thread);
    worker.time = passThrough.time = RoundTime{};
    for (int b = 0; b < batches; ++b) {
        for (int k = 0; k < 2; ++k) {
            if ((b + k) % 2 == 0) {
                const unsigned long long before = g_allocations.load();
                worker.time.wall += DrainBatch(worker, frames);
                workerAllocations += g_allocations.load() - before;
            } else {
                passThrough.time.wall += DrainBatch(passThrough, frames);
            }
        }
    }
    worker.time.cpu = CpuSeconds(worker.thread) - cpuWorker;
    passThrough.time.cpu = CpuSeconds(passThrough.thread) - cpuPass;
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

// Counts the news that the adapter went away or is back.
TNewsEvent CountChanges(int& changes) {
    return [&changes](const TFilterNews& news) {
        if (news.Kind == TFilterNewsKind::AdapterGone || news.Kind == TFilterNewsKind::Filtering) ++changes;
    };
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
    const auto worker = TTTLFilter::Create(WorkerOn(position), CountChanges(changes));
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

// The change in the process's handle count over `rebinds` rebinds of an idle
// worker, each told through its check-now signal.
long HandlesAfterRebinds(ULONG position, int rebinds) {
    int changes = 0;
    const auto worker = TTTLFilter::Create(WorkerOn(position), CountChanges(changes));
    WaitMode(position);
    const ULONG before = OwnHandleCount();
    for (int i = 0; i < rebinds; ++i) {
        SimRemoveAdapter(position);
        worker->CheckAdapterNow();
        ServeUntil([&] { return changes == 2 * i + 1; });
        SimRestoreAdapter(position);
        worker->CheckAdapterNow();
        ServeUntil([&] { return changes == 2 * i + 2; });
    }
    return long(OwnHandleCount()) - long(before);
}

// What the rounds of one comparison gave: each ratio the rounds' ratios, sorted.
struct Comparison {
    double framesPerRound = 0, wallWorker = 0, wallPass = 0;
    std::vector<double> ratios, cpuRatios;
    unsigned long long workerAllocations = 0;
};

// A warm-up round, which sizes the others so that each path gets its CPU
// second, then the measured rounds.
Comparison Compare(Path& worker, Path& passThrough, const Frames& frames) {
    Comparison c;
    Round(worker, passThrough, kWarmUpBatches, frames, c.workerAllocations);
    const double warmUpCpu = std::max(std::min(worker.time.cpu, passThrough.time.cpu), 1e-3);
    const int batches = std::max(kWarmUpBatches, int(std::ceil(1.25 * kRoundCpuSeconds / warmUpCpu * kWarmUpBatches)));
    c.framesPerRound = double(kBatch) * batches;
    c.workerAllocations = 0;
    for (int r = 0; r < kRounds; ++r) {
        Round(worker, passThrough, batches, frames, c.workerAllocations);
        c.wallWorker += worker.time.wall;
        c.wallPass += passThrough.time.wall;
        c.ratios.push_back(worker.time.wall / passThrough.time.wall);
        c.cpuRatios.push_back(worker.time.cpu / passThrough.time.cpu);
    }
    std::sort(c.ratios.begin(), c.ratios.end());
    std::sort(c.cpuRatios.begin(), c.cpuRatios.end());
    return c;
}

void PrintCpuRatio(const char* name, const Comparison& c) {
    std::printf("%s=%.3f iqr=%.3f\n", name, Quantile(c.cpuRatios, 0.5),
                Quantile(c.cpuRatios, 0.75) - Quantile(c.cpuRatios, 0.25));
}

} // namespace

int main() {
    if (!BindDriverLibrary(::GetModuleHandleA("ndisapi.dll"))) {
        std::fprintf(stderr, "the stand-in ndisapi.dll lacks a driver operation\n");
        return 1;
    }
    SimReset();
    const unsigned char mac[6] = {0x00, 0x0C, 0x29, 0xAB, 0x01, 0xFF};
    SimAddAdapter(kAdapterNames[0], "Bench worker", mac, 0, 1500);
    SimAddAdapter(kAdapterNames[1], "Bench pass-through", mac, 0, 1500);
    SimAddAdapter(kAdapterNames[2], "Bench idle", mac, 0, 1500);
    SimAddAdapter(kAdapterNames[3], "Bench sent worker", mac, 0, 1500);
    SimAddAdapter(kAdapterNames[4], "Bench sent pass-through", mac, 0, 1500);

    const auto worker = TTTLFilter::Create(WorkerOn(1), nullptr);
    const auto passThrough = tk::StartThread<TPassThrough>(2, MSTCP_FLAG_RECV_TUNNEL);
    WaitMode(1);
    WaitMode(2);
    Path workerPath{1, worker->Handle(), {}}, passPath{2, passThrough->Handle(), {}};
    const Comparison received = Compare(workerPath, passPath, MixedFrames());

    TFilterOptions sentOptions = WorkerOn(4);
    sentOptions.RewriteSent = true;
    const auto sentWorker = TTTLFilter::Create(sentOptions, nullptr);
    const auto sentPassThrough = tk::StartThread<TPassThrough>(5, kBothTunnels);
    WaitMode(4, kBothTunnels);
    WaitMode(5, kBothTunnels);
    Path sentWorkerPath{4, sentWorker->Handle(), {}}, sentPassPath{5, sentPassThrough->Handle(), {}};
    const Comparison sent = Compare(sentWorkerPath, sentPassPath, SentAndReceivedFrames());

    // The spread tells a real difference from the noise of a shared machine.
    const std::vector<double>& ratios = received.ratios;
    const double spread = ratios.back() - ratios.front();
    const double total = received.framesPerRound * kRounds;
#ifdef _WIN64
    std::printf("arch=x86_64\n");
#else
    std::printf("arch=i686\n");
#endif
    std::printf("frames_per_round=%.0f rounds=%d\n", received.framesPerRound, kRounds);
    std::printf("frames_per_s_worker=%.0f\n", total / received.wallWorker);
    std::printf("frames_per_s_passthrough=%.0f\n", total / received.wallPass);
    std::printf("ratio_worker_over_passthrough=%.3f spread=%.3f (min %.3f, max %.3f)\n", Quantile(ratios, 0.5),
                spread, ratios.front(), ratios.back());
    PrintCpuRatio("ratio_cpu_worker_over_passthrough", received);
    std::printf("allocs_per_frame=%.6f\n", double(received.workerAllocations) / total);
    PrintCpuRatio("ratio_cpu_worker_over_passthrough_sent", sent);
    std::printf("allocs_per_frame_sent=%.6f\n", double(sent.workerAllocations) / (sent.framesPerRound * kRounds));
    constexpr int kStops = 60;
    std::printf("stops=%d\n", kStops);
    std::printf("stop_ms_median=%.2f\n", StopMedianMs(3, kStops));
    constexpr int kRebinds = 21;
    std::printf("rebinds=%d\n", kRebinds);
    std::printf("rebind_ms_median=%.1f\n", RebindMedianMs(3, kRebinds));
    std::printf("handles_after_1000_rebinds=%+ld\n", HandlesAfterRebinds(3, 1000));
    return 0;
}
