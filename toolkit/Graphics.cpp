#include "toolkit/Graphics.h"

namespace tk {

namespace {
HICON CopyOf(HICON icon) { return icon ? ::CopyIcon(icon) : nullptr; }
} // namespace

TIcon::TIcon(const TIcon& other) : TObject(), icon_(CopyOf(other.Handle())) {}

TIcon& TIcon::operator=(const TIcon& other) {
    if (this != &other) Assign(other);
    return *this;
}

void TIcon::SetHandle(HICON icon) {
    icon_.reset(icon);
    Changed();
}

HICON TIcon::ReleaseHandle() noexcept { return icon_.release(); }

void TIcon::Assign(const TIcon& source) {
    if (this == &source) return;
    SetHandle(CopyOf(source.Handle()));
}

bool TIcon::LoadFromResource(HINSTANCE module, int id, int width, int height) {
    return LoadFromResource(module, MAKEINTRESOURCEA(id), width, height);
}

bool TIcon::LoadFromResource(HINSTANCE module, const char* name, int width, int height) {
    const UINT flags = (width == 0 && height == 0) ? LR_DEFAULTSIZE : 0;
    HICON icon = static_cast<HICON>(::LoadImageA(module, name, IMAGE_ICON, width, height, flags));
    if (!icon) return false;
    SetHandle(icon);
    return true;
}

int TIcon::Width() const {
    ICONINFO info{};
    if (!icon_ || !::GetIconInfo(icon_.get(), &info)) return 0;
    BITMAP bm{};
    ::GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

int TIcon::Height() const {
    ICONINFO info{};
    if (!icon_ || !::GetIconInfo(icon_.get(), &info)) return 0;
    BITMAP bm{};
    ::GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    const bool monochrome = info.hbmColor == nullptr;
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    // A monochrome icon's mask holds the AND and XOR halves one above the other.
    return monochrome ? bm.bmHeight / 2 : bm.bmHeight;
}

void TIcon::Changed() {
    if (OnChange) OnChange(this);
}

} // namespace tk
