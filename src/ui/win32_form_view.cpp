// The connection dialog as a Win32 dialog: the dialog manager runs it
// modally from a template in memory (Tab, Shift+Tab, Enter and Esc as in any
// dialog), and the controls are placed in pixels when it starts, from the
// form's stored layout.

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "ui/application.h"
#include "ui/win32_thread_windows.h"

namespace qmx {
namespace {

constexpr char kClassName[] = "TfmTuneParamsQX";
constexpr int kPagesId = 100;
constexpr int kComboId = 101;
constexpr int kLabelId = 102;
constexpr int kSaveId = IDOK;
constexpr int kCancelId = IDCANCEL;
constexpr int kDroppedRows = 12;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

INT_PTR CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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

// The form's window class: a dialog class (DefDlgProc and its extra
// bytes) under the form's own name, as the toolkit names a form's window.
bool RegisterDialogClassOnce() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &DefDlgProcA;
        windowClass.cbWndExtra = DLGWINDOWEXTRA;
        windowClass.hInstance = ThisModule();
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return RegisterClassA(&windowClass) != 0;
    }();
    return registered;
}

// The template: the form's window, its class and no controls (they are
// made at WM_INITDIALOG, in pixels). No DS_SETFONT: the dialog manager then
// makes no font, and the form's own is set on every control. The strings of
// a template are UTF-16 even for the ANSI calls; the caption is set later,
// in code page 1251 like every other text.
const DLGTEMPLATE* FormTemplate() {
    static const std::vector<DWORD> words = [] {
        std::vector<WORD> units(sizeof(DLGTEMPLATE) / sizeof(WORD));
        DLGTEMPLATE head{kStyle, kExStyle, 0, 0, 0, 240, 80};
        std::memcpy(units.data(), &head, sizeof head);
        units.push_back(0);  // no menu
        for (const char* c = kClassName; *c != '\0'; ++c) units.push_back(static_cast<WORD>(*c));
        units.push_back(0);
        units.push_back(0);  // no title yet
        if (units.size() % 2 != 0) units.push_back(0);
        std::vector<DWORD> aligned(units.size() / 2);
        std::memcpy(aligned.data(), units.data(), units.size() * sizeof(WORD));
        return aligned;
    }();
    return reinterpret_cast<const DLGTEMPLATE*>(words.data());
}

class TWin32FormView final : public TFormView {
public:
    int RunModal(TfmTuneParamsQX& form) override {
        FForm = &form;
        FResult = 0;
        if (!RegisterDialogClassOnce()) throw std::runtime_error("RegisterClass");
        // The owner is the host's window the operator worked in.
        HWND owner = GetActiveWindow();
        const bool ownerEnabled = owner != nullptr && IsWindowEnabled(owner);
        FFont = CreateFontA(-TfmTuneParamsQX::kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                            TfmTuneParamsQX::FontName());
        form.FormShow(&form);
        {
            TThreadWindowsDisabled others(owner);
            DialogBoxIndirectParamA(ThisModule(), FormTemplate(), owner, &FormProc, reinterpret_cast<LPARAM>(this));
            // A WM_QUIT ends the dialog manager's loop without EndDialog,
            // which is where the owner would have got its input back; the
            // quit is posted again for the host's loop.
            if (ownerEnabled && !IsWindowEnabled(owner)) EnableWindow(owner, TRUE);
        }
        FWindow = nullptr;
        DeleteObject(FFont);
        FFont = nullptr;
        if (owner != nullptr && IsWindow(owner)) SetActiveWindow(owner);
        return FResult != 0 ? FResult : kModalCancel;
    }

    void EndModal(int result) override {
        FResult = result;
        if (FWindow != nullptr) EndDialog(FWindow, result);
    }

    void Refresh(TfmTuneParamsQX& form) override {
        if (FWindow == nullptr) return;
        SendMessageA(FCombo, CB_SETCURSEL, static_cast<WPARAM>(form.cbConnetionType.ItemIndex), 0);
        EnableWindow(FSave, form.bbtSave.Enabled ? TRUE : FALSE);
        InvalidateRect(FSave, nullptr, TRUE);
    }

