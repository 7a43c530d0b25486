#include "ui/FilterControl.h"

TFilterControl::TFilterControl(TSettingsStore& Store, const TSettingsWindow& Window, TLog WorkerLog, TLog Log,
                               std::function<void()> AdapterChanged)
    : store_(Store),
      window_(Window),
      workerLog_(std::move(WorkerLog)),
      log_(std::move(Log)),
      adapterChanged_(std::move(AdapterChanged)) {}

void TFilterControl::Start(std::uint32_t Position, const std::string& InternalName) {
    // The new adapter is written over the old one in the registry rather
    // than cleared first.
    if (worker_) Stop();
    const TSettings& settings = store_.Values();
    worker_ = TTTLFilter::Create(Position, InternalName, static_cast<std::uint8_t>(settings.BadTTL),
                                 static_cast<std::uint8_t>(settings.NewTTL), workerLog_, settings.Trace,
                                 adapterChanged_,
                                 settings.RewriteIPv6 ? frame::Ipv6Rule::Rewrite : frame::Ipv6Rule::Pass);
    Remember(InternalName);
}

void TFilterControl::Stop() {
    if (worker_) {
        // Its owner stops it, serving the lines it is still delivering.
        worker_.reset();
        log_("Filter closed.");
    }
    store_.Set(&TSettings::FilteredAdapter, "");
}

void TFilterControl::Disable() {
    Stop();
    Remember("");
}

void TFilterControl::CheckAdapterNow() noexcept {
    if (worker_) worker_->CheckAdapterNow();
}

std::string TFilterControl::ShutDown() {
    std::string saveError;
    if (!shutDown_) {
        shutDown_ = true;
        try {
            store_.Save(window_);
        } catch (const std::exception& e) {
            saveError = e.what();
        } catch (...) {
            saveError = "Unknown error";
        }
    }
    // Before anything waits for the user: a box left open while the session
    // ends (or the process ended under it) would leave the adapter diverted.
    // Runs on every call, so that a worker started after an earlier shutdown
    // never outlives the log it writes to. The adapter stays remembered in the
    // registry, to be filtered at the next start.
    Stop();
    return saveError;
}

void TFilterControl::Remember(const std::string& InternalName) {
    store_.Set(&TSettings::FilteredAdapter, InternalName);
    try {
        store_.SaveValue(TSettingId::FilteredAdapter, window_);
    } catch (const std::exception& e) {
        log_(e.what());
    }
}
