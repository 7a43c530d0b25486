#include "ui/AdapterView.h"

#include "toolkit/Handles.h"
#include "ui/AdapterList.h"
#include "ui/Resources.h"

#include <optional>
#include <utility>
#include <vector>

void SetUpAdapterView(tk::TListView& View, tk::TImageList& MediumIcons) {
    const HINSTANCE module = ::GetModuleHandleA(nullptr);
    for (int i = 0; i < MEDIUM_ICON_COUNT; ++i) MediumIcons.AddIconResource(module, IDI_MEDIUM_FIRST + i);
    const std::pair<const char*, int> columns[] = {
        {"Name", 200}, {"Internal Name", 300}, {"Current MAC", 100}, {"Medium", 100}, {"Current MTU", 100}};
    for (const auto& [title, width] : columns) View.AddColumn(title, width);
    View.SetSmallImages(&MediumIcons);
}

bool FillAdapterView(tk::TListView& View, const std::string& Selected) {
    View.BeginUpdate();
    tk::ScopeGuard endUpdate([&View] { View.EndUpdate(); });
    View.Clear();
    const std::optional<std::vector<TAdapterRow>> rows = ReadAdapterRows();
    if (!rows) return false;
    for (const TAdapterRow& row : *rows) {
        tk::TListItem* item = View.Add();
        item->SetCaption(row.Caption);
        item->Data = row.Position;
        for (const std::string& text : {row.InternalName, row.Mac, row.Medium, row.Mtu}) item->AddSubItem(text);
        item->SetImageIndex(row.MediumIcon);
        if (row.InternalName == Selected) item->SetSelected(true);
    }
    return true;
}
