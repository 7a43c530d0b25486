// Icons, colours and font styles.
#pragma once

#include "toolkit/Classes.h"
#include "toolkit/Handles.h"

namespace tk {

using TColor = COLORREF;
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clRed = RGB(255, 0, 0);
// The system's window-text colour (the default of every control).
constexpr TColor clDefault = CLR_INVALID;

// Font style flags, combined with |.
using TFontStyles = unsigned;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

// An icon that owns its HICON. Copies are independent (CopyIcon).
class TIcon : public TObject {
public:
    TIcon() = default;
    TIcon(const TIcon& other);
    TIcon& operator=(const TIcon& other);

    // The icon's handle; null when empty. The icon keeps ownership.
    HICON Handle() const noexcept { return icon_.get(); }
    // Takes ownership of `icon` (may be null), then OnChange.
    void SetHandle(HICON icon);
    // Gives up ownership: the caller destroys the returned handle.
    HICON ReleaseHandle() noexcept;
    // Becomes a copy of `source` (empty when it is), then OnChange.
    void Assign(const TIcon& source);
    // Loads icon `id` of `module` at the given size (0, 0: the system's large
    // icon size), then OnChange; false and unchanged when it is not there.
    bool LoadFromResource(HINSTANCE module, int id, int width = 0, int height = 0);
    bool LoadFromResource(HINSTANCE module, const char* name, int width = 0, int height = 0);
    bool Empty() const noexcept { return !icon_; }
    // Pixel size of the held icon; 0 when empty.
    int Width() const;
    int Height() const;

    // Raised after every change of the held icon.
    TNotifyEvent OnChange;

private:
    void Changed();
    UniqueIcon icon_;
};

} // namespace tk
