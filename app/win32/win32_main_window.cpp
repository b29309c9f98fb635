#include "win32_main_window.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "lib_global.h"
#include "ui_seam.h"
#include "win32_resources.h"
#include "win32_text.h"

namespace korvel {

using namespace layout;

namespace {

COLORREF win32_colour(Colour colour) { return RGB(colour.red, colour.green, colour.blue); }

// A tooltip's own pop-up time takes at most about 32 seconds, so the hint is a tracking
// tooltip that the window shows and hides itself, for as long as HINT_HIDE_PAUSE_MS.
constexpr UINT_PTR HINT_TIMER = 1;
constexpr int HINT_MAX_WIDTH = 600;
constexpr int HINT_BELOW_POINTER = 20;

// The greyed picture of a disabled button is made in here; pictures are at most this wide.
constexpr int MAX_PICTURE_PIXELS = 256;
std::uint32_t picture_pixels[MAX_PICTURE_PIXELS * MAX_PICTURE_PIXELS];

// Caption texts on their way to the W functions.
wchar_t caption_buffer[1024];
char escaped_caption[1024];

// The original window procedure of the button class, for the subclassed target buttons.
WNDPROC button_class_procedure = nullptr;

constexpr const char* UNKNOWN_EXCEPTION_TEXT = "Unknown exception.";

bool is_host_button(int control) {
    return control >= controls::BTN_Host_0 && control < controls::BTN_Host_0 + HOST_BUTTONS;
}

bool is_target_button(int control) {
    return control >= controls::BTN_Target_0 &&
           control < controls::BTN_Target_0 + TARGET_BUTTONS;
}

// A text as a button caption: '&' would otherwise mark a mnemonic.
const char* escape_ampersands(const char* text) {
    std::size_t out = 0;
    for (const char* at = text; *at != '\0' && out + 2 < sizeof escaped_caption; ++at) {
        if (*at == '&') escaped_caption[out++] = '&';
        escaped_caption[out++] = *at;
    }
    escaped_caption[out] = '\0';
    return escaped_caption;
}

// A copy of an icon in grey at half its opacity, for a disabled button; null when the icon's
// pixels cannot be read.
HICON greyed_icon(HICON icon, int size) {
    if (icon == nullptr || size <= 0 || size > MAX_PICTURE_PIXELS) return nullptr;
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return nullptr;
    HICON grey = nullptr;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    if (info.hbmColor != nullptr &&
        GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(size), picture_pixels, &format,
                  DIB_RGB_COLORS) == size) {
        const auto count = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t pixel = picture_pixels[i];
            const std::uint32_t luminance =
                ((pixel >> 16 & 0xFFu) * 77 + (pixel >> 8 & 0xFFu) * 150 + (pixel & 0xFFu) * 29) >> 8;
            const std::uint32_t light = (luminance + 2 * 0xC0u) / 3;
            picture_pixels[i] = (pixel >> 24) / 2 << 24 | light << 16 | light << 8 | light;
        }
        void* bits = nullptr;
        const HBITMAP colour = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (colour != nullptr && bits != nullptr) {
            std::copy_n(picture_pixels, count, static_cast<std::uint32_t*>(bits));
            ICONINFO grey_info{TRUE, 0, 0, info.hbmMask, colour};
            grey = CreateIconIndirect(&grey_info);
        }
        if (colour != nullptr) DeleteObject(colour);
    }
    ReleaseDC(nullptr, screen);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    return grey;
}

// The property that tells korvel-update's running copy from other windows of the class.
constexpr const wchar_t* RUNNING_COPY_PROPERTY = L"KorvelUpdate.RunningCopy";

BOOL CALLBACK set_control_font(HWND control, LPARAM font) {
    SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

void show_unexpected_failure(const char* text) {
    std::fprintf(stderr, "%s: %s\n", APPLICATION_TITLE, text);
    show_message(text, APPLICATION_TITLE, MB_ICON_STOP_OK);
}

}  // namespace

Win32MainWindow::Win32MainWindow() : form_(*this) {}

