// Common controls: the report-style list view and the spin control.
#pragma once

#include "toolkit/Controls.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace tk {

class TImageList;
class TListView;

// One row of a TListView. Rows are only appended and cleared, so a row's
// index never changes; the object lives until the list is cleared.
class TListItem {
public:
    int Index() const noexcept { return index_; }
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    // Appends the text of the next column.
    void AddSubItem(const std::string& text);
    // Text of column `index` + 1; empty when there is none.
    std::string SubItem(int index) const;
    int SubItemCount() const noexcept { return subItems_; }
    int Data = 0; // the caller's value for the row
    int ImageIndex() const noexcept { return imageIndex_; }
    void SetImageIndex(int index);
    bool Selected() const;
    // Selects (or unselects) the row without focusing it or scrolling it into view.
    void SetSelected(bool selected);

private:
    friend class TListView;
    TListItem(TListView* owner, int index) : owner_(owner), index_(index) {}
    TListView* owner_;
    int index_;
    int subItems_ = 0;
    int imageIndex_ = -1;
    std::string caption_;
    std::vector<std::string> subTexts_;
};

// A read-only report-style list view: whole rows selected, one at a time, the
// selection kept visible without focus, small icons from SmallImages.
class TListView : public TControl {
public:
    TListView(TWinControl* parent, int left, int top, int width, int height);
    ~TListView() override;

    // A column `width` pixels wide at 96 DPI.
    void AddColumn(const std::string& caption, int width);
    // The image list of the rows' icons (not owned); null for none.
    void SetSmallImages(TImageList* images);
    TImageList* SmallImages() const noexcept { return images_; }

    TListItem* Add();
    void Clear();
    // Scales the columns and takes up the image list's new size.
    void DpiChanged(int oldDpi, int newDpi) override;
    int Count() const noexcept { return static_cast<int>(items_.size()); }
    TListItem* Item(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    // The selected row, or null.
    TListItem* Selected() const;

    // Repainting is suspended from the first BeginUpdate until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();

    void Notification(TComponent* component, TOperation operation) override;

private:
    std::vector<std::unique_ptr<TListItem>> items_;
    TImageList* images_ = nullptr;
    int updateCount_ = 0;
};

// A spin control bound to an edit box that it writes its position into.
// Defaults: range 0..100, increment 1, wrap off, arrow keys on, thousands
// separators off, position 0.
class TUpDown : public TControl {
public:
    // Placed at the right edge of `associate`.
    TUpDown(TWinControl* parent, TControl* associate);

    void SetRange(int min, int max);
    int Min() const;
    int Max() const;
    // The position, read back from the edit box when it holds a whole number in
    // the range; otherwise (any other text, an empty box too) the last position
    // the control held.
    int Position() const;
    // Held within the range by the control.
    void SetPosition(int position);
    void SetIncrement(int increment);
    bool Wrap() const;
    void SetWrap(bool wrap);
    bool ArrowKeys() const;
    void SetArrowKeys(bool arrowKeys);
    bool Thousands() const;
    void SetThousands(bool thousands);
    TControl* Associate() const noexcept { return associate_; }

    bool ScrollNotify(UINT message, WPARAM wParam) override;

private:
    void SetStyleFlag(DWORD flag, bool on);
    // The held position as the control reports it (it rereads the edit box).
    int ControlPosition() const;
    TControl* associate_;
    // The last position held: set, stepped by the arrows, or read from the
    // edit box. Kept here because the control itself takes any text it can
    // parse (an empty box reads as 0), where only a whole number counts.
    mutable int position_ = 0;
};

} // namespace tk
