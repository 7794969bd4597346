// Window objects: the handle registry, binding by subclassing, creation and destruction.
#include "rpWin.h"

#include "rpModule.h"

rpWinMap* rpWindowsMap = nullptr;
int rpWinID = 1000;
rpWin* rpWin::firstLive = nullptr;

// ---- rpMenu

rpMenu::rpMenu(HMENU menu, bool owning) : rpObject("rpMenu"), hmenu(menu), owns(owning) {}

rpMenu::~rpMenu()
{
    if (owns) {
        DestroyMenu(hmenu);
        hmenu = nullptr;
    }
}

// ---- Registry

bool rpWinStoreManagerTable(HWND h, rpWin* w)
{
    if (!rpWindowsMap)
        rpWindowsMap = new rpWinMap;
    return rpWindowsMap->insert(rpWinMap::value_type(h, w)).second;
}

rpWin* rpWin::GetWin(HWND h)
{
    if (!rpWindowsMap)
        return nullptr;
    rpWinMap::const_iterator it = rpWindowsMap->find(h);
    return it == rpWindowsMap->end() ? nullptr : it->second;
}

HINSTANCE rpWin::Instance()
{
    if (Module && Module->handle)
        return Module->handle;
    return GetModuleHandleA(nullptr);
}

// ---- Construction

rpWin::rpWin(rpWin* parentWin, const char* name, int winId)
    : rpObject(name),
      oldProc(nullptr),
      hwnd(nullptr),
      wndClass(),
      windowName("rokpp"),
      style(WS_CHILD | WS_VISIBLE),
      exStyle(0),
      frame(),
      id(winId),
      createParam(nullptr),
      clsName(name ? name : ""),
      linked(false),
      parent(parentWin),
      prevLive(nullptr),
      nextLive(nullptr)
{
    enterLive();
    wndClass.cbSize = sizeof(WNDCLASSEXA);
    wndClass.style = 0;
    wndClass.lpfnWndProc = DefWindowProcA;
    wndClass.cbClsExtra = 0;
    wndClass.cbWndExtra = 0;
    wndClass.hInstance = Instance();
    wndClass.hIcon = nullptr;
    wndClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wndClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wndClass.lpszMenuName = nullptr;
    wndClass.lpszClassName = clsName.c_str();
    wndClass.hIconSm = nullptr;

    frame.left = CW_USEDEFAULT;
    frame.top = CW_USEDEFAULT;

    if (id == RP_AUTO_ID)
        id = rpWinID++;
    owner = true;
}

rpWin::rpWin(HWND h, bool bind)
    : rpObject("rpWin"),
      oldProc(nullptr),
      hwnd(nullptr),
      wndClass(),
      windowName(nullptr),
      style(0),
      exStyle(0),
      frame(),
      id(0),
      createParam(nullptr),
      clsName(),
      linked(false),
      parent(nullptr),
      prevLive(nullptr),
      nextLive(nullptr)
{
    enterLive();
    // A handle that another object already holds stays theirs: this one is then a plain wrapper.
    owner = bind && linkWin(h);
    if (!owner)
        hwnd = h;
}

rpWin::~rpWin()
{
    bool owned = owner;
    unlinkWin();
    // The window outlives its object: let it close itself, unbound, once this call is over.
    if (owned && hwnd)
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    leaveLive();
    for (rpWin* w = firstLive; w; w = w->nextLive)
        w->forget(this);
}

void rpWin::enterLive()
{
    nextLive = firstLive;
    if (firstLive)
        firstLive->prevLive = this;
    firstLive = this;
}

void rpWin::leaveLive()
{
    if (prevLive)
        prevLive->nextLive = nextLive;
    else
        firstLive = nextLive;
    if (nextLive)
        nextLive->prevLive = prevLive;
    prevLive = nextLive = nullptr;
}

void rpWin::forget(rpWin* gone)
{
    if (parent == gone)
        parent = nullptr;
}

// ---- Class registration and creation

bool rpWin::registClass()
{
    WNDCLASSEXA scratch;
    scratch.cbSize = sizeof scratch;
    if (GetClassInfoExA(wndClass.hInstance, clsName.c_str(), &scratch))
        return true;
    // A system class (such as the list box) can be created by name.
    if (GetClassInfoExA(nullptr, clsName.c_str(), &scratch))
        return true;
    wndClass.lpszClassName = clsName.c_str();
    if (RegisterClassExA(&wndClass) == 0) {
        dbout("\n<<rpWin::ウインドウクラス(%s)の登録に失敗しました。\n", clsName.c_str());
        return false;
    }
    return true;
}