void Win32MainWindow::mark_running_copy() {
    if (window_ != nullptr) SetPropW(window_, RUNNING_COPY_PROPERTY, window_);
}

HWND Win32MainWindow::find_running_copy() {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, MAIN_WINDOW_CLASS, nullptr)) != nullptr) {
        if (GetPropW(candidate, RUNNING_COPY_PROPERTY) != nullptr && IsWindowVisible(candidate)) {
            return candidate;
        }
    }
    return nullptr;
}

Win32MainWindow::~Win32MainWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
    for (HIMAGELIST& list : pictures_) {
        if (list != nullptr) ImageList_Destroy(list);
        list = nullptr;
    }
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(logo_brush_),
                           static_cast<HGDIOBJ>(fae_brush_)}) {
        if (object != nullptr) DeleteObject(object);
    }
    if (application_icon_ != nullptr) DestroyIcon(application_icon_);
}

int Win32MainWindow::scaled(int design_pixels) const {
    return MulDiv(design_pixels, dpi_, DESIGN_DPI);
}

bool Win32MainWindow::create(HINSTANCE instance) {
    instance_ = instance;
    const HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = DESIGN_DPI;
    picture_size_ = std::min(scaled(PICTURE_PIXELS), MAX_PICTURE_PIXELS);

    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(KORVEL_ICON_APPLICATION), IMAGE_ICON,
                   GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    window_class.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(KORVEL_ICON_APPLICATION), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    window_class.lpszClassName = MAIN_WINDOW_CLASS;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }

    // A fixed window: a title bar with the system menu and minimise button, no sizing border.
    constexpr DWORD style =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, scaled(CLIENT_WIDTH), scaled(CLIENT_HEIGHT)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = static_cast<int>(std::max(work.left, (work.left + work.right - width) / 2));
    const int y = static_cast<int>(std::max(work.top, (work.top + work.bottom - height) / 2));
    CreateWindowExW(0, MAIN_WINDOW_CLASS, L"", style, x, y, width, height, nullptr, nullptr,
                    instance, this);
    if (window_ == nullptr) return false;

    form_.FormCreate(own_program_path().c_str());
    return true;
}

void Win32MainWindow::show(int show_command) {
    ShowWindow(window_, show_command);
    UpdateWindow(window_);
    if (!form_show_queued_) {
        form_show_queued_ = true;
        // After the window's first paint, so the person sees it while the bus is examined.
        PostMessageW(window_, WM_KORVEL_FORM_SHOW, 0, 0);
    }
}

bool Win32MainWindow::dialog_message(MSG& message) {
    return window_ != nullptr && IsDialogMessageW(window_, &message);
}

// --- Controls ----------------------------------------------------------------------------------

HWND Win32MainWindow::create_control(const wchar_t* window_class, int control, DWORD style,
                                     layout::Box box, const wchar_t* text) {
    return CreateWindowExW(0, window_class, text, WS_CHILD | style, scaled(box.x), scaled(box.y),
                           scaled(box.width), scaled(box.height), window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(control)), instance_,
                           nullptr);
}

