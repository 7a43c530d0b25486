#include "toolkit/ComCtrls.h"

#include "toolkit/ImgList.h"

#include <algorithm>
#include <charconv>

namespace tk {

// ---- TListItem

std::string TListItem::Caption() const { return caption_; }

void TListItem::SetCaption(const std::string& caption) {
    caption_ = caption;
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(caption_.c_str());
    ::SendMessageA(owner_->Handle(), LVM_SETITEMTEXTA, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

void TListItem::AddSubItem(const std::string& text) {
    subTexts_.push_back(text);
    subItems_ = static_cast<int>(subTexts_.size());
    LVITEMA item{};
    item.iSubItem = subItems_;
    item.pszText = const_cast<char*>(subTexts_.back().c_str());
    ::SendMessageA(owner_->Handle(), LVM_SETITEMTEXTA, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

std::string TListItem::SubItem(int index) const {
    if (index < 0 || index >= subItems_) return std::string();
    return subTexts_[static_cast<size_t>(index)];
}

void TListItem::SetImageIndex(int index) {
    imageIndex_ = index;
    LVITEMA item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index_;
    item.iImage = index;
    ::SendMessageA(owner_->Handle(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

bool TListItem::Selected() const {
    return (::SendMessageA(owner_->Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(index_), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
}

void TListItem::SetSelected(bool selected) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    ::SendMessageA(owner_->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&item));
}

// ---- TListView

TListView::TListView(TWinControl* parent, int left, int top, int width, int height)
    : TControl(parent, WC_LISTVIEWA, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | WS_TABSTOP,
               WS_EX_CLIENTEDGE) {
    ::SendMessageA(handle_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SetBounds(left, top, width, height);
}

TListView::~TListView() = default;

void TListView::AddColumn(const std::string& caption, int width) {
    HWND header = reinterpret_cast<HWND>(::SendMessageA(handle_, LVM_GETHEADER, 0, 0));
    const int index = header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(caption.c_str());
    column.cx = Scaled(width);
    column.iSubItem = index;
    ::SendMessageA(handle_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void TListView::DpiChanged(int oldDpi, int newDpi) {
    TControl::DpiChanged(oldDpi, newDpi);
    HWND header = reinterpret_cast<HWND>(::SendMessageA(handle_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < columns; ++i) {
        const int width = static_cast<int>(::SendMessageA(handle_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
        ::SendMessageA(handle_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), ::MulDiv(width, newDpi, oldDpi));
    }
    // The rows take their height from the images' size when the list is set.
    if (images_) SetSmallImages(images_);
}

void TListView::SetSmallImages(TImageList* images) {
    images_ = images;
    if (images) FreeNotification(images);
    ::SendMessageA(handle_, LVM_SETIMAGELIST, LVSIL_SMALL,
                   reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}

TListItem* TListView::Add() {
    const int index = Count();
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<char*>("");
    item.lParam = index;
    const int got = static_cast<int>(::SendMessageA(handle_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    items_.push_back(std::unique_ptr<TListItem>(new TListItem(this, got >= 0 ? got : index)));
    return items_.back().get();
}

void TListView::Clear() {
    ::SendMessageA(handle_, LVM_DELETEALLITEMS, 0, 0);
    items_.clear();
}

TListItem* TListView::Selected() const {
    const int index = static_cast<int>(::SendMessageA(handle_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

void TListView::BeginUpdate() {
    if (updateCount_++ == 0) ::SendMessageA(handle_, WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ == 0) {
        ::SendMessageA(handle_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(handle_, nullptr, TRUE);
    }
}

void TListView::Notification(TComponent* component, TOperation operation) {
    TControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == images_) {
        images_ = nullptr;
        if (handle_) ::SendMessageA(handle_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    }
}

// ---- TUpDown

TUpDown::TUpDown(TWinControl* parent, TControl* associate)
    : TControl(parent, UPDOWN_CLASSA, UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS),
      associate_(associate) {
    ::SendMessageA(handle_, UDM_SETRANGE32, 0, 100);
    if (associate_) ::SendMessageA(handle_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(associate_->Handle()), 0);
    SetPosition(0);
}

void TUpDown::SetRange(int min, int max) { ::SendMessageA(handle_, UDM_SETRANGE32, static_cast<WPARAM>(min), max); }

int TUpDown::Min() const {
    int min = 0;
    int max = 0;
    ::SendMessageA(handle_, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&min), reinterpret_cast<LPARAM>(&max));
    return min;
}

int TUpDown::Max() const {
    int min = 0;
    int max = 0;
    ::SendMessageA(handle_, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&min), reinterpret_cast<LPARAM>(&max));
    return max;
}

int TUpDown::ControlPosition() const {
    BOOL error = FALSE;
    return static_cast<int>(::SendMessageA(handle_, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)));
}

namespace {
// A whole number (optional minus sign, then digits, nothing else), without
// the thousands separator `separator` (0 for none).
bool ParseWholeNumber(std::string text, char separator, int& value) {
    if (separator) text.erase(std::remove(text.begin(), text.end(), separator), text.end());
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '-') ++first;
    if (first == last || !std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; })) return false;
    const auto [end, error] = std::from_chars(text.data(), last, value);
    return error == std::errc() && end == last;
}
} // namespace

int TUpDown::Position() const {
    if (!associate_) return position_ = ControlPosition();
    char separator = 0;
    if (Thousands()) {
        char buffer[4] = {};
        if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, sizeof buffer) > 0) separator = buffer[0];
    }
    int value = 0;
    const int low = (std::min)(Min(), Max());
    const int high = (std::max)(Min(), Max());
    if (ParseWholeNumber(associate_->Text(), separator, value) && value >= low && value <= high) position_ = value;
    return position_;
}

void TUpDown::SetPosition(int position) {
    ::SendMessageA(handle_, UDM_SETPOS32, 0, position);
    // The control has just written the held (range-limited) position into the edit box.
    position_ = ControlPosition();
}

bool TUpDown::ScrollNotify(UINT message, WPARAM wParam) {
    // Sent after every step of the arrows, the keys or the wheel.
    if (LOWORD(wParam) == SB_THUMBPOSITION) position_ = ControlPosition();
    return false;
}

void TUpDown::SetIncrement(int increment) {
    UDACCEL accel{0, static_cast<UINT>(increment)};
    ::SendMessageA(handle_, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
}

void TUpDown::SetStyleFlag(DWORD flag, bool on) {
    LONG style = ::GetWindowLongA(handle_, GWL_STYLE);
    style = on ? (style | static_cast<LONG>(flag)) : (style & ~static_cast<LONG>(flag));
    ::SetWindowLongA(handle_, GWL_STYLE, style);
}

bool TUpDown::Wrap() const { return (::GetWindowLongA(handle_, GWL_STYLE) & UDS_WRAP) != 0; }
void TUpDown::SetWrap(bool wrap) { SetStyleFlag(UDS_WRAP, wrap); }
bool TUpDown::ArrowKeys() const { return (::GetWindowLongA(handle_, GWL_STYLE) & UDS_ARROWKEYS) != 0; }
void TUpDown::SetArrowKeys(bool arrowKeys) { SetStyleFlag(UDS_ARROWKEYS, arrowKeys); }
bool TUpDown::Thousands() const { return (::GetWindowLongA(handle_, GWL_STYLE) & UDS_NOTHOUSANDS) == 0; }
void TUpDown::SetThousands(bool thousands) {
    SetStyleFlag(UDS_NOTHOUSANDS, !thousands);
    SetPosition(Position());
}

} // namespace tk
