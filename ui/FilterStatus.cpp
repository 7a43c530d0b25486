#include "ui/FilterStatus.h"

#include "ui/Resources.h"

namespace {

constexpr const char* kTitle = "Brackwater";
constexpr std::size_t kTipLength = 127;
constexpr std::uint32_t kRefreshMs = 1000;

// The line without its "[error] " level, as the user reads the reason.
std::string WithoutLevel(const std::string& Line) {
    const std::size_t level = Line.find("] ");
    return level == std::string::npos ? Line : Line.substr(level + 2);
}

// ", 37 sent set to TTL 65" while the sent rule applies; empty otherwise.
std::string SentText(const TFilterSnapshot& s) {
    if (!s.SentRule) return {};
    return ", " + std::to_string(s.SentChanged) + " sent set to TTL " + std::to_string(s.SentTTL);
}

} // namespace

std::string StatusText(const TFilterSnapshot& s) {
    switch (s.State) {
        case TFilterState::Filtering:
            return "Filtering " + s.Caption + ": " + std::to_string(s.Packets) + " packets, " +
                   std::to_string(s.Changed) + " changed" + SentText(s);
        case TFilterState::Waiting: return "Waiting for " + s.Caption + " to come back";
        case TFilterState::Appearing: return "Waiting for " + s.Caption + " to appear";
        case TFilterState::Ended:
        case TFilterState::NotFiltering: break;
    }
    // Without a worker, the reason is a reset refused at its stop.
    return s.LastError.empty() ? "Not filtering" : "Not filtering: " + s.LastError;
}

std::string TipText(const TFilterSnapshot& s) {
    std::string tip = kTitle;
    if (s.State == TFilterState::Filtering)
        tip += ": filtering " + s.Caption + ", " + std::to_string(s.Changed) + " changed" + SentText(s);
    else if (s.State == TFilterState::Waiting || s.State == TFilterState::Appearing)
        tip += ": waiting for " + s.Caption;
    return tip.substr(0, kTipLength);
}

std::string StopReason(const TFilterSnapshot& s) {
    if (s.State == TFilterState::Waiting) return "The adapter went away; filtering resumes when it is back.";
    if (s.State == TFilterState::Appearing)
        return "The remembered adapter " + s.Caption + " is not in the list; filtering starts when it appears.";
    // Every way the worker ends by itself logs an error first; the fallback
    // keeps the balloon from being empty should one ever not.
    if (s.State == TFilterState::Ended) return s.LastError.empty() ? "The filter ended." : s.LastError;
    return {};
}

std::string MissingAdapterReason(const std::string& InternalName) {
    return "The remembered adapter " + InternalName + " is not in the list.";
}

void Follow(TFilterSnapshot& s, const TFilterNews& News) {
    if (s.State == TFilterState::Ended) return;
    switch (News.Kind) {
        case TFilterNewsKind::Filtering: s.State = TFilterState::Filtering; break;
        case TFilterNewsKind::AdapterGone: s.State = TFilterState::Waiting; break;
        case TFilterNewsKind::Waiting: s.State = TFilterState::Appearing; break;
        case TFilterNewsKind::LockBusy:
        case TFilterNewsKind::Ended:
            s.State = TFilterState::Ended;
            s.LastError = WithoutLevel(News.Line);
            break;
        case TFilterNewsKind::Line:
        case TFilterNewsKind::LockUnguarded: break;
    }
}

TFilterStatus::TFilterStatus(tk::TForm& Form, tk::TLabel& Label, TTrayIcon& Tray, const TFilterControl& Filter)
    : form_(Form), label_(Label), tray_(Tray), filter_(Filter), timer_(this, TimerFired) {
    // An adapter's name may hold an "&": shown as it is, not as an accelerator.
    HWND label = label_.Handle();
    ::SetWindowLongPtrA(label, GWL_STYLE, ::GetWindowLongPtrA(label, GWL_STYLE) | SS_NOPREFIX);
    tray_.OnBalloonHintClick = [](tk::TObject*) {
        if (::IsIconic(tk::Application->Handle())) tk::Application->Restore();
    };
    timer_.Start(kRefreshMs);
}