void Win32MainWindow::create_controls() {
    // A group box and the buttons it frames are siblings here: a button's box moves by its
    // group's position.
    const auto in_group = [](Box group, Box button) {
        return Box{group.x + button.x, group.y + button.y, button.width, button.height};
    };
    // Children are created in tab order; the group boxes come last, below the buttons they
    // frame, and leave them out of their painting.
    for (int i = 0; i < HOST_BUTTONS; ++i) {
        const DWORD group = i == 0 ? WS_GROUP : 0;
        create_control(L"BUTTON", controls::BTN_Host_0 + i,
                       group | WS_TABSTOP | BS_RADIOBUTTON | BS_PUSHLIKE,
                       in_group(HOST_GROUP, speed_button(i, HOST_COLUMNS)));
    }
    for (int i = 0; i < TARGET_BUTTONS; ++i) {
        const DWORD group = i == 0 ? WS_GROUP : 0;
        const HWND button = create_control(
            L"BUTTON", controls::BTN_Target_0 + i, group | WS_TABSTOP | BS_RADIOBUTTON | BS_PUSHLIKE,
            in_group(TARGET_GROUP, speed_button(i, TARGET_COLUMNS)));
        // The hint follows the pointer over the button.
        const auto previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(target_button_procedure)));
        if (button_class_procedure == nullptr) button_class_procedure = previous;
    }
    create_control(L"BUTTON", controls::BTN_UpdateKORVEL,
                   WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON, UPDATE_BUTTON);
    create_control(L"BUTTON", controls::BTN_BackupKORVEL, WS_TABSTOP | BS_PUSHBUTTON,
                   BACKUP_BUTTON, L"&Backup Firmware");
    create_control(L"BUTTON", controls::BTN_Exit, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                   EXIT_BUTTON);

    // Statics without SS_NOTIFY are transparent to the mouse: a press on the logo reaches the
    // window itself (OnMouseDown).
    create_control(L"STATIC", controls::Image_Main, WS_VISIBLE | SS_ICON | SS_CENTERIMAGE, LOGO);
    create_control(L"STATIC", controls::Label_Main,
                   WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, LOGO_LABEL, L"KORVEL");
    create_control(L"STATIC", controls::Label_Version, WS_VISIBLE | SS_CENTER | SS_NOPREFIX,
                   Box{LOGO.x, VERSION_LABEL_Y, LOGO.width, LOGO_LABEL.height});
    create_control(L"STATIC", controls::Label_FAETest, SS_LEFT | SS_NOPREFIX, FAE_LABEL,
                   L"FAE Test");

    create_control(L"STATIC", controls::Label_Progress, SS_CENTER | SS_NOPREFIX, PROGRESS_TEXT);
    const HWND progress = create_control(PROGRESS_CLASSW, controls::Progress_Update, 0, PROGRESS_BAR);
    SendMessageW(progress, PBM_SETRANGE32, 0, 100);

    create_control(L"BUTTON", controls::GroupBox_Host, WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX,
                   HOST_GROUP);
    create_control(L"BUTTON", controls::GroupBox_Target,
                   WS_VISIBLE | WS_CLIPSIBLINGS | BS_GROUPBOX, TARGET_GROUP);

    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               instance_, nullptr);
    if (tooltip_ != nullptr) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        tool.hwnd = window_;
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, scaled(HINT_MAX_WIDTH));
    }
}

void Win32MainWindow::load_pictures() {
    application_icon_ = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(KORVEL_ICON_APPLICATION), IMAGE_ICON,
                   picture_size_, picture_size_, LR_DEFAULTCOLOR));
    for (std::size_t picture = 0; picture < pictures_.size(); ++picture) {
        const HICON icon = static_cast<HICON>(LoadImageW(
            instance_, MAKEINTRESOURCEW(KORVEL_ICON_PICTURES + static_cast<int>(picture)),
            IMAGE_ICON, picture_size_, picture_size_, LR_DEFAULTCOLOR));
        if (icon == nullptr) continue;
        const HICON grey = greyed_icon(icon, picture_size_);
        // One image for each state of a button: normal, hot, pressed, disabled, default,
        // stylus hot.
        HIMAGELIST list = ImageList_Create(picture_size_, picture_size_, ILC_COLOR32, 6, 0);
        for (int state = 0; state < 6 && list != nullptr; ++state) {
            ImageList_ReplaceIcon(list, -1, state == 3 && grey != nullptr ? grey : icon);
        }
        pictures_[picture] = list;
        DestroyIcon(icon);
        if (grey != nullptr) DestroyIcon(grey);
    }
}

