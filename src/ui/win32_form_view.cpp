// The connection dialog as a real Win32 window, built from the form's stored
// layout and run modally with a message loop of its own.

#include <windows.h>
#include <commctrl.h>

#include <stdexcept>

#include "ui/application.h"

namespace qmx {
namespace {

constexpr char kClassName[] = "TfmTuneParamsQX";
constexpr int kComboId = 101;
constexpr int kSaveId = IDOK;
constexpr int kCancelId = IDCANCEL;
constexpr int kDroppedRows = 12;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

class TWin32FormView;

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The green check mark of the Save button; grey when the button is disabled.
void DrawCheckGlyph(HDC dc, int left, int top, bool enabled) {
    const COLORREF colour = enabled ? RGB(0, 128, 0) : GetSysColor(COLOR_GRAYTEXT);
    HPEN pen = CreatePen(PS_SOLID, 2, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, left + 1, top + 7, nullptr);
    LineTo(dc, left + 5, top + 11);
    LineTo(dc, left + 13, top + 2);
    SelectObject(dc, old);
    DeleteObject(pen);
    if (!enabled) {
        // The greyed twin: a white highlight under the grey line.
        HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        old = SelectObject(dc, light);
        MoveToEx(dc, left + 2, top + 9, nullptr);
        LineTo(dc, left + 5, top + 12);
        LineTo(dc, left + 14, top + 3);
        SelectObject(dc, old);
        DeleteObject(light);
    }
}

class TWin32FormView final : public TFormView {
public:
    int RunModal(TfmTuneParamsQX& form) override {
        FForm = &form;
        FResult = 0;
        RegisterClassOnce();
        HWND owner = GetActiveWindow();
        Create(owner);
        form.FormShow(&form);
        Refresh(form);
        if (owner != nullptr) EnableWindow(owner, FALSE);
        ShowWindow(FWindow, SW_SHOW);
        SetFocus(FCombo);
        MSG message;
        while (FResult == 0 && GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.message == WM_KEYDOWN && IsChild(FWindow, message.hwnd) && HandleKey(message.wParam))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (owner != nullptr) EnableWindow(owner, TRUE);
        DestroyWindow(FWindow);
        DeleteObject(FFont);
        if (owner != nullptr) SetActiveWindow(owner);
        FWindow = nullptr;
        return FResult != 0 ? FResult : kModalCancel;
    }

    void EndModal(int result) override { FResult = result; }

    void Refresh(TfmTuneParamsQX& form) override {
        if (FWindow == nullptr) return;
        SendMessageA(FCombo, CB_SETCURSEL, static_cast<WPARAM>(form.cbConnetionType.ItemIndex), 0);
        EnableWindow(FSave, form.bbtSave.Enabled ? TRUE : FALSE);
        InvalidateRect(FSave, nullptr, TRUE);
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND:
                Command(LOWORD(wParam), HIWORD(wParam));
                return 0;
            case WM_DRAWITEM:
                DrawSave(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_CLOSE:
                EndModal(kModalCancel);
                return 0;
            case WM_CTLCOLORSTATIC:
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            default:
                return DefWindowProcA(FWindow, message, wParam, lParam);
        }
    }

    HWND FWindow = nullptr;

private:
    static void RegisterClassOnce() {
        static const bool registered = [] {
            INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
            InitCommonControlsEx(&controls);
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &FormProc;
            windowClass.hInstance = ThisModule();
            windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
            windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            windowClass.lpszClassName = kClassName;
            return RegisterClassA(&windowClass) != 0;
        }();
        (void)registered;
    }

    HWND Child(const char* className, const TControl& control, DWORD style, int id, int left, int top,
               int height = -1) {
        HWND child = CreateWindowExA(0, className, control.Caption.c_str(), WS_CHILD | WS_VISIBLE | style, left, top,
                                     control.Width, height < 0 ? control.Height : height, FWindow,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
        return child;
    }

    void Create(HWND owner) {
        TfmTuneParamsQX& form = *FForm;
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
        RECT frame{0, 0, TfmTuneParamsQX::kClientWidth, TfmTuneParamsQX::kClientHeight};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        // Centred on the desktop.
        const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        FWindow = CreateWindowExA(exStyle, kClassName, TfmTuneParamsQX::Caption(), style, left, top, width, height,
                                  owner, nullptr, ThisModule(), this);
        FFont = CreateFontA(-TfmTuneParamsQX::kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                            TfmTuneParamsQX::FontName());
        SendMessageA(FWindow, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);

        // The page control fills the client area; its one page is tsOther.
        FPages = Child(WC_TABCONTROLA, form.pgTuneParamsQX, WS_CLIPSIBLINGS, 100, form.pgTuneParamsQX.Left,
                       form.pgTuneParamsQX.Top);
        TCITEMA page{};
        page.mask = TCIF_TEXT;
        page.pszText = const_cast<char*>(form.tsOther.Caption.c_str());
        SendMessageA(FPages, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&page));
        RECT sheet{0, 0, form.pgTuneParamsQX.Width, form.pgTuneParamsQX.Height};
        SendMessageA(FPages, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&sheet));