void TFilterStatus::TimerFired(void* Self) {
    static_cast<TFilterStatus*>(Self)->Refresh();
}

void TFilterStatus::Started(const std::string& Caption) {
    heard_ = TFilterSnapshot{};
    heard_.State = TFilterState::Filtering;
    heard_.Caption = Caption;
    ++worker_;
}

void TFilterStatus::Heard(const TFilterNews& News) {
    Follow(heard_, News);
    // Shown at once rather than at the next tick: the start's worker says
    // this first, before the icon and tip have said anything else.
    if (heard_.State == TFilterState::Appearing) Refresh();
}

void TFilterStatus::Renamed(const std::string& Caption) {
    heard_.Caption = Caption;
}

void TFilterStatus::AfterStart(const std::string& RememberedAdapter) {
    // Enable found no row for it: nothing filters.
    if (!filter_ && !RememberedAdapter.empty()) Warn(MissingAdapterReason(RememberedAdapter));
    Refresh();
}

TFilterSnapshot TFilterStatus::Snapshot() const {
    const TTTLFilter* filter = filter_.operator->();
    if (!filter) {
        TFilterSnapshot stopped;
        stopped.LastError = WithoutLevel(filter_.EndedOnStop());
        return stopped;
    }
    TFilterSnapshot s = heard_;
    s.Packets = filter->Counts.FramesRead.load(std::memory_order_relaxed);
    s.Changed = filter->Counts.Rewritten.load(std::memory_order_relaxed);
    s.SentRule = filter->Options.RewriteSent;
    s.SentTTL = filter->Options.SentTTL;
    s.SentChanged = filter->Counts.SentRewritten.load(std::memory_order_relaxed);
    // A worker that ended without saying so (none does today) still shows as ended.
    if (filter->Finished()) s.State = TFilterState::Ended;
    return s;
}

void TFilterStatus::Refresh() {
    const TFilterSnapshot now = Snapshot();
    const std::string status = StatusText(now);
    if (label_.Caption() != status) label_.SetCaption(status);

    const bool filtering = now.State == TFilterState::Filtering;
    const int iconSize = ::GetSystemMetrics(SM_CXSMICON);
    if (iconSize != iconSize_) {
        const HINSTANCE instance = ::GetModuleHandleA(nullptr);
        if (iconSize_ == 0) {
            // The first refresh comes after the start-up has given the tray
            // its icon (also when an error cut the start-up short): that icon
            // is the filtering one, and it is shown.
            filteringIcon_.Assign(tray_.Icon());
            filteringIconShown_ = true;
        } else {
            // A change of scale: both again at the new size, shown anew.
            filteringIcon_.LoadFromResource(instance, IDI_MAINICON, iconSize, iconSize);
            filteringIconShown_.reset();
        }
        iconSize_ = iconSize;
        // The same size as the icon it stands in for.
        idleIcon_.LoadFromResource(instance, IDI_IDLEICON, filteringIcon_.Width(), filteringIcon_.Height());
    }
    if (filteringIconShown_ != filtering) {
        tray_.SetIcon(filtering ? filteringIcon_ : idleIcon_);
        filteringIconShown_ = filtering;
    }
    const std::string tip = TipText(now);
    if (tray_.Hint() != tip) tray_.SetHint(tip);

    if (now.State != shownState_ || worker_ != shownWorker_) {
        shownState_ = now.State;
        shownWorker_ = worker_;
        Warn(StopReason(now));
    }
}

void TFilterStatus::Warn(const std::string& Reason) {
    // The user who sees the window sees the status line.
    if (Reason.empty() || ::IsWindowVisible(form_.Handle())) return;
    tray_.ShowBalloonHint(kNotFilteringTitle, Reason);
}
