// Answers the message boxes that the code under test shows, in the test's own
// process or in one it started, and records what each said, from a second
// thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The message boxes on the screen (visible dialogs) of `process`, 0: of every
// process.
inline std::vector<HWND> VisibleBoxes(DWORD process = ::GetCurrentProcessId()) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
        static BOOL CALLBACK Visit(HWND w, LPARAM self) {
            auto* search = reinterpret_cast<Search*>(self);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            char cls[16] = {};
            ::GetClassNameA(w, cls, sizeof cls);
            if ((pid == search->process || !search->process) && std::string(cls) == "#32770" && ::IsWindowVisible(w))
                search->found.push_back(w);
            return TRUE;
        }
    } search{process, {}};
    ::EnumWindows(Search::Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline bool MenuOpen() {
    HWND menu = ::FindWindowA("#32768", nullptr);
    return menu && ::IsWindowVisible(menu);
}

class BoxWatcher {
public:
    struct Box {
        std::string caption, text;
        bool centred;       // on the screen
        RECT rect;
        unsigned long seen; // what `sample` returned when the box was found
    };
    // Each box found is answered with `answer`; `sample`, when given, records
    // a state of the test's world at the moment the box is up; `process` 0
    // watches the boxes of every process.
    explicit BoxWatcher(int answer = IDOK, std::function<unsigned long()> sample = nullptr,
                        DWORD process = ::GetCurrentProcessId())
        : answer_(answer), sample_(std::move(sample)), process_(process), thread_([this] { Run(); }) {}
    ~BoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<Box> Boxes() {
        std::lock_guard<std::mutex> g(lock_);
        return boxes_;
    }

private:
    void Answer(HWND w) {
        const unsigned long seen = sample_ ? sample_() : 0;
        char caption[256] = {}, text[1024] = {};
        ::GetWindowTextA(w, caption, sizeof caption);
        ::GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
        RECT r{};
        ::GetWindowRect(w, &r);
        const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
        const int sx = ::GetSystemMetrics(SM_CXSCREEN) / 2, sy = ::GetSystemMetrics(SM_CYSCREEN) / 2;
        {
            std::lock_guard<std::mutex> g(lock_);
            boxes_.push_back({caption, text, std::abs(cx - sx) <= 2 && std::abs(cy - sy) <= 2, r, seen});
        }
        ::PostMessageA(w, WM_COMMAND, answer_, 0);
        // Until the box has gone, however long its owner takes, so that it is
        // counted once.
        while (!stop_ && ::IsWindow(w) && ::IsWindowVisible(w)) ::Sleep(5);
    }
    void Run() {
        while (!stop_) {
            for (HWND box : VisibleBoxes(process_)) Answer(box);
            ::Sleep(20);
        }
    }
    int answer_;
    std::function<unsigned long()> sample_;
    DWORD process_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<Box> boxes_;
    std::thread thread_;
};
