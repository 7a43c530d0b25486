// Images, bevels and panels.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/Graphics.h"

#include <string>

namespace tk {

// Shows an icon at its own size in the top-left corner.
class TImage : public TControl {
public:
    TImage(TWinControl* parent, int left, int top, int width, int height);

    // The picture; assign or change it (e.g. Icon().Assign(...)) to show another.
    TIcon& Icon() noexcept { return icon_; }

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    TIcon icon_;
};

enum class TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum class TBevelStyle { bsLowered, bsRaised };

// A sunken or raised line or frame.
class TBevel : public TControl {
public:
    TBevel(TWinControl* parent, int left, int top, int width, int height);

    void SetShape(TBevelShape shape);
    void SetStyle(TBevelStyle style);

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    TBevelShape shape_ = TBevelShape::bsBox;
    TBevelStyle style_ = TBevelStyle::bsLowered;
};

enum class TPanelBevel { bvNone, bvLowered, bvRaised };

// A container for controls, with an optional outer bevel and a centred caption.
class TPanel : public TWinControl {
public:
    TPanel(TWinControl* parent, int left, int top, int width, int height);

    void SetBevelOuter(TPanelBevel bevel);
    void SetCaption(const std::string& caption) override;

    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    TPanelBevel bevelOuter_ = TPanelBevel::bvRaised;
};

} // namespace tk
