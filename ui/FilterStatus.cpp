#include "ui/FilterStatus.h"

#include "ui/Resources.h"

namespace {

constexpr const char* kTitle = "Brackwater";
constexpr std::size_t kTipLength = 127;
constexpr std::uint32_t kRefreshMs = 1000;
// By TTrayMark; the filtering icon is the application's own.
constexpr int kMarkIcons[kTrayMarks] = {IDI_MAINICON, IDI_WAITICON, IDI_IDLEICON, IDI_ERRORICON};

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
    // Every way the worker ends by itself logs an error first; the fallback
    // keeps the balloon from being empty should one ever not.
    if (s.State == TFilterState::Ended) return s.LastError.empty() ? "The filter ended." : s.LastError;
    return {};
}

std::string MissingAdapterReason(const std::string& InternalName) {
    return "The remembered adapter " + InternalName + " is not in the list.";
}

TTrayMark MarkFor(const TFilterSnapshot& s) {
    switch (s.State) {
        case TFilterState::Filtering: return TTrayMark::Filtering;
        case TFilterState::Waiting:
        case TFilterState::Appearing: return TTrayMark::Waiting;
        case TFilterState::Ended: return TTrayMark::Error;
        case TFilterState::NotFiltering: break;
    }
    // A reset refused at the stop: the adapter may still be cut off.
    return s.LastError.empty() ? TTrayMark::Off : TTrayMark::Error;
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
            s.LastError = News.Text;
            break;
        case TFilterNewsKind::Line:
        case TFilterNewsKind::LockUnguarded: break;
    }
}

TFilterStatus::TFilterStatus(tk::TForm& Form, tk::TLabel& Label, TTrayIcon& Tray, const TFilterControl& Filter,
                             const TSettings& Settings)
    : form_(Form), label_(Label), tray_(Tray), filter_(Filter), settings_(Settings), timer_(this, TimerFired) {
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
        stopped.LastError = filter_.EndedOnStop();
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

    const TTrayMark mark = MarkFor(now);
    const int iconSize = ::GetSystemMetrics(SM_CXSMICON);
    tk::TIcon& filteringIcon = icons_[static_cast<int>(TTrayMark::Filtering)];
    if (iconSize != iconSize_) {
        const HINSTANCE instance = ::GetModuleHandleA(nullptr);
        if (iconSize_ == 0) {
            // The first refresh comes after the start-up has given the tray
            // its icon (also when an error cut the start-up short): that icon
            // is the filtering one, and it is shown.
            filteringIcon.Assign(tray_.Icon());
            shownMark_ = TTrayMark::Filtering;
        } else {
            // A change of scale: all again at the new size, shown anew.
            filteringIcon.LoadFromResource(instance, IDI_MAINICON, iconSize, iconSize);
            shownMark_.reset();
        }
        iconSize_ = iconSize;
        // The same size as the icon they stand in for.
        for (std::size_t i = 1; i < kTrayMarks; ++i)
            icons_[i].LoadFromResource(instance, kMarkIcons[i], filteringIcon.Width(), filteringIcon.Height());
    }
    if (shownMark_ != mark) {
        tray_.SetIcon(icons_[static_cast<int>(mark)]);
        shownMark_ = mark;
    }
    const std::string tip = TipText(now);
    if (tray_.Hint() != tip) tray_.SetHint(tip);

    if (now.State != shownState_ || worker_ != shownWorker_) {
        shownState_ = now.State;
        shownWorker_ = worker_;
        Warn(StopReason(now));
    }
}

void TFilterStatus::DisabledFromTray() {
    Warn(filter_.EndedOnStop());
}

TTrayCommands TFilterStatus::TrayCommands(const std::string* Selected) const {
    const TFilterState state = Snapshot().State;
    const bool follows = state == TFilterState::Filtering || state == TFilterState::Waiting ||
                         state == TFilterState::Appearing;
    const bool selectedFollowed = Selected && follows && filter_->Options.AdapterName == *Selected;
    return {Selected && !selectedFollowed, static_cast<bool>(filter_)};
}

void TFilterStatus::GreyTrayCommands(const tk::TListView& Adapters, tk::TMenuItem& Enable,
                                     tk::TMenuItem& Disable) const {
    const tk::TListItem* row = Adapters.Selected();
    const std::string selected = row ? row->SubItem(0) : std::string();
    const TTrayCommands commands = TrayCommands(row ? &selected : nullptr);
    Enable.Enabled = commands.Enable;
    Disable.Enabled = commands.Disable;
}

void TFilterStatus::Warn(const std::string& Reason) {
    // The user who sees the window sees the status line.
    if (Reason.empty() || !settings_.Notifications || ::IsWindowVisible(form_.Handle())) return;
    tray_.ShowBalloonHint(kNotFilteringTitle, Reason);
}