        // The controls of the tab sheet, placed in its client area; they are
        // children of the form so that their notifications come here.
        Child("STATIC", form.Label17, SS_LEFT, 102, sheet.left + form.Label17.Left, sheet.top + form.Label17.Top);
        const TComboBox& list = form.cbConnetionType;
        FCombo = Child("COMBOBOX", list, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kComboId, sheet.left + list.Left,
                       sheet.top + list.Top, list.Height + 13 * kDroppedRows + 4);
        for (const auto& entry : list.Items)
            SendMessageA(FCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        SendMessageA(FCombo, CB_SETITEMHEIGHT, 0, 13);
        FSave = Child("BUTTON", form.bbtSave, BS_OWNERDRAW | WS_TABSTOP, kSaveId, sheet.left + form.bbtSave.Left,
                      sheet.top + form.bbtSave.Top);
        // Cancel stands below the client area: not seen, yet Esc reaches it.
        Child("BUTTON", form.bbtCancel, BS_PUSHBUTTON, kCancelId, form.bbtCancel.Left, form.bbtCancel.Top);
        for (HWND control : {FCombo, FSave, GetDlgItem(FWindow, 102), GetDlgItem(FWindow, kCancelId)})
            SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }

    // Enter and Esc act on the default and the cancel button, as in a dialog.
    bool HandleKey(WPARAM key) {
        if (key != VK_RETURN && key != VK_ESCAPE) return false;
        if (SendMessageA(FCombo, CB_GETDROPPEDSTATE, 0, 0) != 0) return false;  // the list closes first
        Guarded([&] { key == VK_RETURN ? FForm->OperatorPressesEnter() : FForm->OperatorPressesEsc(); });
        return true;
    }

    void Command(int id, int notification) {
        if (id == kComboId && notification == CBN_SELCHANGE) {
            const int index = static_cast<int>(SendMessageA(FCombo, CB_GETCURSEL, 0, 0));
            Guarded([&] { FForm->OperatorSelects(index); });
        } else if (id == kSaveId && notification == BN_CLICKED) {
            Guarded([&] { FForm->OperatorClicksSave(); });
        } else if (id == kCancelId && notification == BN_CLICKED) {
            Guarded([&] { FForm->OperatorPressesEsc(); });
        }
    }

    // An error from a handler is shown, as the toolkit shows what its
    // handlers raise, and the dialog carries on.
    template <class F>
    void Guarded(F action) {
        try {
            action();
        } catch (const std::exception& error) {
            MessageBoxA(FWindow, error.what(), "Ошибка", MB_ICONSTOP);
        } catch (...) {
            MessageBoxA(FWindow, "Unknown error", "Ошибка", MB_ICONSTOP);
        }
    }

    void DrawSave(const DRAWITEMSTRUCT& item) {
        const bool enabled = (item.itemState & ODS_DISABLED) == 0;
        const bool pressed = (item.itemState & ODS_SELECTED) != 0;
        RECT bounds = item.rcItem;
        FillRect(item.hDC, &bounds, GetSysColorBrush(COLOR_BTNFACE));
        // The default button's dark outer frame, then the push button.
        FrameRect(item.hDC, &bounds, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&bounds, -1, -1);
        DrawFrameControl(item.hDC, &bounds, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
        const int shift = pressed ? 1 : 0;
        SelectObject(item.hDC, FFont);
        SetBkMode(item.hDC, TRANSPARENT);
        SIZE text{};
        const std::string& caption = FForm->bbtSave.Caption;
        GetTextExtentPoint32A(item.hDC, caption.c_str(), static_cast<int>(caption.size()), &text);
        const int glyph = 16, gap = 4;
        const int left = (bounds.left + bounds.right - (glyph + gap + text.cx)) / 2 + shift;
        const int middle = (bounds.top + bounds.bottom) / 2 + shift;
        DrawCheckGlyph(item.hDC, left, middle - 7, enabled);
        if (enabled) {
            SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
            TextOutA(item.hDC, left + glyph + gap, middle - text.cy / 2, caption.c_str(), static_cast<int>(caption.size()));
        } else {
            SetTextColor(item.hDC, GetSysColor(COLOR_BTNHIGHLIGHT));
            TextOutA(item.hDC, left + glyph + gap + 1, middle - text.cy / 2 + 1, caption.c_str(), static_cast<int>(caption.size()));
            SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
            TextOutA(item.hDC, left + glyph + gap, middle - text.cy / 2, caption.c_str(), static_cast<int>(caption.size()));
        }
        if ((item.itemState & ODS_FOCUS) != 0) {
            InflateRect(&bounds, -3, -3);
            DrawFocusRect(item.hDC, &bounds);
        }
    }

    TfmTuneParamsQX* FForm = nullptr;
    int FResult = 0;
    HFONT FFont = nullptr;
    HWND FPages = nullptr;
    HWND FCombo = nullptr;
    HWND FSave = nullptr;
};

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* view = static_cast<TWin32FormView*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        view->FWindow = window;
    }
    auto* view = reinterpret_cast<TWin32FormView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (view == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return view->Handle(message, wParam, lParam);
}

class TWin32Application final : public TApplication {
public:
    std::unique_ptr<TfmTuneParamsQX> CreateForm() override {
        return std::make_unique<TfmTuneParamsQX>(std::make_unique<TWin32FormView>());
    }
    void ShowMessageBox(const std::string& text, const std::string& caption, int flags) override {
        ::MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), static_cast<UINT>(flags));
    }
};

}  // namespace

TApplication& Application() {
    static TWin32Application application;
    return application;
}

}  // namespace qmx
