// Filtering one adapter at a time: the worker, and the adapter it filters
// remembered in the settings.
#pragma once

#include "filter/TTLFilterUnit.h"
#include "ui/EventHistory.h"
#include "ui/Settings.h"

#include <cstdint>
#include <functional>
#include <string>

class TFilterControl {
public:
    using TLog = std::function<void(const std::string& Line)>;

    // `WorkerNews` takes each worker's news; `Log` the control's own lines.
    // Both, but for trace lines, go to `History` too.
    TFilterControl(TSettingsStore& Store, TNewsEvent WorkerNews, TLog Log, TEventHistory& History);

    // Whether a worker runs, and the worker (null when none).
    explicit operator bool() const noexcept { return static_cast<bool>(worker_); }
    const TTTLFilter* operator->() const noexcept { return worker_.get(); }

    // Stops any worker, starts one on the adapter at `Position` of the list
    // named `InternalName` (shown as `Caption`) with the stored TTLs, trace
    // flag, IPv6 rule and sent rule, and remembers it. `StartUp`: started by the
    // program's start, and so waits for the adapter to be listed. One on a
    // row (a position above 0) logs "Filtering <caption>...".
    void Start(std::uint32_t Position, const std::string& InternalName, const std::string& Caption,
               bool StartUp = false);
    // At start, once the start-up's Enable has run: when it started no
    // worker (the remembered adapter is not listed yet: a phone plugged in
    // after logon, a list not ready), a worker with no row waits for the
    // adapter "FilteredAdapter" names, named by the driver's display name for
    // it. Nothing waits without the driver (`DriverListed` false) or without
    // a remembered adapter. Returns the waiting worker's name; empty when none waits.
    std::string WaitForRemembered(bool DriverListed);
    // Stops the worker, if any, and forgets its adapter in memory only.
    void Stop();
    // Stops the worker and forgets its adapter, also in the registry.
    void Disable();
    // The error (without its level) the last worker ended on while it was being stopped (a reset
    // the driver refused): the adapter may still be diverted, so it is told
    // until the next Start. Empty when there is none.
    const std::string& EndedOnStop() const noexcept { return endedOnStop_; }
    // The last worker's adapter as the history names it: "<caption> (<internal name>)".
    const std::string& Adapter() const noexcept { return adapter_; }
    // After a resume or a device change: the worker looks for its adapter now.
    void CheckAdapterNow() noexcept;
    // At the program's end: saves the settings, the first time only, while
    // "FilteredAdapter" still names the adapter (the stop forgets it, and a
    // later save would store that); then stops the worker, whatever the save
    // did. A failed save is told in the error box, or in the log while the
    // session ends; so is a reset the driver refused at the stop, in a box
    // that offers to try again (its Cancel makes the exit code
    // kExitLeftDiverted). `Caption` names the adapter as the status line does.
    void ShutDown(bool SessionEnding, const std::string& Caption);

    // The program's exit code when the user left the adapter perhaps diverted.
    static constexpr int kExitLeftDiverted = 3;

private:
    // Asks whether to try the refused reset again until it works, needs
    // nothing more, or the user cancels.
    void OfferResetAgain(const std::string& Caption);
    // Sets "FilteredAdapter" and writes it at once, so that after a crash the
    // next start filters the same adapter; a failed write goes to the log.
    void Remember(const std::string& InternalName);
    // Each piece of the worker's news, on its way to WorkerNews.
    void Told(const TFilterNews& News);

    TSettingsStore& store_;
    TNewsEvent workerNews_;
    TLog log_;
    TEventHistory& history_;
    std::string adapter_;
    tk::ThreadPtr<TTTLFilter> worker_;
    bool stopping_ = false;
    std::string endedOnStop_;
    // The internal name of the adapter endedOnStop_ is about.
    std::string endedOnStopAdapter_;
    bool shutDown_ = false;
};
