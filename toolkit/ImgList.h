// A list of equally sized icons.
#pragma once

#include "toolkit/Classes.h"
#include "toolkit/Graphics.h"

#include <commctrl.h>

#include <initializer_list>

namespace tk {

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::ImageList_Destroy(h); }
};
using UniqueImageList = UniqueHandle<ImageListTraits>;

class TImageList : public TComponent {
public:
    // Images of width x height pixels (small icons by default).
    explicit TImageList(TComponent* owner, int width = 16, int height = 16);

    // Adds a copy of `icon`; returns its index, -1 on failure.
    int AddIcon(HICON icon);
    // Adds icon resource `id` of `module` at the list's size; -1 when absent.
    int AddIconResource(HINSTANCE module, int id);
    // AddIconResource for each id, in order; returns whether all were found.
    bool AddIconResources(HINSTANCE module, std::initializer_list<int> ids);
    void Clear();

    int Count() const;
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    // Puts a copy of image `index` into `icon`; false when there is no such image.
    bool GetIcon(int index, TIcon& icon) const;
    HIMAGELIST Handle() const noexcept { return list_.get(); }

private:
    int width_;
    int height_;
    UniqueImageList list_;
};

} // namespace tk