void Win32MainWindow::lay_out_logo_labels() {
    const HDC dc = GetDC(window_);
    const HGDIOBJ previous = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    const int centre = scaled(LOGO.x) + picture_size_ / 2;
    for (int control : {controls::Label_Version, controls::Label_FAETest}) {
        const HWND label = GetDlgItem(window_, control);
        wchar_t text[256] = {};
        const int length = GetWindowTextW(label, text, 256);
        SIZE size{};
        GetTextExtentPoint32W(dc, text, length, &size);
        // A pixel to spare on each side: a static control that is exactly as wide as its
        // measured text may break or clip the text's last character when it draws smoothed.
        const int width = size.cx + 2 * scaled(1);
        const int x = control == controls::Label_Version ? centre - width / 2 : scaled(FAE_LABEL.x);
        const int y = scaled(control == controls::Label_Version ? VERSION_LABEL_Y : FAE_LABEL.y);
        SetWindowPos(label, nullptr, x, y, width, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SelectObject(dc, previous);
    ReleaseDC(window_, dc);
}

// --- Window procedure --------------------------------------------------------------------------

LRESULT CALLBACK Win32MainWindow::window_procedure(HWND window, UINT message, WPARAM wparam,
                                                   LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32MainWindow*>(
            reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wparam, lparam);
    }
    // An exception must not unwind through Windows' own frames: it is shown here, and the
    // message loop then ends with a failure code. A request to end found while an update runs
    // waits until the update is over (Win32UserInterface::process_pending_messages).
    try {
        return self->handle_message(message, wparam, lparam);
    } catch (const std::exception& error) {
        self->report_failure(error.what());
    } catch (...) {
        self->report_failure(UNKNOWN_EXCEPTION_TEXT);
    }
    return 0;
}

void Win32MainWindow::report_failure(const char* text) {
    exception_seen_ = true;
    show_unexpected_failure(text);
    PostQuitMessage(EXIT_FAILURE);
}

LRESULT Win32MainWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE: return OnCreate();
        case WM_DESTROY: OnDestroy(); return 0;
        case WM_CLOSE: OnClose(); return 0;
        case WM_QUERYENDSESSION: return OnQueryEndSession();
        case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam)); return 0;
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
        case WM_SETCURSOR: return OnSetCursor(wparam, lparam);
        // A quick second press arrives as a double click; it counts as a press of its own.
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: OnMouseDown(MouseButton::left, wparam, lparam); return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: OnMouseDown(MouseButton::right, wparam, lparam); return 0;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK: OnMouseDown(MouseButton::middle, wparam, lparam); return 0;
        case WM_XBUTTONDOWN:
        case WM_XBUTTONDBLCLK: OnMouseDown(MouseButton::other, wparam, lparam); return TRUE;
        case WM_ACTIVATE: OnActivate(wparam); return 0;
        case WM_TIMER: OnTimer(wparam); return 0;
        case WM_KORVEL_FORM_SHOW: OnFormShow(); return 0;
        default: return DefWindowProcW(window_, message, wparam, lparam);
    }
}

LRESULT CALLBACK Win32MainWindow::target_button_procedure(HWND button, UINT message,
                                                          WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_MOUSEHOVER:
        case WM_MOUSELEAVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            if (auto* self = reinterpret_cast<Win32MainWindow*>(
                    GetWindowLongPtrW(GetParent(button), GWLP_USERDATA))) {
                self->OnTargetButtonMouse(button, message);
            }
            break;
        default: break;
    }
    return CallWindowProcW(button_class_procedure, button, message, wparam, lparam);
}

// --- Message handlers --------------------------------------------------------------------------

LRESULT Win32MainWindow::OnCreate() {
    logo_brush_ = CreateSolidBrush(win32_colour(LOGO_LABEL_COLOUR));
    fae_brush_ = CreateSolidBrush(win32_colour(FAE_LABEL_COLOUR));
    load_pictures();
    create_controls();
    return 0;
}

void Win32MainWindow::OnDestroy() {
    hide_hint();
    RemovePropW(window_, RUNNING_COPY_PROPERTY);
    PostQuitMessage(EXIT_SUCCESS);
}

void Win32MainWindow::OnClose() {
    if (!form_.FormCloseQuery()) return;
    hide_hint();
    form_.FormClose();
    DestroyWindow(window_);
}

LRESULT Win32MainWindow::OnQueryEndSession() {
    // Windows is not shut down under a firmware write; the hold's reason says why.
    return form_.SessionEndQuery() ? TRUE : FALSE;
}

