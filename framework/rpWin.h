// rpWin: the object side of a native window. It binds itself to a window handle by subclassing
// (rpWinProc + the user-data slot), is found from any handle through the registry rpWindowsMap,
// and turns every message into a call of one virtual handler. An object whose `owner` flag is set
// belongs to its window: it deletes itself when the window is destroyed (so it must live on the heap).
// A deleted object is forgotten by the objects that named it as their parent.
#ifndef RP_WIN_H
#define RP_WIN_H

#include <windows.h>

#include <map>
#include <string>

#include "rpObject.h"

class rpWin;
class rpDevContext;  // rpDevContext.h
class rpDDE;         // not part of this system; handlers only pass the pointer on

// Framework messages, inside the application range but dispatched before it.
constexpr UINT RPWM_LAYOUTCHILD = 0x07CE;
constexpr UINT RPWM_DDENOTIFY = 0x07D0;
constexpr UINT RPWM_THREADENDED = 0x07D8;

// Id argument of the creating constructor that asks for the next automatic id (rpWinID).
constexpr int RP_AUTO_ID = -999;

struct rpPoint {
    int x = 0;
    int y = 0;
};

struct rpRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// One window message as handed to the handlers. The window is the object whose dispatchEvent
// runs. `result` starts at 0 and is what the window procedure returns when the event is handled.
struct rpEvent {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};

// A worker thread object; the default threadEnded handler deletes the one it is given.
class rpThread {
public:
    virtual ~rpThread() = default;
};

// Wrapper of a menu handle; destroys the menu at destruction only when `owns` is set.
// The dispatcher passes temporary non-owning ones to the menu handlers.
class rpMenu : public rpObject {
public:
    explicit rpMenu(HMENU menu, bool owning = false);
    ~rpMenu() override;
    rpMenu(const rpMenu&) = delete;
    rpMenu& operator=(const rpMenu&) = delete;

    HMENU hmenu;  // owned only when `owns` is set
    bool owns;
};

// The handle registry: window handle -> bound window object (not owned).
typedef std::map<HWND, rpWin*> rpWinMap;

// Created by the first registration, deleted (and set back to null) with its last entry.
extern rpWinMap* rpWindowsMap;
// The next automatic window id; starts at 1000.
extern int rpWinID;

// The procedure that linkWin installs in a bound window.
LRESULT CALLBACK rpWinProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// Inserts (h, w) into the registry, creating it first if needed. True when a new entry was made,
// false when h already had one (which then stays as it was).
bool rpWinStoreManagerTable(HWND h, rpWin* w);

class rpWin : public rpObject {
public:
    // Creating constructor: fills the class and window description with defaults; no window yet.
    // id RP_AUTO_ID (-999) takes the next automatic id. The object is owned by its future window.
    rpWin(rpWin* parent, const char* name, int id);
    // Wrapping constructor for an existing window. bind: subclass and register the window, and
    // let the object belong to it; otherwise, or when the binding is refused (the window is
    // already bound), only keep the handle (no messages, never deleted by the framework).
    rpWin(HWND h, bool bind);
    // Unbinds; an owned object whose window still exists posts WM_CLOSE to it. Objects whose
    // parent this was forget it. A derived destructor must leave the window to that close: a
    // destroy() there would make rpWinProc delete the object a second time.
    ~rpWin() override;
    rpWin(const rpWin&) = delete;
    rpWin& operator=(const rpWin&) = delete;

