#include "skin/CUIButton.h"

#include <cstdlib>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/ControlText.h"
#include "skin/MarkupText.h"
#include "skin/ResourceLoader.h"
#include "skin/UIRender.h"
#include "skin/WinMessages.h"

namespace vm {
namespace {

// Frame of a four-frame sprite for a state: disabled, pushed, hot, else normal.
int FrameFor(UINT state) {
    if (state & UISTATE_DISABLED) return 3;
    if (state & UISTATE_PUSHED) return 2;
    if (state & UISTATE_HOT) return 1;
    return 0;
}

constexpr int kGlyphStrip = 18;

}  // namespace

bool CUIButton::LoadImage(int pngNumber, std::string_view module) {
    return LoadPngResource(m_image, pngNumber, module);
}

void CUIButton::SetTextColors(COLORREF normal, COLORREF hot, COLORREF pushed, COLORREF disabled) {
    m_normalColor = normal;
    m_hotColor = hot;
    m_pushedColor = pushed;
    m_disabledColor = disabled;
    Invalidate();
}

void CUIButton::SetCheck(bool checked) {
    if (checked && m_groupFirst >= 0 && m_manager) {
        for (int id = m_groupFirst; id <= m_groupLast; ++id) {
            if (id == GetId()) continue;
            CUIControl* other = m_manager->FindControl(id);
            if (!other) continue;
            if (auto* c = static_cast<IUIChecked*>(other->GetInterface("UIChecked")))
                c->SetCheck(false);
        }
    }
    if (m_checked == checked) return;
    m_checked = checked;
    Invalidate();
}

void CUIButton::SetGroupRange(int firstId, int lastId) {
    m_groupFirst = firstId;
    m_groupLast = lastId;
}

void CUIButton::SetText(std::string_view text) {
    SetShortcut(ShortcutOf(text));
    CUIControl::SetText(text);
}

bool CUIButton::Activate() {
    if (!CUIControl::Activate()) return false;
    if (m_manager) m_manager->SendNotify(this, UINotifyCode::Click);
    return true;
}

void* CUIButton::GetInterface(std::string_view name) {
    if (name == "UIChecked") return static_cast<IUIChecked*>(this);
    return CUIControl::GetInterface(name);
}

SIZE CUIButton::EstimateSize(SIZE) {
    const int height = UITheme::Get().FontInfo(1).tmHeight + 4;
    int width = m_width;
    if (width == 0) {
        width = MeasureMarkupText(m_manager, RECT{0, 0, 9999, 100}, m_text, DT_SINGLELINE).Width();
    }
    return SIZE{width + 2 * paddingX, height + 2 * paddingY};
}

bool CUIButton::Inside(POINT pt) const {
    return m_pos.Contains(pt) && HitTest(pt.x, pt.y);
}

RECT CUIButton::CheckArea() const {
    if (checkImage.isNull()) return RECT{};
    return RECT{m_pos.right - checkImage.width() / 4, m_pos.top, m_pos.right, m_pos.bottom};
}

void CUIButton::Event(UIEvent& event) {
    if (!IsEnabled()) {
        if (event.type == UIEventType::SetFocus || event.type == UIEventType::KillFocus)
            CUIControl::Event(event);
        return;  // a disabled button ignores input
    }
    const POINT pt = event.mouse;
    const bool inCheckArea = CheckArea().Contains(pt);
    switch (event.type) {
        case UIEventType::SetCursor:
            if (Inside(pt) && m_manager) {
                m_manager->SetCursor(CursorKind::Hand);
                return;
            }
            break;
        case UIEventType::ButtonDown:
        case UIEventType::DblClick: {
            if (!Inside(pt)) break;
            m_state |= UISTATE_PUSHED | UISTATE_CAPTURED;
            if (inCheckArea) m_checkState |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
            if (event.type == UIEventType::DblClick) {
                Activate();
                if (m_manager) m_manager->SendNotify(this, UINotifyCode::DblClick);
            }
            if (m_checkMode != UICHECK_PUSH) {
                if (inCheckArea) {
                    if (m_manager) m_manager->SendNotify(this, UINotifyCode::CheckClick);
                    return;
                }
                if (m_groupFirst >= 0) {
                    if (!m_checked) SetCheck(true);
                    if (m_checkMode == UICHECK_PUSHON) Activate();
                } else {
                    SetCheck(!m_checked);
                    if (m_checkMode == UICHECK_PUSHON && m_checked) Activate();
                }
            }
            break;
        }
        case UIEventType::MouseMove:
            if (m_state & UISTATE_CAPTURED) {
                const UINT before = m_state;
                if (Inside(pt)) {
                    m_state |= UISTATE_PUSHED;
                } else {
                    m_state &= ~UISTATE_PUSHED;
                }
                if (m_checked) {
                    m_checkState &= ~(UISTATE_HOT | UISTATE_PUSHED);
                    if (inCheckArea)
                        m_checkState |=
                            (m_checkState & UISTATE_CAPTURED) ? UISTATE_PUSHED : UISTATE_HOT;
                }
                if (before != m_state || m_checked) Invalidate();
            }
            break;
        case UIEventType::ButtonUp:
            if (m_state & UISTATE_CAPTURED) {
                const bool click = Inside(pt) && m_checkMode != UICHECK_PUSHON;
                m_state &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
                m_checkState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
                Invalidate();
                if (click) Activate();
            }
            break;
        case UIEventType::KeyDown:
            // The focused button answers Space and Return like a click.
            if (event.key == VK_SPACE || event.key == VK_RETURN) {
                Activate();
                return;
            }
            break;
        case UIEventType::MouseEnter:
            m_state |= UISTATE_HOT;
            if (inCheckArea) m_checkState |= UISTATE_HOT;
            Invalidate();
            break;
        case UIEventType::MouseLeave:
            m_state &= ~UISTATE_HOT;
            m_checkState &= ~UISTATE_HOT;
            Invalidate();
            break;
        default:
            break;
    }
    CUIControl::Event(event);
}

void CUIButton::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "align") {
        SetTextStyle(WithAlignAttribute(m_textStyle & ~(DT_CENTER | DT_RIGHT), value));
    } else if (name == "width") {
        SetWidth(std::atoi(std::string(value).c_str()));
    } else {
        CUIControl::SetAttribute(name, value);
    }
}

