#include "toolkit/ImgList.h"

namespace tk {

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(width), height_(height),
      list_(::ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 4, 4)) {}

int TImageList::AddIcon(HICON icon) {
    if (!list_ || !icon) return -1;
    // ImageList_AddIcon copies the image; the caller keeps its icon.
    return ::ImageList_AddIcon(list_.get(), icon);
}

int TImageList::AddIconResource(HINSTANCE module, int id) {
    UniqueIcon icon(static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, width_, height_, 0)));
    if (!icon) return -1;
    return AddIcon(icon.get());
}

bool TImageList::AddIconResources(HINSTANCE module, std::initializer_list<int> ids) {
    bool all = true;
    for (int id : ids)
        if (AddIconResource(module, id) < 0) all = false;
    return all;
}

void TImageList::Clear() {
    if (list_) ::ImageList_Remove(list_.get(), -1);
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