    // A dialog procedure: TRUE for what it handled.
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND:
                Command(LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            case WM_DRAWITEM:
                DrawSave(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            case WM_CLOSE:
                EndModal(kModalCancel);
                return TRUE;
            case WM_CTLCOLORSTATIC:
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            case WM_WINDOWPOSCHANGED:
                // The list takes the focus once the dialog is on screen: a
                // focus set while it is still hidden (at WM_INITDIALOG)
                // leaves Wine drawing its caption inactive.
                if ((reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) != 0 &&
                    !IsChild(FWindow, GetFocus()))
                    SendMessageA(FWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FCombo), TRUE);
                return FALSE;
            case WM_DESTROY:
                FWindow = nullptr;
                return FALSE;
            default:
                return FALSE;
        }
    }

    // WM_INITDIALOG: the window to its stored size, centred on the desktop,
    // and the controls.
    void Start(HWND window) {
        FWindow = window;
        TfmTuneParamsQX& form = *FForm;
        SetWindowTextA(window, TfmTuneParamsQX::Caption());
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
        RECT frame{0, 0, TfmTuneParamsQX::kClientWidth, TfmTuneParamsQX::kClientHeight};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

        // The page control fills the client area; its one page is tsOther.
        HWND pages = Child(WC_TABCONTROLA, form.pgTuneParamsQX, WS_CLIPSIBLINGS, kPagesId, form.pgTuneParamsQX.Left,
                           form.pgTuneParamsQX.Top);
        TCITEMA page{};
        page.mask = TCIF_TEXT;
        page.pszText = const_cast<char*>(form.tsOther.Caption.c_str());
        SendMessageA(pages, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&page));
        RECT sheet{0, 0, form.pgTuneParamsQX.Width, form.pgTuneParamsQX.Height};
        SendMessageA(pages, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&sheet));

        // The controls of the tab sheet, placed in its client area; they are
        // children of the form so that their notifications come here.
        HWND label = Child("STATIC", form.Label17, SS_LEFT, kLabelId, sheet.left + form.Label17.Left,
                           sheet.top + form.Label17.Top);
        const TComboBox& list = form.cbConnetionType;
        FCombo = Child("COMBOBOX", list, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kComboId, sheet.left + list.Left,
                       sheet.top + list.Top, list.Height + 13 * kDroppedRows + 4);
        for (const auto& entry : list.Items)
            SendMessageA(FCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        SendMessageA(FCombo, CB_SETITEMHEIGHT, 0, 13);
        FSave = Child("BUTTON", form.bbtSave, BS_OWNERDRAW | WS_TABSTOP, kSaveId, sheet.left + form.bbtSave.Left,
                      sheet.top + form.bbtSave.Top);
        // Cancel stands below the client area: not seen, yet Esc reaches it
        // and Tab passes it.
        HWND cancel = Child("BUTTON", form.bbtCancel, BS_PUSHBUTTON | WS_TABSTOP, kCancelId, form.bbtCancel.Left,
                            form.bbtCancel.Top);
        // The dialog manager tabs in the order of the children, top first:
        // the list, Save, Cancel. The label stays above the list, whose left
        // edge it overlaps (the list then paints over it, as the form always
        // looked); the page control lies under them all.
        for (HWND control : {cancel, FSave, FCombo, label})
            SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        Refresh(form);
    }

private:
    HWND Child(const char* className, const TControl& control, DWORD style, int id, int left, int top,
               int height = -1) {
        HWND child = CreateWindowExA(0, className, control.Caption.c_str(), WS_CHILD | WS_VISIBLE | style, left, top,
                                     control.Width, height < 0 ? control.Height : height, FWindow,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
        SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
        return child;
    }

    // Enter is the dialog manager's IDOK (Save, the default button, only
    // when enabled; a dropped list takes it first), Esc its IDCANCEL.
    void Command(int id, int notification) {
        if (id == kComboId && notification == CBN_SELCHANGE) {
            const int index = static_cast<int>(SendMessageA(FCombo, CB_GETCURSEL, 0, 0));
            Guarded([&] { FForm->OperatorSelects(index); });
        } else if (id == kSaveId && notification == BN_CLICKED) {
            Guarded([&] { FForm->OperatorPressesEnter(); });
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
    HWND FWindow = nullptr;
    int FResult = 0;
    HFONT FFont = nullptr;
    HWND FCombo = nullptr;
    HWND FSave = nullptr;
};

INT_PTR CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<TWin32FormView*>(lParam)->Start(window);
        return FALSE;  // no focus yet: see WM_WINDOWPOSCHANGED
    }
    auto* view = reinterpret_cast<TWin32FormView*>(GetWindowLongPtrA(window, DWLP_USER));
    return view != nullptr ? view->Handle(message, wParam, lParam) : FALSE;
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

void UnregisterDialogClass() { UnregisterClassA(kClassName, ThisModule()); }

}  // namespace qmx
