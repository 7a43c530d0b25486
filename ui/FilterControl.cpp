#include "ui/FilterControl.h"

#include "toolkit/Exception.h"
#include "ui/AdapterList.h"

TFilterControl::TFilterControl(TSettingsStore& Store, TNewsEvent WorkerNews, TLog Log, TEventHistory& History)
    : store_(Store), workerNews_(std::move(WorkerNews)), log_(std::move(Log)), history_(History) {}

void TFilterControl::Start(std::uint32_t Position, const std::string& InternalName, const std::string& Caption,
                           bool StartUp) {
    // The new adapter is written over the old one in the registry rather
    // than cleared first.
    if (worker_) Stop();
    endedOnStop_.clear();
    const TSettings& settings = store_.Values();
    TFilterOptions options;
    options.AdapterName = InternalName;
    options.AdapterIndex = Position;
    options.Caption = Caption;
    // The worker gets the low 8 bits of the stored values, so a stored 300
    // acts as 44.
    options.BadTTL = static_cast<std::uint8_t>(settings.BadTTL);
    options.NewTTL = static_cast<std::uint8_t>(settings.NewTTL);
    options.IPv6 = settings.RewriteIPv6 ? frame::Ipv6Rule::Rewrite : frame::Ipv6Rule::Pass;
    options.RewriteSent = settings.RewriteSent;
    options.SentTTL = SentTtlOf(settings);
    options.Trace = settings.Trace;
    options.StartUp = StartUp;
    adapter_ = Caption + " (" + InternalName + ")";
    worker_ = TTTLFilter::Create(std::move(options), [this](const TFilterNews& News) { Told(News); });
    Remember(InternalName);
    if (Position == 0) return;
    const std::string line = tk::Format("Filtering %s...", Caption.c_str());
    log_(line);
    history_.Information(line, adapter_);
}

std::string TFilterControl::StartWaiting(const std::string& InternalName) {
    const std::string shownName = DisplayNameFor(InternalName);
    Start(0, InternalName, shownName, true);
    return shownName;
}

void TFilterControl::Stop() {
    if (worker_) {
        // Its owner stops it, serving the lines it is still delivering.
        stopping_ = true;
        tk::ScopeGuard stopped([this] { stopping_ = false; });
        worker_.reset();
        log_("Filter closed.");
        history_.Information("Filter closed.", adapter_);
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
            store_.Save();
        } catch (const std::exception& e) {
            saveError = e.what();
        } catch (...) {
            saveError = "Unknown error";
        }
        if (!saveError.empty()) history_.Error(saveError);
    }
    // Before anything waits for the user: a box left open while the session
    // ends (or the process ended under it) would leave the adapter diverted.
    // Runs on every call, so that a worker started after an earlier shutdown
    // never outlives the log it writes to. The adapter stays remembered in the
    // registry, to be filtered at the next start.
    Stop();
    return saveError;
}

void TFilterControl::Told(const TFilterNews& News) {
    if (stopping_ && News.Kind == TFilterNewsKind::Ended) endedOnStop_ = News.Text;
    history_.News(News, adapter_);
    if (workerNews_) workerNews_(News);
}

void TFilterControl::Remember(const std::string& InternalName) {
    store_.Set(&TSettings::FilteredAdapter, InternalName);
    try {
        store_.SaveValue(TSettingId::FilteredAdapter);
    } catch (const std::exception& e) {
        log_(e.what());
        history_.Error(e.what());
    }
}
