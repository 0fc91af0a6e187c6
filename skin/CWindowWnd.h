#pragma once

// Wrapper of one native window: creates the NativeWindow, receives its messages in
// HandleMessage and lets a subclass run a modal loop. The object outlives its window or
// deletes itself in OnFinalMessage; destroying the object destroys a window still open.
// Posting and sending work from any thread while the object lives. UI thread otherwise.
//
// A skinned window: create the manager in WM_CREATE (Init with Window(), AttachDialog with a
// CDialogLayoutUI root, AddNotifier), then offer every message to it:
//     LRESULT r = 0;
//     if (manager.MessageHandler(msg, wParam, lParam, r)) return r;
//     return CWindowWnd::HandleMessage(msg, wParam, lParam);

#include <QPointer>
#include <memory>
#include <string>
#include <string_view>

#include "skin/IWindowHandler.h"
#include "skin/NativeWindow.h"
#include "skin/WinMessages.h"

namespace vm {

class CWindowWnd : public IWindowHandler {
  public:
    CWindowWnd() = default;
    ~CWindowWnd() override;
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const { return m_window; }
    NativeWindow* Window() const { return m_window; }

    // Creates the window (hidden unless `style` has WS_VISIBLE) with this object bound to it;
    // null on failure. `parent` is the owner of a top-level window, the parent of a child.
    HWND Create(HWND parent, std::string_view title, std::uint32_t style, std::uint32_t exStyle,
                int x, int y, int cx, int cy);
    HWND Create(HWND parent, std::string_view title, std::uint32_t style, std::uint32_t exStyle,
                const RECT& rc);

    virtual const char* GetWindowClassName() const = 0;
    // Superclassing a system class has no meaning on Qt; kept for the interface.
    virtual const char* GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return 0; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    virtual void OnFinalMessage(HWND hwnd) {}

    void ShowWindow(bool show = true, bool takeFocus = true);
    void CenterWindow();
    void MoveWindow(int x, int y, int cx, int cy);
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Payload payload = {});
    void Close();
    int ShowModal();

  protected:
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    void FinalMessage(HWND hwnd) override;

    QPointer<NativeWindow> m_window;
    std::shared_ptr<WindowMailbox> m_mailbox;
};

}  // namespace vm
