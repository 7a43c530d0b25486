#include "toolkit/Menus.h"

#include "toolkit/Forms.h"
#include "toolkit/Handles.h"

#include <algorithm>

namespace tk {

TMenuItem::TMenuItem(TComponent* owner, const std::string& caption) : TComponent(owner), Caption(caption) {}

TMenuItem::~TMenuItem() {
    if (parent_) parent_->Remove(this);
    for (TMenuItem* child : items_) child->parent_ = nullptr;
}

void TMenuItem::Click() {
    if (OnClick) OnClick(this);
}

void TMenuItem::Add(TMenuItem* item) {
    if (!item || item == this) return;
    if (item->parent_) item->parent_->Remove(item);
    item->parent_ = this;
    items_.push_back(item);
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner) {}

TPopupMenu::~TPopupMenu() = default;

namespace {

// Command ids are 1-based positions in `flat`; 0 means nothing was chosen.
HMENU BuildMenu(TMenuItem* parent, std::vector<TMenuItem*>& flat) {
    HMENU menu = ::CreatePopupMenu();
    for (int i = 0; i < parent->Count(); ++i) {
        TMenuItem* item = parent->Items(i);
        if (item->IsSeparator()) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING;
        if (!item->Enabled) flags |= MF_GRAYED;
        if (item->Checked) flags |= MF_CHECKED;
        if (item->Count() > 0) {
            HMENU sub = BuildMenu(item, flat);
            ::AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), item->Caption.c_str());
        } else {
            flat.push_back(item);
            ::AppendMenuA(menu, flags, flat.size(), item->Caption.c_str());
        }
        if (item->Default) ::SetMenuDefaultItem(menu, static_cast<UINT>(i), TRUE);
    }
    return menu;
}

} // namespace

TMenuItem* TPopupMenu::AddItem(const std::string& Caption, const std::string& Name, TNotifyEvent OnClick) {
    TMenuItem* item = Named(new TMenuItem(Owner(), Caption), Name);
    item->OnClick = std::move(OnClick);
    items_.Add(item);
    return item;
}

void TPopupMenu::Popup(int x, int y) {
    SafeCall([&] {
        if (OnPopup) OnPopup(this);
    });
    std::vector<TMenuItem*> flat;
    UniqueMenu menu(BuildMenu(&items_, flat));
    HWND owner = Application ? Application->Handle() : nullptr;
    if (!owner) owner = ::GetActiveWindow();
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, x, y, 0, owner, nullptr));
    if (chosen == 0 || chosen > flat.size()) return;
    TMenuItem* item = flat[chosen - 1];
    SafeCall([item] { item->Click(); });
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == PopupComponent) PopupComponent = nullptr;
}

} // namespace tk
