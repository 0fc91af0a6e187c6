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
    return LoadPngResource(image_, pngNumber, module);
}

void CUIButton::SetTextColors(COLORREF normal, COLORREF hot, COLORREF pushed, COLORREF disabled) {
    normalColor_ = normal;
    hotColor_ = hot;
    pushedColor_ = pushed;
    disabledColor_ = disabled;
    Invalidate();
}

void CUIButton::SetCheck(bool checked) {
    if (checked && groupFirst_ >= 0 && manager_) {
        for (int id = groupFirst_; id <= groupLast_; ++id) {
            if (id == GetId()) continue;
            CUIControl* other = manager_->FindControl(id);
            if (!other) continue;
            if (auto* c = static_cast<IUIChecked*>(other->GetInterface("UIChecked")))
                c->SetCheck(false);
        }
    }
    if (checked_ == checked) return;
    checked_ = checked;
    Invalidate();
}

void CUIButton::SetGroupRange(int firstId, int lastId) {
    groupFirst_ = firstId;
    groupLast_ = lastId;
}

void CUIButton::SetText(std::string_view text) {
    SetShortcut(ShortcutOf(text));
    CUIControl::SetText(text);
}

bool CUIButton::Activate() {
    if (!CUIControl::Activate()) return false;
    if (manager_) manager_->SendNotify(this, UINotifyCode::Click);
    return true;
}

void* CUIButton::GetInterface(std::string_view name) {
    if (name == "UIChecked") return static_cast<IUIChecked*>(this);
    return CUIControl::GetInterface(name);
}

SIZE CUIButton::EstimateSize(SIZE) {
    const int height = UITheme::Get().FontInfo(1).tmHeight + 4;
    int width = width_;
    if (width == 0) {
        width = MeasureMarkupText(manager_, RECT{0, 0, 9999, 100}, text_, DT_SINGLELINE).Width();
    }
    return SIZE{width + 2 * paddingX, height + 2 * paddingY};
}

bool CUIButton::Inside(POINT pt) const {
    return pos_.Contains(pt) && HitTest(pt.x, pt.y);
}

RECT CUIButton::CheckArea() const {
    if (checkImage.isNull()) return RECT{};
    return RECT{pos_.right - checkImage.width() / 4, pos_.top, pos_.right, pos_.bottom};
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
            if (Inside(pt) && manager_) {
                manager_->SetCursor(CursorKind::Hand);
                return;
            }
            break;
        case UIEventType::ButtonDown:
        case UIEventType::DblClick: {
            if (!Inside(pt)) break;
            state_ |= UISTATE_PUSHED | UISTATE_CAPTURED;
            if (inCheckArea) checkState_ |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
            if (event.type == UIEventType::DblClick) {
                Activate();
                if (manager_) manager_->SendNotify(this, UINotifyCode::DblClick);
            }
            if (checkMode_ != UICHECK_PUSH) {
                if (inCheckArea) {
                    if (manager_) manager_->SendNotify(this, UINotifyCode::CheckClick);
                    return;
                }
                if (groupFirst_ >= 0) {
                    if (!checked_) SetCheck(true);
                    if (checkMode_ == UICHECK_PUSHON) Activate();
                } else {
                    SetCheck(!checked_);
                    if (checkMode_ == UICHECK_PUSHON && checked_) Activate();
                }
            }
            break;
        }
        case UIEventType::MouseMove:
            if (state_ & UISTATE_CAPTURED) {
                const UINT before = state_;
                if (Inside(pt)) {
                    state_ |= UISTATE_PUSHED;
                } else {
                    state_ &= ~UISTATE_PUSHED;
                }
                if (checked_) {
                    checkState_ &= ~(UISTATE_HOT | UISTATE_PUSHED);
                    if (inCheckArea)
                        checkState_ |=
                            (checkState_ & UISTATE_CAPTURED) ? UISTATE_PUSHED : UISTATE_HOT;
                }
                if (before != state_ || checked_) Invalidate();
            }
            break;
        case UIEventType::ButtonUp:
            if (state_ & UISTATE_CAPTURED) {
                const bool click = Inside(pt) && checkMode_ != UICHECK_PUSHON;
                state_ &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
                checkState_ &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
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
            state_ |= UISTATE_HOT;
            if (inCheckArea) checkState_ |= UISTATE_HOT;
            Invalidate();
            break;
        case UIEventType::MouseLeave:
            state_ &= ~UISTATE_HOT;
            checkState_ &= ~UISTATE_HOT;
            Invalidate();
            break;
        default:
            break;
    }
    CUIControl::Event(event);
}