void Win32MainWindow::OnCommand(int control, int notification) {
    if (notification != BN_CLICKED) return;
    if (is_host_button(control)) {
        form_.BTN_Host_0Click(control - controls::BTN_Host_0);
    } else if (is_target_button(control)) {
        hide_hint();
        form_.BTN_Target_0Click(control - controls::BTN_Target_0);
    } else if (control == controls::BTN_UpdateKORVEL) {
        hide_hint();
        form_.BTN_UpdateKORVELClick();
    } else if (control == controls::BTN_BackupKORVEL) {
        form_.BTN_BackupKORVELClick();
    } else if (control == controls::BTN_Exit) {
        form_.BTN_ExitClick();
    } else if (control == IDCANCEL) {
        // Escape presses the exit button, which does nothing while it is disabled.
        const HWND exit = GetDlgItem(window_, controls::BTN_Exit);
        if (IsWindowEnabled(exit) && IsWindowVisible(exit)) form_.BTN_ExitClick();
    }
}

LRESULT Win32MainWindow::OnCtlColorStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id == controls::Label_Main || id == controls::Label_FAETest) {
        const bool logo = id == controls::Label_Main;
        SetTextColor(dc, logo ? RGB(255, 255, 255) : RGB(0, 0, 0));
        SetBkColor(dc, win32_colour(logo ? LOGO_LABEL_COLOUR : FAE_LABEL_COLOUR));
        return reinterpret_cast<LRESULT>(logo ? logo_brush_ : fae_brush_);
    }
    return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(control));
}

LRESULT Win32MainWindow::OnSetCursor(WPARAM wparam, LPARAM lparam) {
    // The hourglass over the window and all its controls. A dialog or message box the window
    // waits for disables it, and has the ordinary pointer.
    if (busy_ && IsWindowEnabled(window_)) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        return TRUE;
    }
    return DefWindowProcW(window_, WM_SETCURSOR, wparam, lparam);
}

void Win32MainWindow::OnMouseDown(MouseButton button, WPARAM wparam, LPARAM lparam) {
    const HWND logo = GetDlgItem(window_, controls::Image_Main);
    if (logo == nullptr || !IsWindowVisible(logo)) return;
    RECT area{};
    GetWindowRect(logo, &area);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&area), 2);
    const POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    if (!PtInRect(&area, at)) return;
    unsigned keys = 0;
    if (wparam & MK_SHIFT) keys |= KEY_SHIFT;
    if (wparam & MK_CONTROL) keys |= KEY_CONTROL;
    if (GetKeyState(VK_MENU) < 0) keys |= KEY_ALT;
    if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0) keys |= KEY_META;
    form_.Image_MainMouseDown(button, keys);
}

void Win32MainWindow::OnActivate(WPARAM wparam) {
    if (LOWORD(wparam) == WA_INACTIVE) {
        // Remember where the keyboard was, for when the person comes back.
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
        hide_hint();
        return;
    }
    HWND focus = focus_;
    if (focus == nullptr || !IsWindow(focus) || !IsWindowEnabled(focus) ||
        !IsWindowVisible(focus)) {
        focus = GetNextDlgTabItem(window_, nullptr, FALSE);
    }
    if (focus != nullptr) SetFocus(focus);
}

void Win32MainWindow::OnTimer(UINT_PTR timer) {
    if (timer == HINT_TIMER) hide_hint();
}

void Win32MainWindow::OnFormShow() {
    form_.FormShow();
    if (window_ != nullptr && GetActiveWindow() == window_) OnActivate(WA_ACTIVE);
}

void Win32MainWindow::OnTargetButtonMouse(HWND button, UINT message) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (hint_button_ != button) {
                hide_hint();
                hint_button_ = button;
                TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, button,
                                      HINT_SHOW_DELAY_MS};
                TrackMouseEvent(&track);
            }
            break;
        case WM_MOUSEHOVER: show_hint(button); break;
        case WM_MOUSELEAVE:
            // Tracking the next button ends the last one's tracking with a leave that may
            // arrive after the next button's own messages: it is not the hint's to clear then.
            if (button != hint_button_) break;
            hide_hint();
            hint_button_ = nullptr;
            break;
        default: hide_hint(); break;  // a press
    }
}

