#include "skin/CMessageBoxWnd.h"

#include <QPolygon>
#include <QRegion>
#include <algorithm>

#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/MarkupText.h"
#include "skin/ResourceLoader.h"
#include "skin/UITheme.h"

namespace vm {
namespace {

struct Appearance {
    int captionHeight = 20;
    int margin = 20;
    int buttonWidth = 80;
    int buttonHeight = 20;
    int buttonGap = 10;
    UINT titleStyle = 1;
    COLORREF buttonColors[4] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    COLORREF messageColor = 0xFFFFFF;
    COLORREF titleColor = 0xFFFFFF;
    int cornerCut = 5;
    int closeRight = 0;
    int closeTop = 0;
    int titleLeft = 0;
    int titleTop = 0;
};

Appearance& Look() {
    static Appearance look;
    return look;
}

int& Last() {
    static int last = 0;
    return last;
}

int IconFor(UINT type) {
    switch (type & 0xF0) {
        case 0x30:
            return 1;
        case 0x20:
            return 2;
        case 0x10:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

CMessageBoxWnd::CMessageBoxWnd(std::string message, std::string title, UINT type)
    : m_title(std::move(title)), m_message(std::move(message)), m_type(type) {}

CMessageBoxWnd::~CMessageBoxWnd() {
    m_manager.RemoveNotifier(this);
    if (m_window) {
        m_window->SetHandler(nullptr);
        m_window->DestroyWindow();
    }
}

int CMessageBoxWnd::LastResult() {
    return Last();
}

void CMessageBoxWnd::SetCaptionHeight(int height) {
    Look().captionHeight = height;
}
void CMessageBoxWnd::SetMargin(int margin) {
    Look().margin = margin;
}
void CMessageBoxWnd::SetButtonSize(int width, int height) {
    Look().buttonWidth = width;
    Look().buttonHeight = height;
}
void CMessageBoxWnd::SetButtonGap(int gap) {
    Look().buttonGap = gap;
}
void CMessageBoxWnd::SetTitleStyle(UINT style) {
    Look().titleStyle = style;
}
void CMessageBoxWnd::SetButtonTextColors(COLORREF normal, COLORREF hot, COLORREF pushed,
                                         COLORREF disabled) {
    Appearance& a = Look();
    a.buttonColors[0] = normal;
    a.buttonColors[1] = hot;
    a.buttonColors[2] = pushed;
    a.buttonColors[3] = disabled;
}
void CMessageBoxWnd::SetMessageColor(COLORREF color) {
    Look().messageColor = color;
}
void CMessageBoxWnd::SetTitleColor(COLORREF color) {
    Look().titleColor = color;
}
void CMessageBoxWnd::SetCornerCut(int size) {
    Look().cornerCut = size;
}
void CMessageBoxWnd::SetCloseButtonOffset(int right, int top) {
    Look().closeRight = right;
    Look().closeTop = top;
}
void CMessageBoxWnd::SetTitlePosition(int left, int top) {
    Look().titleLeft = left;
    Look().titleTop = top;
}
void CMessageBoxWnd::ResetAppearance() {
    Look() = Appearance{};
}

int CMessageBoxWnd::ShowMessageBox(HWND owner, std::string_view message, std::string_view title,
                                   UINT type) {
    CMessageBoxWnd box{std::string(message), std::string(title), type};
    if (!box.Open(owner)) return 1;
    box.ShowModal();
    // A box closed without one of its buttons answers like its close button; the previous
    // box's answer would be a stale "yes".
    return box.m_result != 0 ? box.m_result : 2;
}

bool CMessageBoxWnd::Open(HWND owner) {
    m_owner = owner;
    QPoint origin(0, 0);
    if (owner) origin = owner->mapToGlobal(QPoint(0, 0));
    return Create(owner, m_title, WS_POPUP | WS_VISIBLE, WS_EX_WINDOWEDGE, origin.x(), origin.y(),
                  250, 250) != nullptr;
}

void CMessageBoxWnd::Build() {
    const Appearance& a = Look();
    m_manager.Init(m_window);
    auto root = std::make_unique<CDialogLayoutUI>();
    m_root = root.get();
    m_manager.AttachDialog(std::move(root));
    m_manager.AddNotifier(this);

    const QImage& closeSprite = UITheme::Get().Image(DefaultImage::MessageBoxBackground);
    m_closeWidth = closeSprite.width() / 4;
    const int closeHeight = closeSprite.height();

    const RECT measured =
        MeasureMarkupText(&m_manager, RECT{0, 0, 9999, 100}, m_message, DT_CALCRECT);
    const int messageWidth = m_message.empty() ? 0 : measured.Width();
    const int messageHeight = m_message.empty() ? 0 : measured.Height();

    m_iconIndex = IconFor(m_type);
    QImage icon;
    LoadImageResource(icon, ResourceType::SystemIcon, m_iconIndex);
    const int iconWidth = icon.width();
    const int iconHeight = icon.height();

    const int m = a.margin;
    const int w = std::max(messageWidth + 3 * m + iconWidth, 3 * m + 2 * a.buttonWidth);
    const int h = std::max(iconHeight + a.buttonHeight + 3 * m + a.captionHeight,
                           messageHeight + 3 * m + a.buttonHeight + a.captionHeight);
    m_window->resize(w, h);

    const int n = a.cornerCut;
    QPolygon outline;
    outline << QPoint(n, 0) << QPoint(w - n - 1, 0) << QPoint(w, n) << QPoint(w, h - n - 1)
            << QPoint(w - n - 1, h) << QPoint(n, h) << QPoint(0, h - n - 1) << QPoint(0, n)
            << QPoint(n, 0);
    m_window->setMask(QRegion(outline, Qt::OddEvenFill));
    CenterWindow();

    m_root->SetPos(0, 0, w, h);  // empty yet: the controls below keep their rectangles

    const int closeLeft = w - a.closeRight - m_closeWidth;
    RECT titleRect{a.titleLeft, a.titleTop, closeLeft, a.titleTop + closeHeight};
    if (a.titleLeft == 0 && a.titleTop == 0)
        titleRect = RECT{m_closeWidth, a.closeTop, closeLeft, a.closeTop + closeHeight};
    auto title = std::make_unique<CUILabel>();
    title->SetId(kTitleId);
    title->SetName(std::to_string(kTitleId));
    title->SetPos(titleRect);
    title->SetText(m_title);
    title->SetTextStyle(a.titleStyle);
    title->SetTextColor(a.titleColor);
    m_root->Add(std::move(title));

    auto close = std::make_unique<CUIButton>();
    close->SetId(kCloseId);
    close->SetName(std::to_string(kCloseId));
    close->SetPos(closeLeft, a.closeTop, closeLeft + m_closeWidth, a.closeTop + closeHeight);
    close->SetImage(closeSprite);
    m_root->Add(std::move(close));

    auto iconLabel = std::make_unique<CUILabel>();
    iconLabel->SetId(kIconId);
    iconLabel->SetName(std::to_string(kIconId));
    iconLabel->SetPos(m, a.captionHeight + m, m + iconWidth, a.captionHeight + m + iconHeight);
    if (!icon.isNull()) iconLabel->SetImage(icon);
    m_root->Add(std::move(iconLabel));

    auto text = std::make_unique<CUILabel>();
    text->SetId(kMessageId);
    text->SetName(std::to_string(kMessageId));
    text->SetPos(2 * m + iconWidth, a.captionHeight + m + 5, w - m,
                 a.captionHeight + m + messageHeight + 7);
    text->SetTextStyle(0);
    text->SetTextColor(a.messageColor);
    text->SetText(m_message);
    m_root->Add(std::move(text));

    const int top = h - a.buttonHeight - m;
    auto addButton = [&](int id, const char* name, const char* caption, int left) {
        auto b = std::make_unique<CUIButton>();
        b->SetId(id);
        b->SetName(name);
        b->SetPos(left, top, left + a.buttonWidth, top + a.buttonHeight);
        b->SetText(caption);
        b->SetImage(UITheme::Get().Image(DefaultImage::ButtonFace));
        b->SetTextColors(a.buttonColors[0], a.buttonColors[1], a.buttonColors[2],
                         a.buttonColors[3]);
        m_root->Add(std::move(b));
    };
    const int pairLeft = (w - 2 * a.buttonWidth - a.buttonGap) / 2;
    switch (m_type & 0x0F) {
        case 1:
            addButton(4, "ok", "确定", pairLeft);
            addButton(5, "cancel", "取消", pairLeft + a.buttonWidth + a.buttonGap);
            break;
        case 4:
            addButton(6, "ok", "是", pairLeft);
            addButton(7, "cancel", "否", pairLeft + a.buttonWidth + a.buttonGap);
            break;
        default:
            addButton(4, "ok", "确定", (w - a.buttonWidth) / 2);
            break;
    }
}

LRESULT CMessageBoxWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        Build();
        return 0;
    }
    if (msg == WM_NCHITTEST && m_window) {
        // The title strip drags the box; the close button stays a button.
        const QPoint p =
            m_window->mapFromGlobal(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        const int stripRight = m_window->width() - Look().closeRight - m_closeWidth;
        const bool strip = p.y() >= 0 && p.y() < Look().captionHeight && p.x() < stripRight;
        return strip ? HTCAPTION : HTCLIENT;
    }
    LRESULT result = 0;
    if (m_manager.MessageHandler(msg, wParam, lParam, result)) return result;
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

void CMessageBoxWnd::Notify(UINotify& notify) {
    if (notify.code != UINotifyCode::Click || !notify.sender) return;
    int answer = 0;
    switch (notify.sender->GetId()) {
        case 4:
            answer = 1;
            break;
        case 5:
        case kCloseId:
            answer = 2;
            break;
        case 6:
            answer = 6;
            break;
        case 7:
            answer = 7;
            break;
        default:
            return;
    }
    m_result = answer;
    Last() = answer;
    PostMessage(WM_CLOSE);
}

}  // namespace vm