bool rpWin::create(const char* text)
{
    if (linked) {
        dbout("<<rpWin::create: %s は既にウインドウに結び付いています。>>\n", clsName.c_str());
        return false;
    }
    if (!registClass())
        return false;
    if (!text)
        text = windowName;
    // Unsigned arithmetic: the default frame gives 0 - 0x80000000 = CW_USEDEFAULT for both.
    int width = static_cast<int>(static_cast<unsigned>(frame.right) - static_cast<unsigned>(frame.left));
    int height = static_cast<int>(static_cast<unsigned>(frame.bottom) - static_cast<unsigned>(frame.top));
    // The id is a child id only for child windows; for any other window the argument is a menu
    // handle, and an id there would make the creation fail.
    HMENU menuOrId = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
    HWND h = CreateWindowExA(exStyle, clsName.c_str(), text, style, frame.left, frame.top, width,
                             height, parent ? parent->hwnd : nullptr, menuOrId, Instance(),
                             createParam);
    if (!h) {
        dbout("ウインドウ（%s）が生成できませんでした。\n", clsName.c_str());
        return false;
    }
    if (!linkWin(h)) {
        // An unbound window would never reach this object: it must not outlive the failure.
        DestroyWindow(h);
        return false;
    }
    onCreate();
    return true;
}

// ---- Binding

bool rpWin::linkWin(HWND h)
{
    if (linked)
        return true;
    // One object per handle: a second binding would leave the registry naming the first object
    // while the user-data slot names the second, and chain rpWinProc to itself.
    if (!h || !IsWindow(h) || GetWin(h) ||
        reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)) == rpWinProc) {
        dbout("<<rpWin::linkWin: ウインドウ(%p)には結び付けられません。>>\n", static_cast<void*>(h));
        return false;
    }
    hwnd = h;
    oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(rpWinProc)));
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    rpWinStoreManagerTable(h, this);
    linked = true;
    return true;
}

void rpWin::unlinkWin()
{
    if (!linked)
        return;
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc));
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    if (rpWindowsMap) {
        rpWindowsMap->erase(hwnd);
        if (rpWindowsMap->empty()) {
            delete rpWindowsMap;
            rpWindowsMap = nullptr;
        }
    }
    linked = false;
}

// ---- Message entry

LRESULT CALLBACK rpWinProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    rpWin* w = reinterpret_cast<rpWin*>(GetWindowLongPtrA(h, GWLP_USERDATA));
    if (!w)
        return DefWindowProcA(h, msg, wParam, lParam);
    if (msg == WM_DESTROY) {
        WNDPROC previous = w->oldProc;
        bool owned = w->owner;
        w->unlinkWin();
        w->hwnd = nullptr;
        w->owner = false;
        if (owned)
            delete w;
        // The original procedure still gets its own clean-up (a dialog frees its font, a
        // control its item data); no handler sees the message.
        if (previous)
            CallWindowProcA(previous, h, msg, wParam, lParam);
        return 0;
    }
    rpEvent e;
    e.msg = msg;
    e.wParam = wParam;
    e.lParam = lParam;
    e.result = 0;
    return w->msgProc(e);
}

LRESULT rpWin::msgProc(rpEvent& e)
{
    switch (e.msg) {
    case WM_QUERYENDSESSION:
        return queryEndSession() ? 1 : 0;
    case WM_ENDSESSION:
        onEndSession(e.wParam != 0, e.lParam != 0);
        return 0;
    default:
        break;
    }
    // A handler may destroy the window, and with it this object: keep what the fall-through needs.
    WNDPROC previous = oldProc;
    HWND h = hwnd;
    if (dispatchEvent(e))
        return e.result;
    if (!IsWindow(h))
        return 0;  // destroyed by the handler: nothing is left for the old procedure to do
    return CallWindowProcA(previous, h, e.msg, e.wParam, e.lParam);
}

// ---- Window operations

bool rpWin::destroy()
{
    return DestroyWindow(hwnd) != FALSE;
}

bool rpWin::show(int nCmdShow)
{
    return ShowWindow(hwnd, nCmdShow) != FALSE;
}

bool rpWin::enable(bool flag)
{
    return EnableWindow(hwnd, flag ? TRUE : FALSE) != FALSE;
}

void rpWin::setText(const char* text)
{
    SetWindowTextA(hwnd, text);
}

void rpWin::setText(std::string text)
{
    setText(text.c_str());
}

int rpWin::getText(char* buffer, int max)
{
    return GetWindowTextA(hwnd, buffer, max);
}

int rpWin::getTextLen()
{
    return GetWindowTextLengthA(hwnd);
}