void Win32MainWindow::show_hint(HWND button) {
    const int index = GetDlgCtrlID(button) - controls::BTN_Target_0;
    if (tooltip_ == nullptr || index < 0 || index >= TARGET_BUTTONS) return;
    wchar_t* text = hints_[static_cast<std::size_t>(index)].data();
    if (text[0] == L'\0') return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.lpszText = text;
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    POINT at{};
    GetCursorPos(&at);
    SendMessageW(tooltip_, TTM_TRACKPOSITION, 0,
                 MAKELPARAM(at.x, at.y + scaled(HINT_BELOW_POINTER)));
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    SetTimer(window_, HINT_TIMER, HINT_HIDE_PAUSE_MS, nullptr);
    hint_shown_ = true;
}

void Win32MainWindow::hide_hint() {
    if (!hint_shown_) return;
    hint_shown_ = false;
    KillTimer(window_, HINT_TIMER);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

// --- MainView ----------------------------------------------------------------------------------

void Win32MainWindow::set_caption(int control, const char* text) {
    if (control == controls::Form_Main) {
        SetWindowTextW(window_, wide_text(text, caption_buffer, std::size(caption_buffer)));
        return;
    }
    const HWND item = GetDlgItem(window_, control);
    if (item == nullptr) return;
    // Adapter names and device types are shown as they are; the command buttons' captions mark
    // their mnemonic with '&'.
    if (is_host_button(control) || is_target_button(control)) text = escape_ampersands(text);
    SetWindowTextW(item, wide_text(text, caption_buffer, std::size(caption_buffer)));
    if (control == controls::Label_Version || control == controls::Label_FAETest) {
        lay_out_logo_labels();
    }
}

void Win32MainWindow::set_picture(int control, int picture) {
    const HWND item = GetDlgItem(window_, control);
    if (item == nullptr) return;
    if (control == controls::Image_Main) {
        SendMessageW(item, STM_SETICON, reinterpret_cast<WPARAM>(application_icon_), 0);
        return;
    }
    const int index = picture == PICTURE_HOST_ADAPTER ? DEVICE_PICTURES : picture;
    if (index < 0 || index > DEVICE_PICTURES) return;
    BUTTON_IMAGELIST list{};
    list.himl = pictures_[static_cast<std::size_t>(index)];
    list.margin = RECT{0, scaled(2), 0, 0};
    list.uAlign = BUTTON_IMAGELIST_ALIGN_TOP;
    SendMessageW(item, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&list));
    InvalidateRect(item, nullptr, TRUE);
}

void Win32MainWindow::set_hint(int control, const char* text) {
    if (!is_target_button(control)) return;
    auto& hint = hints_[static_cast<std::size_t>(control - controls::BTN_Target_0)];
    wide_text(text, hint.data(), hint.size());
}

void Win32MainWindow::set_shown(int control, bool shown) {
    const HWND item = GetDlgItem(window_, control);
    if (item == nullptr) return;
    if (!shown && item == hint_button_) {
        hide_hint();
        hint_button_ = nullptr;
    }
    ShowWindow(item, shown ? SW_SHOWNA : SW_HIDE);
}

void Win32MainWindow::set_checked(int control) {
    if (is_host_button(control)) {
        CheckRadioButton(window_, controls::BTN_Host_0, controls::BTN_Host_0 + HOST_BUTTONS - 1,
                         control);
    } else if (is_target_button(control)) {
        CheckRadioButton(window_, controls::BTN_Target_0,
                         controls::BTN_Target_0 + TARGET_BUTTONS - 1, control);
    }
}

