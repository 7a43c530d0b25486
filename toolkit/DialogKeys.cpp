// Tab, Enter, Esc and accelerators on the toolkit's forms.
#include "toolkit/Forms.h"

#include "toolkit/StdCtrls.h"

#include <cctype>

namespace tk {

bool TForm::IsDialogKey(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_CHAR && msg.message != WM_SYSCHAR) return false;
    TForm* form = FormOf(msg.hwnd);
    if (!form || !::IsWindowEnabled(form->handle_)) return false;
    // Without a message pointer: an edit box asked with one switches to
    // dialog behaviour (Esc closing its parent).
    const LRESULT code = ::SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, 0);
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;

    auto accelerator = [form](char key) {
        const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
        std::vector<TControl*> all;
        CollectControls(form, all);
        for (TControl* c : all) {
            if (c->Accelerator() != wanted || !::IsWindowVisible(c->Handle()) || !::IsWindowEnabled(c->Handle()))
                continue;
            bool acted = false;
            SafeCall([&] { acted = c->AcceleratorPressed(); });
            if (acted) return true;
        }
        return false;
    };

    if (msg.message == WM_SYSCHAR) return accelerator(static_cast<char>(msg.wParam));
    if (msg.message == WM_CHAR) {
        if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) return false;
        if (msg.wParam < 0x20) return false;
        return accelerator(static_cast<char>(msg.wParam));
    }

    switch (msg.wParam) {
    case VK_TAB: {
        if (alt || ctrl || (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) == DLGC_WANTTAB) return false;
        const bool back = ::GetKeyState(VK_SHIFT) < 0;
        HWND start = msg.hwnd == form->handle_ ? nullptr : msg.hwnd;
        HWND next = ::GetNextDlgTabItem(form->handle_, start, back ? TRUE : FALSE);
        if (next) {
            ::SetFocus(next);
            if (::SendMessageA(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) ::SendMessageA(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    case VK_RETURN: {
        if (alt || ctrl || (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) return false;
        TButton* target = nullptr;
        if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) target = dynamic_cast<TButton*>(FromHandle(msg.hwnd));
        if (!target) target = form->DefaultButton();
        if (!target || !::IsWindowVisible(target->Handle()) || !::IsWindowEnabled(target->Handle())) return false;
        SafeCall([target] { target->Click(); });
        return true;
    }
    case VK_ESCAPE: {
        if (alt || ctrl) return false;
        TButton* target = form->CancelButton();
        if (!target || !::IsWindowVisible(target->Handle()) || !::IsWindowEnabled(target->Handle())) return false;
        SafeCall([target] { target->Click(); });
        return true;
    }
    default: return false;
    }
}

} // namespace tk
