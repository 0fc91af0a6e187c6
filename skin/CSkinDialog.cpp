#include "skin/CSkinDialog.h"

#include <QApplication>
#include <QRegion>

#include "skin/CMessageBoxWnd.h"
#include "skin/CUIButton.h"
#include "skin/CUIEdit.h"
#include "skin/CUILabel.h"
#include "skin/CUILabelLine.h"
#include "skin/CUIPageSheet.h"
#include "skin/CUIProgressBar.h"
#include "skin/CUIWndLayer.h"
#include "skin/ResourceLoader.h"
#include "skin/UITheme.h"

namespace vm {
namespace {

bool LoadDefault(DefaultImage which, int number, std::string_view module) {
    QImage image;
    if (!LoadPngResource(image, number, module)) return false;
    UITheme::Get().SetImage(which, std::move(image));
    return true;
}

}  // namespace

CSkinDialog::CSkinDialog() = default;

CSkinDialog::~CSkinDialog() {
    m_manager.RemoveNotifier(this);
    m_layer.reset();
    if (m_window) {
        // The manager goes before the window: unbind so no message reaches it meanwhile.
        m_window->SetHandler(nullptr);
        m_window->DestroyWindow();
    }
}

bool CSkinDialog::Create(HWND owner, std::string_view title, int cx, int cy) {
    return CWindowWnd::Create(owner, title, WS_POPUP, 0, 0, 0, cx, cy) != nullptr;
}

int CSkinDialog::DoModal() {
    if (!m_window) return 0;
    if (!m_window->isVisible()) CenterWindow();
    return ShowModal();
}

void CSkinDialog::EndDialog(int result) {
    if (m_window) m_window->EndModal(result);
}

bool CSkinDialog::OnInitDialog() {
    SetResourceInstance(GetResourceInstance());
    auto root = std::make_unique<CDialogLayoutUI>();
    m_root = root.get();
    m_manager.Init(m_window);
    m_manager.AttachDialog(std::move(root));
    // Laid out while still empty, so the controls added next keep their designed rectangles.
    m_root->SetPos(m_window->ClientRect());
    m_manager.AddNotifier(this);
    return true;
}

LRESULT CSkinDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
        EndDialog(2);
        return 0;
    }
    return DefWindowProc(msg, wParam, lParam);
}

bool CSkinDialog::PreTranslateMessage(const MSG& msg) {
    // Arrow keys go to the focused control, not to the tab and accelerator translation.
    if (msg.message == WM_KEYDOWN && msg.wParam >= VK_LEFT && msg.wParam <= VK_DOWN) return false;
    return CWindowWnd::PreTranslateMessage(msg);
}

LRESULT CSkinDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            OnInitDialog();
            return 0;
        case WM_ENABLE:
            HandleMessage(kUpdateLayerMessage, 0, 0);
            break;
        case kUpdateLayerMessage:
            if (m_window) m_window->KillTimer(kLayerTimer);
            UpdateLayer();
            return 0;
        case WM_TIMER:
            if (wParam == kLayerTimer) {
                if (m_layerPending) {
                    UpdateLayer();
                } else if (m_window) {
                    m_window->KillTimer(kLayerTimer);
                }
                return 0;
            }
            break;
        default:
            break;
    }
    LRESULT result = 0;
    if (m_manager.MessageHandler(msg, wParam, lParam, result)) return result;
    return DialogProc(msg, wParam, lParam);
}

bool CSkinDialog::SetSkinImages(int normal, int hot, int pushed, int disabled,
                                std::string_view module) {
    const int numbers[4] = {normal, hot, pushed, disabled};
    bool all = true;
    for (int i = 0; i < 4; ++i) {
        QImage image;
        if (LoadPngResource(image, numbers[i], module)) {
            m_manager.SetImage(i, std::move(image));
        } else {
            all = false;
        }
    }
    m_manager.Invalidate();
    return all;
}

void CSkinDialog::SetWindowRegion(const std::vector<POINT>& topLeft,
                                  const std::vector<POINT>& topRight,
                                  const std::vector<POINT>& bottomRight,
                                  const std::vector<POINT>& bottomLeft) {
    if (!m_window) return;
    if (topLeft.size() + topRight.size() + bottomRight.size() + bottomLeft.size() < 5) return;
    const int w = m_window->width();
    const int h = m_window->height();
    QPolygon polygon;
    for (const POINT& p : topLeft) polygon << QPoint(p.x, p.y);
    for (const POINT& p : topRight) polygon << QPoint(p.x + w, p.y);
    for (const POINT& p : bottomRight) polygon << QPoint(p.x + w, p.y + h);
    for (const POINT& p : bottomLeft) polygon << QPoint(p.x, p.y + h);
    m_region = polygon;
    m_window->setMask(QRegion(polygon, Qt::WindingFill));
    if (m_layerAlpha > 0) {
        m_layer.reset();
        auto layer = std::make_unique<CUIWndLayer>();
        if (layer->Create(m_window, 0, 0, w, h, m_layerAlpha)) {
            layer->SetOutline(polygon);
            m_layer = std::move(layer);
        }
    }
}

void CSkinDialog::SetRoundCorner(int s) {
    SetWindowRegion({{0, s}, {s, 0}}, {{-s, 0}, {0, s}}, {{0, -s - 1}, {-s - 1, 0}},
                    {{s + 1, 0}, {0, -s - 1}});
}