    // ---- Virtual handlers, in table order. A bool answer of true means "handled": the event's
    // result goes back to the system; false lets the message go on to oldProc.
    virtual bool queryClose();                       // true
    virtual bool queryEndSession();                  // WM_QUERYENDSESSION; queryClose()
    virtual bool onClose();                          // WM_CLOSE; queryClose() ? destroy() : false
    virtual void onEndSession(bool ending, bool logoff);  // WM_ENDSESSION; onClose() when ending
    virtual bool terminateCheck();                   // true
    virtual bool command(int id, int code);          // false
    virtual bool command(int id, int code, HWND control);  // WM_COMMAND; command(id, code)
    virtual bool getMinMaxInfo(MINMAXINFO* info);    // WM_GETMINMAXINFO
    virtual bool paint();                            // WM_PAINT
    virtual bool activated(int state, bool minimized);  // WM_ACTIVATE, WM_MDIACTIVATE
    virtual bool enabled(bool enabled);              // WM_ENABLE
    virtual bool gotFocus(rpWin* lost);              // WM_SETFOCUS; null when lost has no object
    virtual bool killedFocus(rpWin* gets);           // WM_KILLFOCUS; null when gets has no object
    virtual void onShow(int status);                 // WM_SHOWWINDOW, wParam != 0
    virtual void onHide(int status);                 // WM_SHOWWINDOW, wParam == 0
    virtual bool resized(int width, int height, int type);  // WM_SIZE; layoutChild()
    virtual bool minimized(int width, int height);   // WM_SIZE with SIZE_MINIMIZED
    virtual bool timer(int id);                      // not called by the dispatcher
    virtual bool queryMaximize();                    // true
    // Owner-draw forwarding: these find the control object for id and call the overloads below
    // on it.
    virtual bool drawItem(int id, DRAWITEMSTRUCT* dis);         // WM_DRAWITEM
    virtual bool compareItem(rpEvent& e);                       // WM_COMPAREITEM
    virtual bool measureItem(int id, MEASUREITEMSTRUCT* mis);   // WM_MEASUREITEM
    virtual bool deleteItem(int id, DELETEITEMSTRUCT* dis);     // WM_DELETEITEM; true
    // The control side of owner-draw (called on the control's object).
    virtual int compareItem(void* item1, void* item2, COMPAREITEMSTRUCT* cis);  // 0
    virtual rpPoint measureItem(MEASUREITEMSTRUCT* mis);  // x = width 200, y = height 20
    virtual bool paint(rpDevContext& dc, rpRect& rect, DRAWITEMSTRUCT& dis);  // false
    // WM_HSCROLL (own bar: id 0) / WM_VSCROLL (own bar: id 1): forwards to the scroll-bar object
    // of the item id through scrollRequest. For SB_THUMBTRACK and SB_THUMBPOSITION pos is the
    // bar's 32-bit track position; otherwise the message's 16-bit value.
    virtual bool scrolled(int id, int code, int pos);
    virtual void menuSelect(rpMenu& menu, unsigned item, unsigned flags);  // WM_MENUSELECT
    virtual void menuInit(rpMenu& menu);                        // WM_INITMENU
    virtual void menuPopup(rpMenu& menu, int index);            // WM_INITMENUPOPUP
    virtual void sysmenuPopup(rpMenu& menu);                    // WM_INITMENUPOPUP, system menu
    virtual void onCreate();                                    // after create() / WM_INITDIALOG
    virtual bool layoutChild();                                 // RPWM_LAYOUTCHILD
    virtual bool notified(NMHDR* nm, LRESULT& result);          // the sender's side of WM_NOTIFY
    virtual bool notified(int id, NMHDR* nm, LRESULT& result);  // WM_NOTIFY; forwards to sender
    virtual bool dropFiles0(rpEvent& e);                        // WM_DROPFILES; decodes, DragFinish
    virtual bool other(rpEvent& e);                             // everything not listed
    // The drop handle is valid only during this call; read the names with DragQueryFileA.
    virtual void dropFiles(HDROP drop, int count, rpPoint* point, bool inClient);
    virtual bool mouse(int msg, rpPoint pos, int keys);         // 0x0200-0x020A; pos signed 16-bit
    virtual bool kbd(rpEvent& e);                               // 0x0100-0x0108
    virtual bool user(rpEvent& e);                              // 0x0400-0x7FFF
    virtual bool dde(rpEvent& e);                               // 0x03E0-0x03E8
    virtual bool getDialogCode(rpEvent& e);                     // WM_GETDLGCODE
    virtual bool threadEnded(int code, rpThread* thread);       // RPWM_THREADENDED; deletes thread
    virtual bool notifiedDDE(int code, rpDDE* dde);             // RPWM_DDENOTIFY