void Win32MainWindow::set_enabled(int control, bool enabled) {
    const HWND item = GetDlgItem(window_, control);
    if (item == nullptr) return;
    EnableWindow(item, enabled ? TRUE : FALSE);
    // A group box and the buttons it frames are siblings: they go together.
    int first = 0;
    int count = 0;
    if (control == controls::GroupBox_Host) {
        first = controls::BTN_Host_0;
        count = HOST_BUTTONS;
    } else if (control == controls::GroupBox_Target) {
        first = controls::BTN_Target_0;
        count = TARGET_BUTTONS;
        if (!enabled) hide_hint();
    }
    for (int i = 0; i < count; ++i) {
        EnableWindow(GetDlgItem(window_, first + i), enabled ? TRUE : FALSE);
    }
}

void Win32MainWindow::set_focus(int control) {
    const HWND item = GetDlgItem(window_, control);
    if (item == nullptr) return;
    // SetFocus would activate an inactive window; there the control takes the focus at the
    // next activation (OnActivate).
    focus_ = item;
    if (GetActiveWindow() == window_) SetFocus(item);
}

void Win32MainWindow::set_font(const char* family) {
    LOGFONTW face{};
    // An empty name keeps the system's dialog font.
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
    if (family != nullptr && family[0] != '\0') {
        wide_text(family, face.lfFaceName, LF_FACESIZE);
    }
    face.lfHeight = -scaled(DESIGN_FONT_PIXELS);
    face.lfWidth = 0;
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = DEFAULT_CHARSET;
    const HFONT font = CreateFontIndirectW(&face);
    if (font == nullptr) return;
    EnumChildWindows(window_, set_control_font, reinterpret_cast<LPARAM>(font));
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
    lay_out_logo_labels();
}

void Win32MainWindow::set_busy(bool busy) {
    busy_ = busy;
    // Shown at once (the work that follows may not look at its messages for a while), where
    // the pointer is over the window.
    POINT at{};
    GetCursorPos(&at);
    const HWND under = WindowFromPoint(at);
    if (under == window_ || IsChild(window_, under)) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(busy ? 32514 : 32512)));  // wait, arrow
    }
}

std::string Win32MainWindow::hint_text(int control) const {
    if (!is_target_button(control)) return {};
    const auto& hint = hints_[static_cast<std::size_t>(control - controls::BTN_Target_0)];
    std::array<char, 4 * 1024> text{};  // room for every hint character as UTF-8
    return utf8_text(hint.data(), text.data(), text.size()) ? std::string(text.data())
                                                            : std::string();
}

std::string Win32MainWindow::choose_firmware_file(const char* filter, const std::string& folder) {
    if (file_dialog_answer_) return file_dialog_answer_().value_or(std::string());
    // "description|pattern|..." becomes the dialog's list of zero-terminated texts, ended by an
    // empty one.
    wide_text(filter, filter_.data(), filter_.size() - 1);
    std::size_t end = 0;
    for (; filter_[end] != L'\0'; ++end) {
        if (filter_[end] == L'|') filter_[end] = L'\0';
    }
    filter_[end + 1] = L'\0';
    wide_text(folder.c_str(), folder_.data(), folder_.size());
    file_name_[0] = L'\0';

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter_.data();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file_name_.data();
    dialog.nMaxFile = static_cast<DWORD>(file_name_.size());
    dialog.lpstrInitialDir = folder_[0] != L'\0' ? folder_.data() : nullptr;
    dialog.lpstrDefExt = L"bin";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                   OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) return {};
    // The path as the file utilities take it: UTF-8.
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, file_name_.data(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string path(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, file_name_.data(), -1, path.data(), length, nullptr, nullptr);
    path.resize(static_cast<std::size_t>(length - 1));
    return path;
}

void Win32MainWindow::set_progress(bool shown, int percent, const char* text) {
    const HWND bar = GetDlgItem(window_, controls::Progress_Update);
    const HWND line = GetDlgItem(window_, controls::Label_Progress);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    SetWindowTextW(line, wide_text(text, caption_buffer, std::size(caption_buffer)));
    ShowWindow(bar, shown ? SW_SHOWNA : SW_HIDE);
    ShowWindow(line, shown ? SW_SHOWNA : SW_HIDE);
}

void Win32MainWindow::close_window() { SendMessageW(window_, WM_CLOSE, 0, 0); }

}  // namespace korvel