void CSkinDialog::UpdateLayer() {
    if (!m_window) return;
    const bool disabled = !m_window->IsWindowEnabled();
    if (disabled && QApplication::activeWindow() == m_window) {
        // Wait until the window that disabled us (normally a modal child) is in front.
        m_layerPending = true;
        m_window->SetTimer(kLayerTimer, 10);
        return;
    }
    m_layerPending = false;
    if (!m_layer) return;
    if (!disabled || !m_window->isVisible()) {
        m_layer->Show(false);
        return;
    }
    m_layer->MoveWindow(0, 0, m_window->width(), m_window->height());
    m_layer->Show(true);
}

template <typename T>
T* CSkinDialog::MakeControl(int id, int left, int top, int right, int bottom,
                            std::string_view text) {
    auto control = std::make_unique<T>();
    control->SetId(id);
    control->SetPos(left, top, right, bottom);
    control->SetName(std::to_string(id));
    if (!text.empty()) control->SetText(text);
    return static_cast<T*>(AddControl(std::move(control)));
}

CUIControl* CSkinDialog::AddControl(std::unique_ptr<CUIControl> control) {
    if (!m_root || !control) return nullptr;
    const RECT rc = control->GetPos();
    for (CDialogLayoutUI* layout : m_layouts) {
        if (IntersectRect(layout->GetPos(), rc) == rc) return layout->Add(std::move(control));
    }
    return m_root->Add(std::move(control));
}

CUIButton* CSkinDialog::CreateButton(int id, int l, int t, int r, int b, std::string_view text) {
    return MakeControl<CUIButton>(id, l, t, r, b, text);
}

CUILabel* CSkinDialog::CreateLabel(int id, int l, int t, int r, int b, std::string_view text) {
    return MakeControl<CUILabel>(id, l, t, r, b, text);
}

CUIEdit* CSkinDialog::CreateEdit(int id, int l, int t, int r, int b, std::string_view text) {
    auto* edit = MakeControl<CUIEdit>(id, l, t, r, b, {});
    if (edit && !text.empty()) edit->SetText(text, true);
    return edit;
}

CUIProgressBar* CSkinDialog::CreateProgressBar(int id, int l, int t, int r, int b,
                                               std::string_view text) {
    return MakeControl<CUIProgressBar>(id, l, t, r, b, text);
}

CUILabelLine* CSkinDialog::CreateLabelLine(int id, int l, int t, int r, int b,
                                           std::string_view text) {
    return MakeControl<CUILabelLine>(id, l, t, r, b, text);
}

CUIPageSheet* CSkinDialog::CreatePageSheet(int id, int l, int t, int r, int b,
                                           std::string_view text) {
    if (!m_root) return nullptr;
    auto* sheet = static_cast<CUIPageSheet*>(m_root->Add(std::make_unique<CUIPageSheet>()));
    sheet->SetId(id);
    sheet->SetPos(l, t, r, b);
    sheet->SetName(std::to_string(id));
    if (!text.empty()) sheet->SetText(text);
    return sheet;
}

CDialogLayoutUI* CSkinDialog::AddLayout(int left, int top, int right, int bottom) {
    if (!m_root) return nullptr;
    auto* layout = static_cast<CDialogLayoutUI*>(m_root->Add(std::make_unique<CDialogLayoutUI>()));
    // Laid out while empty: its controls keep the rectangles they are given.
    layout->SetPos(left, top, right, bottom);
    m_layouts.push_back(layout);
    return layout;
}

CUIControl* CSkinDialog::FindControl(int id) {
    if (!m_window) return nullptr;
    return m_manager.FindControl(id);
}

int CSkinDialog::MessageBox(std::string_view message, std::string_view title, UINT type) {
    std::string caption(title);
    if (caption.empty() && m_window) caption = m_window->windowTitle().toStdString();
    return CMessageBoxWnd::ShowMessageBox(m_window, message, caption, type);
}

void CSkinDialog::SetEditBackColor(COLORREF color) {
    UITheme::Get().SetEditBackColor(color);
}
void CSkinDialog::SetEditTextColor(COLORREF color) {
    UITheme::Get().SetEditTextColor(color);
}
void CSkinDialog::SetDisabledEditBackColor(COLORREF color) {
    UITheme::Get().SetDisabledEditBackColor(color);
}
void CSkinDialog::SetEditFrameColors(COLORREF color, COLORREF second) {
    UITheme::Get().SetEditFrameColors(color, second);
}
void CSkinDialog::SetFocusedEditFrameColors(COLORREF color, COLORREF second) {
    UITheme::Get().SetFocusedEditFrameColors(color, second);
}
void CSkinDialog::SetReadOnlyEditFrameColors(COLORREF color, COLORREF second) {
    UITheme::Get().SetReadOnlyEditFrameColors(color, second);
}

bool CSkinDialog::LoadDialogBackground(int number, std::string_view module) {
    return LoadDefault(DefaultImage::DialogBackground, number, module);
}
bool CSkinDialog::LoadButtonFace(int number, std::string_view module) {
    return LoadDefault(DefaultImage::ButtonFace, number, module);
}
bool CSkinDialog::LoadMessageBoxBackground(int number, std::string_view module) {
    return LoadDefault(DefaultImage::MessageBoxBackground, number, module);
}
bool CSkinDialog::LoadCheckBoxImage(int number, std::string_view module) {
    return LoadDefault(DefaultImage::CheckBox, number, module);
}
bool CSkinDialog::LoadRadioImage(int number, std::string_view module) {
    return LoadDefault(DefaultImage::Radio, number, module);
}
const QImage& CSkinDialog::GetButtonFaceImage() {
    return UITheme::Get().Image(DefaultImage::ButtonFace);
}
const QImage& CSkinDialog::GetMessageBoxBackground() {
    return UITheme::Get().Image(DefaultImage::MessageBoxBackground);
}

}  // namespace vm