    // ---- Window operations (virtual, overridable).
    virtual bool destroy();                  // DestroyWindow
    virtual bool show(int nCmdShow);         // ShowWindow: whether it was visible before
    virtual void setText(const char* text);  // SetWindowTextA
    virtual void setText(std::string text);
    virtual int getText(char* buffer, int max);  // GetWindowTextA
    virtual int getText(std::string& out);   // whole text; -1 when no buffer could be had
    virtual int getTextLen();                // GetWindowTextLengthA
    virtual void setInt(int value, const char* format);      // null format: "%d"
    virtual int getInt();                                    // atoi of the first 300 characters
    virtual void setFloat(float value, const char* format);  // null format: "%g"
    virtual float getFloat();                                // atof of the first 300 characters
    virtual int textHeight();                // height of "abcdefgh" in the window's font
    virtual bool enable(bool flag);          // EnableWindow: whether it was disabled before

    // Scroll-bar objects answer the scroll requests that their parent's scrolled() forwards:
    // the scroll-bar class overrides this to move itself and answer true. Other objects: false.
    virtual bool scrollRequest(int code, int pos);

    // ---- Creation and binding.
    bool registClass();                  // makes sure the class clsName exists
    // Registers, creates, binds, then onCreate(); null text: windowName. False when the object
    // is already bound, or when the new window cannot be bound (it is destroyed again).
    bool create(const char* text);
    // Subclasses h and registers this object for it. Refused (false, nothing changes, reported to
    // dbout) when h is not a window or is already bound to an object. True when bound (also when
    // this object was already bound).
    bool linkWin(HWND h);
    void unlinkWin();                    // restores oldProc, clears user data, drops the entry
    static rpWin* GetWin(HWND h);        // the registered object, or null

    // Per-object entry of a message from rpWinProc: session messages, then dispatchEvent, then
    // oldProc for what was not handled.
    LRESULT msgProc(rpEvent& e);
    // Decodes e and calls one handler; true when the message counts as handled.
    bool dispatchEvent(rpEvent& e);

    // ---- Utilities on the live window.
    bool setPos(rpPoint* pos, rpPoint* size);  // either may be null; Z order kept
    void moveCenter();                         // centre on the full-screen client area
    bool getPlacement(WINDOWPLACEMENT& placement);
    void SetControl(HWND control, bool send);  // WM_NEXTDLGCTL to a given control
    void NextControl(bool send);
    void PrevControl(bool send);
    bool postParent(UINT msg, WPARAM wParam, LPARAM lParam);  // false when there is no target
    bool peekMsg(UINT first, UINT last, UINT remove, MSG* msg);  // msg may be null
    // MessageBoxA owned by this window; null caption: the module's name, or "Rok++4" without a
    // module object.
    int msgBox(const char* text, int type, const char* caption);

    // The instance handle windows and dialogs are created with: the module object's handle, or
    // the executable's when there is no module object (or it has no handle yet).
    static HINSTANCE Instance();

    WNDPROC oldProc;        // procedure installed before rpWinProc; not handled messages go there
    HWND hwnd;              // the window; null before creation and after WM_DESTROY
    WNDCLASSEXA wndClass;   // class description for registClass (lpszClassName -> clsName)
    const char* windowName; // default text for create(); not owned
    DWORD style;            // default WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    rpRect frame;           // placement for create(); default CW_USEDEFAULT, CW_USEDEFAULT, 0, 0
    int id;                 // child id / menu argument of CreateWindowExA
    void* createParam;      // lpParam of CreateWindowExA and of the dialog-box calls; not owned
    std::string clsName;    // window class name (also the object's name)
    bool linked;            // bound: procedure replaced, user data set, registry entry made
    rpWin* parent;          // not owned; cleared when the parent object is deleted

private:
    // Every live window object, so that a deleted object can be forgotten by the others.
    static rpWin* firstLive;
    rpWin* prevLive;        // not owned
    rpWin* nextLive;        // not owned
    void enterLive();
    void leaveLive();

protected:
    // Called on every live object when `gone` is being deleted: drop any pointer to it.
    virtual void forget(rpWin* gone);
};

// The framework's modeless dialog. It lives in the window layer because the application object
// keeps a list of them and uses only their window handle; this system creates none.
class rpDialogModeless : public rpWin {
public:
    using rpWin::rpWin;
    // Leaves the application's modeless list (every registration), so that the message loop
    // never offers a message to a deleted dialog. Defined with the application object.
    ~rpDialogModeless() override;
};

#endif
