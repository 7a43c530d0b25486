// A list of equally sized icons.
#pragma once

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"

#include <commctrl.h>

#include <initializer_list>
#include <vector>

namespace tk {

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::ImageList_Destroy(h); }
};
using UniqueImageList = UniqueHandle<ImageListTraits>;

// Its images are width x height pixels at 96 DPI, drawn at the DPI of the
// form that owns the list.
class TImageList : public TComponent {
public:
    // Images of width x height pixels at 96 DPI (small icons by default).
    explicit TImageList(TComponent* owner, int width = 16, int height = 16);

    // Adds a copy of `icon`; returns its index, -1 on failure.
    int AddIcon(HICON icon);
    // Adds icon resource `id` of `module` at the list's size; -1 when absent.
    int AddIconResource(HINSTANCE module, int id);
    // AddIconResource for each id, in order; returns whether all were found.
    bool AddIconResources(HINSTANCE module, std::initializer_list<int> ids);
    void Clear();

    int Count() const;
    // The images' size in pixels at the list's DPI.
    int Width() const noexcept { return ::MulDiv(width_, dpi_, 96); }
    int Height() const noexcept { return ::MulDiv(height_, dpi_, 96); }
    // Makes the images anew at `dpi`: icon resources are loaded again at the
    // new size, icons added by handle are redrawn from their copies.
    void SetDpi(int dpi);
    // Puts a copy of image `index` into `icon`; false when there is no such image.
    bool GetIcon(int index, TIcon& icon) const;
    HIMAGELIST Handle() const noexcept { return list_.get(); }

private:
    // What each image was made from: a resource, or a copy of an icon.
    struct TSource {
        HINSTANCE module;
        int id;
        UniqueIcon icon;
    };
    int Add(HICON icon);

    int width_;
    int height_;
    int dpi_ = 96;
    UniqueImageList list_;
    std::vector<TSource> sources_;
};

} // namespace tk