void CUIButton::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "align") {
        SetTextStyle(WithAlignAttribute(textStyle_ & ~(DT_CENTER | DT_RIGHT), value));
    } else if (name == "width") {
        SetWidth(std::atoi(std::string(value).c_str()));
    } else {
        CUIControl::SetAttribute(name, value);
    }
}

void CUIButton::PaintText(CDC& dc, const RECT& box, COLORREF color) {
    if (text_.empty()) return;
    RECT r = box;
    DrawMarkupText(dc, manager_, r, text_, color, kNoColor, nullptr, nullptr,
                   textStyle_ | DT_SINGLELINE);
}

void CUIButton::PaintGlyph(CDC& dc, UINT state) {
    const bool radio = checkMode_ == UICHECK_RADIO;
    const QImage& sprite =
        UITheme::Get().Image(radio ? DefaultImage::Radio : DefaultImage::CheckBox);
    const bool right = textStyle_ & DT_RIGHT;
    RECT strip = pos_;
    RECT textBox = pos_;
    if (right) {
        strip.left = pos_.right - kGlyphStrip;
        textBox.right = strip.left;
    } else {
        strip.right = pos_.left + kGlyphStrip;
        textBox.left = strip.right;
    }
    if (!sprite.isNull()) {
        const int fw = sprite.width() / 4;
        const int fh = sprite.height() / 2;
        const int x = strip.left + (kGlyphStrip - fw) / 2;
        const int y = strip.top + (strip.Height() - fh) / 2 + (radio ? 0 : 1);
        const int row = checked_ ? 1 : 0;
        dc.DrawImage(
            RECT{x, y, x + fw, y + fh}, sprite,
            RECT{FrameFor(state) * fw, row * fh, FrameFor(state) * fw + fw, row * fh + fh});
    }
    if (!text_.empty()) {
        RECT r = textBox;
        const COLORREF color = UITheme::Get().Color((state & UISTATE_DISABLED) ? 35 : 34);
        DrawMarkupText(dc, manager_, r, text_, color, kNoColor, nullptr, nullptr,
                       (textStyle_ & DT_RIGHT ? DT_RIGHT : 0) | DT_SINGLELINE | DT_VCENTER);
    }
}

void CUIButton::PaintFace(CDC& dc, UINT state) {
    if (checked_) {
        state |= UISTATE_PUSHED;
    } else if (groupFirst_ >= 0) {
        state &= ~UISTATE_PUSHED;
    }
    if (!image_.isNull()) {
        const int fw = image_.width() / 4;
        DrawImage9Grid(dc, pos_.left, pos_.top, pos_.right, pos_.bottom, FrameFor(state) * fw, 0,
                       fw, image_.height(), &image_, false);
    } else {
        DrawStateFace(dc, manager_, pos_.left, pos_.top, pos_.right, pos_.bottom, state,
                      polygon_.empty() ? nullptr : polygon_.data(),
                      static_cast<int>(polygon_.size()));
    }
    const RECT area = CheckArea();
    if (!checkImage.isNull() &&
        (checked_ || checkImageAlways || checkImageAlwaysHot || (state & UISTATE_HOT))) {
        const int fw = checkImage.width() / 4;
        const int frame = FrameFor(checkState_ | (state & UISTATE_DISABLED));
        dc.DrawImage(
            RECT{area.left, area.top, area.left + fw,
                 area.top + std::min(area.Height(), checkImage.height())},
            checkImage,
            RECT{frame * fw, 0, frame * fw + fw, std::min(area.Height(), checkImage.height())});
    }
    if (text_.empty()) return;
    const COLORREF color = (state & UISTATE_DISABLED) ? disabledColor_
                           : (state & UISTATE_PUSHED) ? pushedColor_
                           : (state & UISTATE_HOT)    ? hotColor_
                                                      : normalColor_;
    RECT box = pos_;
    box.Deflate(1, 1, 1, 1);
    if (textOffsetX != 0 || textOffsetY != 0) {
        box.left = pos_.left + textOffsetX;
        box.top = pos_.top + textOffsetY;
    } else if (autoSize) {
        box.Offset(autoSizeExtra, 0);
    } else {
        box.Deflate(paddingX, paddingY, paddingX, paddingY);
    }
    PaintText(dc, box, color);
}

void CUIButton::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(pos_, paint)) return;
    UINT state = state_ & ~(UISTATE_FOCUSED | UISTATE_DISABLED);
    if (IsFocused()) state |= UISTATE_FOCUSED;
    if (!IsEnabled()) state |= UISTATE_DISABLED;
    dc.SaveDC();
    dc.IntersectClip(pos_);
    if (checkMode_ == UICHECK_CHECKBOX || checkMode_ == UICHECK_RADIO) {
        PaintGlyph(dc, state);
    } else {
        PaintFace(dc, state);
    }
    dc.RestoreDC();
}

}  // namespace vm
