#include "toolkit/ImgList.h"

#include "toolkit/Controls.h"

namespace tk {

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(width), height_(height) {
    if (auto* form = dynamic_cast<TControl*>(owner)) dpi_ = form->Dpi();
    list_.reset(::ImageList_Create(Width(), Height(), ILC_COLOR32 | ILC_MASK, 4, 4));
}

int TImageList::Add(HICON icon) {
    // ImageList_AddIcon copies the image; the caller keeps its icon.
    return list_ && icon ? ::ImageList_AddIcon(list_.get(), icon) : -1;
}

int TImageList::AddIcon(HICON icon) {
    const int index = Add(icon);
    if (index >= 0) sources_.push_back({nullptr, 0, UniqueIcon(::CopyIcon(icon))});
    return index;
}

int TImageList::AddIconResource(HINSTANCE module, int id) {
    UniqueIcon icon(static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, Width(), Height(), 0)));
    const int index = Add(icon.get());
    if (index >= 0) sources_.push_back({module, id, UniqueIcon()});
    return index;
}

void TImageList::SetDpi(int dpi) {
    if (dpi <= 0 || dpi == dpi_) return;
    dpi_ = dpi;
    // The handle stays, so that the controls showing the list keep it.
    if (!list_ || !::ImageList_SetIconSize(list_.get(), Width(), Height())) return;
    for (const TSource& source : sources_) {
        if (source.icon) {
            Add(source.icon.get());
            continue;
        }
        UniqueIcon icon(static_cast<HICON>(
            ::LoadImageA(source.module, MAKEINTRESOURCEA(source.id), IMAGE_ICON, Width(), Height(), 0)));
        Add(icon.get());
    }
}

bool TImageList::AddIconResources(HINSTANCE module, std::initializer_list<int> ids) {
    bool all = true;
    for (int id : ids)
        if (AddIconResource(module, id) < 0) all = false;
    return all;
}

void TImageList::Clear() {
    if (list_) ::ImageList_Remove(list_.get(), -1);
    sources_.clear();
}

int TImageList::Count() const { return list_ ? ::ImageList_GetImageCount(list_.get()) : 0; }

bool TImageList::GetIcon(int index, TIcon& icon) const {
    if (!list_ || index < 0 || index >= Count()) return false;
    HICON copy = ::ImageList_GetIcon(list_.get(), index, ILD_NORMAL);
    if (!copy) return false;
    icon.SetHandle(copy);
    return true;
}

} // namespace tk
