#include "ui/FilterControl.h"

#include "toolkit/Exception.h"
#include "toolkit/Forms.h"
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

std::string TFilterControl::WaitForRemembered(bool DriverListed) {
    const std::string internalName = store_.Values().FilteredAdapter;
    if (worker_ || !DriverListed || internalName.empty()) return {};
    const std::string shownName = DisplayNameFor(internalName);
    Start(0, internalName, shownName, true);
    return shownName;
}

void TFilterControl::Stop() {
    if (worker_) {
        // Its owner stops it, serving the lines it is still delivering.
        stopping_ = true;
        tk::ScopeGuard stopped([this] { stopping_ = false; });
        endedOnStopAdapter_ = worker_->Options.AdapterName;
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

void TFilterControl::ShutDown(bool SessionEnding, const std::string& Caption) {
    std::string saveError;
    const bool first = !shutDown_;
    if (first) {
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
    // Nobody is there to answer a box while the session ends.
    if (SessionEnding) {
        if (!saveError.empty()) log_(saveError);
        return;
    }
    if (!tk::Application) return;
    if (!saveError.empty()) tk::Application->ShowException(tk::Exception(saveError));
    if (first) OfferResetAgain(Caption);
}

void TFilterControl::OfferResetAgain(const std::string& Caption) {
    // Exit was asked for to put things right: an adapter left cut off from
    // the stack with nobody reading it is told before the program ends.
    while (!endedOnStop_.empty()) {
        const std::string text = "Brackwater could not return " + Caption +
                                 " to normal mode. It may stay cut off from the network until it is disabled and "
                                 "enabled again in Network Connections, or until Windows restarts.";
        if (tk::Application->MessageBox(text, "Brackwater", MB_RETRYCANCEL | MB_ICONWARNING) != IDRETRY) {
            tk::Application->ExitCode = kExitLeftDiverted;
            return;
        }
        if (ResetListedAdapter(endedOnStopAdapter_)) endedOnStop_.clear();
    }
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
