#include "skin/CUIEdit.h"

#include <QString>

#include "skin/CDC.h"
#include "skin/CUIEditWnd.h"
#include "skin/CUIManager.h"
#include "skin/UIRender.h"

namespace vm {

CUIEdit::~CUIEdit() {
    if (m_overlay) {
        CUIEditWnd* overlay = std::exchange(m_overlay, nullptr);
        overlay->Close();
    }
}

QWidget* CUIEdit::GetOverlay() const {
    return m_overlay ? m_overlay->Widget() : nullptr;
}

void CUIEdit::SetText(std::string_view text, bool notify) {
    m_text = text;
    if (m_overlay && m_persistent) m_overlay->SetText(m_text);
    if (notify && m_manager) m_manager->SendNotify(this, UINotifyCode::TextChanged);
    Invalidate();
}

void CUIEdit::SetPassword(bool password) {
    m_password = password;
    if (password) m_editStyle |= ES_PASSWORD;
    Invalidate();
}

void CUIEdit::SetTextLimit(int limit) {
    m_textLimit = limit;
    if (m_overlay) m_overlay->SetTextLimit(limit);
}

void CUIEdit::SetSelection(int start, int end) {
    if (m_overlay) m_overlay->SetSelection(start, end);
}

void CUIEdit::SetReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    if (m_overlay) m_overlay->SetReadOnly(readOnly);
    Invalidate();
}

SIZE CUIEdit::EstimateSize(SIZE) {
    const int h = m_manager ? m_manager->GetThemeFontInfo(1).tmHeight : 12;
    return SIZE{0, h + 12};
}

void CUIEdit::Init() {
    if (m_persistent && !m_overlay) CreateOverlay();
}

void CUIEdit::CreateOverlay() {
    if (m_overlay) return;
    auto* overlay = new CUIEditWnd(this);
    m_overlay = overlay;
    if (!overlay->Init()) {
        m_overlay = nullptr;
        delete overlay;
    }
}

void CUIEdit::EndEdit() {
    if (!m_overlay) return;
    if (m_manager && m_manager->GetFocus() == this) m_manager->SetFocus(nullptr);
    if (m_manager) m_manager->SendNotify(this, UINotifyCode::KillFocus);
    m_focused = false;
    Invalidate();
    if (m_overlay) m_overlay->Close();
}

void CUIEdit::OverlayChanged(const std::string& text) {
    if (m_persistent) {
        m_text = text;
        if (m_manager) m_manager->SendNotify(this, UINotifyCode::TextChanged);
        return;
    }
    SetText(text, true);
}

void CUIEdit::OverlayGone(CUIEditWnd* overlay) {
    if (m_overlay == overlay) m_overlay = nullptr;
}

void CUIEdit::Event(UIEvent& event) {
    if (m_persistent) {
        switch (event.type) {
            case UIEventType::WindowSize:
                if (m_manager) m_manager->SetFocus(nullptr);
                return;
            case UIEventType::SetFocus:
                CUIControl::Event(event);
                if (QWidget* w = GetOverlay()) w->setFocus(Qt::OtherFocusReason);
                return;
            default:
                CUIControl::Event(event);
                return;
        }
    }
    switch (event.type) {
        case UIEventType::SetCursor:
            if (IsEnabled()) {
                if (m_manager) m_manager->SetCursor(CursorKind::IBeam);
                return;
            }
            break;
        case UIEventType::WindowSize:
            // The overlay would no longer lie over the box: stop editing, keep the text.
            if (m_overlay) {
                EndEdit();
                return;
            }
            break;
        case UIEventType::SetFocus:
            CUIControl::Event(event);
            if (IsEnabled() && !m_readOnly) CreateOverlay();
            return;
        case UIEventType::ButtonDown:
            if (m_focused && !m_overlay && !m_readOnly && IsEnabled()) {
                CreateOverlay();
                return;
            }
            break;
        default:
            break;
    }
    CUIControl::Event(event);
}

void CUIEdit::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    if (m_overlay && m_persistent) {
        if (QWidget* w = GetOverlay()) {
            RECT rc = m_pos;
            rc.Deflate(3, 3, 3, 3);
            w->setGeometry(ToQRect(rc));
        }
    }
}

void CUIEdit::SetVisible(bool visible) {
    CUIControl::SetVisible(visible);
    if (m_overlay && m_persistent) {
        if (QWidget* w = GetOverlay()) w->setVisible(visible);
    }
}

void CUIEdit::SetEnabled(bool enabled) {
    CUIControl::SetEnabled(enabled);
    if (QWidget* w = GetOverlay()) w->setEnabled(enabled);
}

std::string CUIEdit::DisplayText() const {
    if (!m_password) return m_text;
    const qsizetype n = QString::fromStdString(m_text).toUcs4().size();
    return std::string(static_cast<std::size_t>(n), '*');
}

void CUIEdit::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    const bool disabled = !IsEnabled();
    RECT box = m_pos;
    if (!m_frameImage.isNull()) {
        DrawImage9Grid(dc, m_pos.left, m_pos.top, m_pos.right, m_pos.bottom, 0, 0,
                       m_frameImage.width(), m_frameImage.height(), &m_frameImage, false);
        box.Deflate(m_frameWidth, m_frameWidth, m_frameWidth, m_frameWidth);
    } else {
        if (m_frameWidth != 0) {
            int light = 37, dark = 38;
            if (disabled || m_readOnly) {
                light = 41;
                dark = 42;
            } else if (m_focused) {
                light = 39;
                dark = 40;
            }
            DrawFrame(dc, m_pos.left, m_pos.top, m_pos.right, m_pos.bottom, light, dark,
                      disabled ? 32 : 30, 0);
        }
        box.Deflate(3, 2, 3, 2);
    }
    if (m_persistent) return;
    const std::string text = DisplayText();
    if (text.empty()) return;
    const int color = disabled ? 35 : m_readOnly ? 36 : 34;
    dc.SaveDC();
    dc.IntersectClip(box);
    dc.SelectThemeFont(1);
    QPainter& p = dc.Painter();
    p.setPen(ToQColor(m_manager ? m_manager->GetThemeColor(color) : 0));
    p.setFont(dc.Font());
    int flags = (m_editStyle & ES_CENTER)  ? Qt::AlignHCenter
                : (m_editStyle & ES_RIGHT) ? Qt::AlignRight
                                           : Qt::AlignLeft;
    if (m_editStyle & ES_MULTILINE) {
        flags |= Qt::AlignTop | Qt::TextWordWrap;
    } else {
        flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    }
    p.drawText(ToQRect(box), flags, QString::fromStdString(text));
    dc.RestoreDC();
}

}  // namespace vm
