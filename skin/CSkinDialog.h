#pragma once

// A skinned dialog: a top-level window whose client area is painted by its control tree from
// the window's state images (normal, hot, pushed, disabled), cut to a polygon, and veiled in
// translucent grey while a modal child blocks it.
//
// A concrete dialog overrides OnInitDialog (call the base first, then build its controls with
// the factories), Notify for its controls' notifications, and DialogProc for the window
// messages the controls leave alone. Create opens it hidden; DoModal shows it and returns what
// EndDialog was given. The dialog owns its manager, tree and veil; UI thread only.

#include <QImage>
#include <QPolygon>
#include <memory>
#include <string_view>
#include <vector>

#include "skin/CDialogLayoutUI.h"
#include "skin/CUIManager.h"
#include "skin/CWindowWnd.h"
#include "skin/INotifyUI.h"

namespace vm {

class CUIButton;
class CUIEdit;
class CUIPageSheet;
class CUILabel;
class CUILabelLine;
class CUIProgressBar;
class CUIWndLayer;

class CSkinDialog : public CWindowWnd, public INotifyUI {
  public:
    // Message the dialog sends itself when its enabled state changes.
    static constexpr UINT kUpdateLayerMessage = 0x637;
    static constexpr std::uintptr_t kLayerTimer = 60000;

    CSkinDialog();
    ~CSkinDialog() override;

    // Creates the window hidden with a client area of cx x cy, owned by `owner`.
    bool Create(HWND owner, std::string_view title, int cx, int cy);
    // Shows the dialog and runs its modal loop; the value given to EndDialog, else 0.
    int DoModal();
    void EndDialog(int result);

    // Loads four picture resources as the window's state images.
    bool SetSkinImages(int normal, int hot, int pushed, int disabled, std::string_view module = {});

    // Corner point lists relative to their corner (top-right ones to the client width,
    // bottom-right ones to width and height, bottom-left ones to the height). Fewer than 5
    // points in all change nothing.
    virtual void SetWindowRegion(const std::vector<POINT>& topLeft,
                                 const std::vector<POINT>& topRight,
                                 const std::vector<POINT>& bottomRight,
                                 const std::vector<POINT>& bottomLeft);
    // An octagon with 45-degree cuts of `size` pixels.
    virtual void SetRoundCorner(int size);
    const QPolygon& GetWindowRegion() const { return m_region; }

    // Controls at fixed client rectangles, named by their decimal id; each goes into the first
    // further layout that contains its rectangle, else into the root.
    CUIButton* CreateButton(int id, int left, int top, int right, int bottom,
                            std::string_view text = {});
    CUILabel* CreateLabel(int id, int left, int top, int right, int bottom,
                          std::string_view text = {});
    // The initial text is set with a TextChanged notification.
    CUIEdit* CreateEdit(int id, int left, int top, int right, int bottom,
                        std::string_view text = {});
    CUIProgressBar* CreateProgressBar(int id, int left, int top, int right, int bottom,
                                      std::string_view text = {});
    CUILabelLine* CreateLabelLine(int id, int left, int top, int right, int bottom,
                                  std::string_view text = {});
    // A page sheet goes straight into the root (its pages hold the controls).
    CUIPageSheet* CreatePageSheet(int id, int left, int top, int right, int bottom,
                                  std::string_view text = {});
    // A further layout inside the root at a fixed rectangle.
    CDialogLayoutUI* AddLayout(int left, int top, int right, int bottom);
    // Places a control the dialog made itself, by the same rule as the factories.
    CUIControl* AddControl(std::unique_ptr<CUIControl> control);

    // Null before the window exists or when no control has that id.
    CUIControl* FindControl(int id);

    // The skinned message box over this dialog; the window title when `title` is empty.
    int MessageBox(std::string_view message, std::string_view title = {}, UINT type = 0);

    // Theme setters the dialogs use for their edit fields.
    void SetEditBackColor(COLORREF color);
    void SetEditTextColor(COLORREF color);
    void SetDisabledEditBackColor(COLORREF color);
    void SetEditFrameColors(COLORREF color, COLORREF second);
    void SetFocusedEditFrameColors(COLORREF color, COLORREF second);
    void SetReadOnlyEditFrameColors(COLORREF color, COLORREF second);

    // The process-wide default images, from picture resources; false (and the image kept)
    // when the picture is missing.
    static bool LoadDialogBackground(int number, std::string_view module = {});
    static bool LoadButtonFace(int number, std::string_view module = {});
    static bool LoadMessageBoxBackground(int number, std::string_view module = {});
    static bool LoadCheckBoxImage(int number, std::string_view module = {});
    static bool LoadRadioImage(int number, std::string_view module = {});
    static const QImage& GetButtonFaceImage();
    static const QImage& GetMessageBoxBackground();

    void SetLayerAlpha(int alpha) { m_layerAlpha = alpha; }
    // Shows the veil while the dialog is disabled and visible, hides it otherwise.
    void UpdateLayer();
    CUIWndLayer* GetLayer() const { return m_layer.get(); }
    bool IsLayerPending() const { return m_layerPending; }

    CUIManager& Manager() { return m_manager; }
    CDialogLayoutUI* Root() const { return m_root; }

    bool PreTranslateMessage(const MSG& msg) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    const char* GetWindowClassName() const override { return "SkinDialog"; }
    void Notify(UINotify&) override {}

  protected:
    // The base binds the manager and attaches an empty root; call it first.
    virtual bool OnInitDialog();
    // Messages the controls did not take; the default is the window's own handling.
    virtual LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    template <typename T>
    T* MakeControl(int id, int left, int top, int right, int bottom, std::string_view text);

    CUIManager m_manager;
    CDialogLayoutUI* m_root = nullptr;
    std::vector<CDialogLayoutUI*> m_layouts;
    std::unique_ptr<CUIWndLayer> m_layer;
    int m_layerAlpha = 80;
    bool m_layerPending = false;
    QPolygon m_region;
};

}  // namespace vm
