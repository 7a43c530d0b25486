// Popup menus and their items.
#pragma once

#include "toolkit/Classes.h"

#include <string>
#include <vector>

namespace tk {

// A menu entry. Caption "-" makes a separator. Items belong to their owner
// component (usually the form); the parent item only lists them.
class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner, const std::string& caption = std::string());
    ~TMenuItem() override;

    std::string Caption;
    // Shown bold; Enter or a double click on a tray icon picks it.
    bool Default = false;
    bool Enabled = true;
    bool Checked = false;
    TNotifyEvent OnClick;
    // Raises OnClick (if assigned) with the item as Sender.
    virtual void Click();

    bool IsSeparator() const { return Caption == "-"; }
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    int Count() const noexcept { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    TMenuItem* Parent() const noexcept { return parent_; }

private:
    TMenuItem* parent_ = nullptr;
    std::vector<TMenuItem*> items_;
};

// A menu opened at a screen point. Its items are under Items().
class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;

    TMenuItem* Items() noexcept { return &items_; }
    // Appends a new item, named `Name` and owned by the menu's owner.
    TMenuItem* AddItem(const std::string& Caption, const std::string& Name, TNotifyEvent OnClick = {});
    // Whether the menu opens by itself (on a right click of its user).
    bool AutoPopup = true;
    // The component that last opened the menu (set by whoever opens it).
    TComponent* PopupComponent = nullptr;

    // Opens the menu at screen point (x, y); returns when it has closed, after
    // the chosen item's Click has run (an exception in it goes to the error box).
    virtual void Popup(int x, int y);
    TNotifyEvent OnPopup;

    void Notification(TComponent* component, TOperation operation) override;

private:
    TMenuItem items_{nullptr};
};

} // namespace tk
