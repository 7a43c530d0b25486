// What the main window tells of the worker: the status line, the tray icon
// and tip, and a balloon when filtering stops and only the user can start it
// again.
#pragma once

#include "toolkit/ComCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/Menus.h"
#include "toolkit/Graphics.h"
#include "toolkit/StdCtrls.h"
#include "ui/FilterControl.h"
#include "ui/Settings.h"
#include "ui/SimpleTimer.h"
#include "ui/TrayIcon.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

enum class TFilterState {
    NotFiltering,  // no worker
    Filtering,
    Waiting,       // the worker waits for its adapter to come back
    Appearing,     // the worker waits for its adapter to be listed at all
    Ended,         // the worker has ended by itself
};

struct TFilterSnapshot {
    TFilterState State = TFilterState::NotFiltering;
    std::string Caption;  // the worker's: its row's, as in the "Filtering %s..." line, or the internal name
    std::uint64_t Packets = 0;
    std::uint64_t Changed = 0;
    // The error line the worker ended on, without its level; without a
    // worker, the one the last worker ended on while it was being stopped.
    std::string LastError;
    // Whether the worker sets the TTL of sent packets, to what, and how many it set.
    bool SentRule = false;
    int SentTTL = 0;
    std::uint64_t SentChanged = 0;
};

// The state and the reason to stop once the worker has told `News`. An
// ending stands whatever comes after it.
void Follow(TFilterSnapshot& Snapshot, const TFilterNews& News);

std::string StatusText(const TFilterSnapshot& Snapshot);
// At most the 127 characters the shell shows.
std::string TipText(const TFilterSnapshot& Snapshot);
// Why filtering has stopped without the user asking and will not resume by
// itself; empty while it has not (a wait resumes by itself).
std::string StopReason(const TFilterSnapshot& Snapshot);

// The four tray icons, told apart by shape as well as colour.
enum class TTrayMark {
    Filtering,  // the application's icon
    Waiting,    // grey with a clock
    Off,        // grey with a diagonal bar
    Error,      // grey with a red "!": only the user can start filtering again
};
constexpr std::size_t kTrayMarks = static_cast<std::size_t>(TTrayMark::Error) + 1;
TTrayMark MarkFor(const TFilterSnapshot& Snapshot);

// Which of the tray menu's filter commands may be chosen.
struct TTrayCommands {
    bool Enable = false;
    bool Disable = false;
};
std::string MissingAdapterReason(const std::string& InternalName);

constexpr const char* kNotFilteringTitle = "Brackwater is not filtering";

// Shows the worker's state on the main window's label and tray icon, once a
// second and only what changed.
class TFilterStatus {
public:
    // `Settings` says whether balloons are shown at all ("Notifications").
    TFilterStatus(tk::TForm& Form, tk::TLabel& Label, TTrayIcon& Tray, const TFilterControl& Filter,
                  const TSettings& Settings);
    TFilterStatus(const TFilterStatus&) = delete;
    TFilterStatus& operator=(const TFilterStatus&) = delete;

    // A new worker for the row with this caption.
    void Started(const std::string& Caption);
    // Every piece of news the worker delivers.
    void Heard(const TFilterNews& News);
    // The worker's adapter is now shown in a row with this caption.
    void Renamed(const std::string& Caption);
    // Once the start-up has run Enable: warns when the remembered adapter was
    // not listed, and shows the state at once.
    void AfterStart(const std::string& RememberedAdapter);
    // After a Disable from the tray menu: a reset the driver refused is told
    // in a balloon, since the status line is out of sight.
    void DisabledFromTray();
    // Enable applies to the selected row (`Selected`, its internal name; null
    // when none is) unless it is the one filtered or waited for; Disable to any worker.
    TTrayCommands TrayCommands(const std::string* Selected) const;
    // Greys the tray menu's Enable and Disable where they would do nothing,
    // for the row selected in `Adapters`.
    void GreyTrayCommands(const tk::TListView& Adapters, tk::TMenuItem& Enable, tk::TMenuItem& Disable) const;
    // The timer's handler.
    void Refresh();
    TFilterSnapshot Snapshot() const;
    // The icon the tray shows; unset before the first refresh.
    std::optional<TTrayMark> ShownMark() const noexcept { return shownMark_; }

private:
    static void TimerFired(void* Self);
    void Warn(const std::string& Reason);

    tk::TForm& form_;
    tk::TLabel& label_;
    TTrayIcon& tray_;
    const TFilterControl& filter_;
    const TSettings& settings_;
    // By TTrayMark.
    tk::TIcon icons_[kTrayMarks];
    // The icon the tray shows; unset after the icons were loaded again, so
    // that the next refresh sets one.
    std::optional<TTrayMark> shownMark_;
    // The small-icon size the icons were taken at; 0 before the first refresh.
    int iconSize_ = 0;
    // What the worker's news said: its state, caption and reason to stop.
    TFilterSnapshot heard_;
    // Tells a worker from the one before it, so each one's stop is told once.
    unsigned worker_ = 0, shownWorker_ = 0;
    TFilterState shownState_ = TFilterState::NotFiltering;
    TSimpleTimer timer_;
};