void CUIButton::PaintText(CDC& dc, const RECT& box, COLORREF color) {
    if (m_text.empty()) return;
    RECT r = box;
    DrawMarkupText(dc, m_manager, r, m_text, color, kNoColor, nullptr, nullptr,
                   m_textStyle | DT_SINGLELINE);
}

void CUIButton::PaintGlyph(CDC& dc, UINT state) {
    const bool radio = m_checkMode == UICHECK_RADIO;
    const QImage& sprite =
        UITheme::Get().Image(radio ? DefaultImage::Radio : DefaultImage::CheckBox);
    const bool right = m_textStyle & DT_RIGHT;
    RECT strip = m_pos;
    RECT textBox = m_pos;
    if (right) {
        strip.left = m_pos.right - kGlyphStrip;
        textBox.right = strip.left;
    } else {
        strip.right = m_pos.left + kGlyphStrip;
        textBox.left = strip.right;
    }
    if (!sprite.isNull()) {
        const int fw = sprite.width() / 4;
        const int fh = sprite.height() / 2;
        const int x = strip.left + (kGlyphStrip - fw) / 2;
        const int y = strip.top + (strip.Height() - fh) / 2 + (radio ? 0 : 1);
        const int row = m_checked ? 1 : 0;
        dc.DrawImage(
            RECT{x, y, x + fw, y + fh}, sprite,
            RECT{FrameFor(state) * fw, row * fh, FrameFor(state) * fw + fw, row * fh + fh});
    }
    if (!m_text.empty()) {
        RECT r = textBox;
        const COLORREF color = UITheme::Get().Color((state & UISTATE_DISABLED) ? 35 : 34);
        DrawMarkupText(dc, m_manager, r, m_text, color, kNoColor, nullptr, nullptr,
                       (m_textStyle & DT_RIGHT ? DT_RIGHT : 0) | DT_SINGLELINE | DT_VCENTER);
    }
}

void CUIButton::PaintFace(CDC& dc, UINT state) {
    if (m_checked) {
        state |= UISTATE_PUSHED;
    } else if (m_groupFirst >= 0) {
        state &= ~UISTATE_PUSHED;
    }
    if (!m_image.isNull()) {
        const int fw = m_image.width() / 4;
        DrawImage9Grid(dc, m_pos.left, m_pos.top, m_pos.right, m_pos.bottom, FrameFor(state) * fw,
                       0, fw, m_image.height(), &m_image, false);
    } else {
        DrawStateFace(dc, m_manager, m_pos.left, m_pos.top, m_pos.right, m_pos.bottom, state,
                      m_polygon.empty() ? nullptr : m_polygon.data(),
                      static_cast<int>(m_polygon.size()));
    }
    const RECT area = CheckArea();
    if (!checkImage.isNull() &&
        (m_checked || checkImageAlways || checkImageAlwaysHot || (state & UISTATE_HOT))) {
        const int fw = checkImage.width() / 4;
        const int frame = FrameFor(m_checkState | (state & UISTATE_DISABLED));
        dc.DrawImage(
            RECT{area.left, area.top, area.left + fw,
                 area.top + std::min(area.Height(), checkImage.height())},
            checkImage,
            RECT{frame * fw, 0, frame * fw + fw, std::min(area.Height(), checkImage.height())});
    }
    if (m_text.empty()) return;
    const COLORREF color = (state & UISTATE_DISABLED) ? m_disabledColor
                           : (state & UISTATE_PUSHED) ? m_pushedColor
                           : (state & UISTATE_HOT)    ? m_hotColor
                                                      : m_normalColor;
    RECT box = m_pos;
    box.Deflate(1, 1, 1, 1);
    if (textOffsetX != 0 || textOffsetY != 0) {
        box.left = m_pos.left + textOffsetX;
        box.top = m_pos.top + textOffsetY;
    } else if (autoSize) {
        box.Offset(autoSizeExtra, 0);
    } else {
        box.Deflate(paddingX, paddingY, paddingX, paddingY);
    }
    PaintText(dc, box, color);
}

void CUIButton::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    UINT state = m_state & ~(UISTATE_FOCUSED | UISTATE_DISABLED);
    if (IsFocused()) state |= UISTATE_FOCUSED;
    if (!IsEnabled()) state |= UISTATE_DISABLED;
    dc.SaveDC();
    dc.IntersectClip(m_pos);
    if (m_checkMode == UICHECK_CHECKBOX || m_checkMode == UICHECK_RADIO) {
        PaintGlyph(dc, state);
    } else {
        PaintFace(dc, state);
    }
    dc.RestoreDC();
}

}  // namespace vm
