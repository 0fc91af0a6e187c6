#include "skin/CUIPageSheet.h"

#include <cstdlib>
#include <string>

#include "skin/CDC.h"
#include "skin/CUIManager.h"
#include "skin/CUIPageOption.h"
#include "skin/MarkupText.h"
#include "skin/ResourceLoader.h"
#include "skin/UIRender.h"

namespace vm {

CUIPageSheet::CUIPageSheet() {
    SetShortcut(34);
}

CUIPageOption* CUIPageSheet::AddPage(int number, std::string_view text) {
    auto page = std::make_unique<CUIPageOption>();
    const int id = number + m_id * 10;
    page->SetId(id);
    page->SetName(std::to_string(id));
    page->SetText(text);
    page->SetPos(m_pageRect);
    auto* raw = static_cast<CUIPageOption*>(Add(std::move(page)));
    if (raw && m_selected < 0) {
        // The first page is the one shown until something else is selected.
        m_selected = 0;
        m_page = raw;
        m_page->SetVisible(IsVisible());
    }
    return raw;
}

CUIPageOption* CUIPageSheet::GetPage(int index) const {
    return static_cast<CUIPageOption*>(GetItem(index));
}

CUIControl* CUIPageSheet::Add(std::unique_ptr<CUIControl> control) {
    if (!control) return nullptr;
    // Every page starts hidden; selecting shows it.
    control->SetVisible(false);
    return CUIContainer::Add(std::move(control));
}

void* CUIPageSheet::GetInterface(std::string_view name) {
    if (name == "ListOwner") return static_cast<IUIListOwner*>(this);
    return CUIContainer::GetInterface(name);
}

void CUIPageSheet::Init() {
    if (m_selected < 0 && GetCount() > 0) SelectItem(0);
}

bool CUIPageSheet::SelectItem(int index) {
    if (index < 0 || index >= GetCount()) return false;
    if (m_manager) m_manager->SendNotify(this, UINotifyCode::Click);
    if (index == m_selected) return true;
    if (m_page) m_page->SetVisible(false);
    m_selected = index;
    m_page = GetPage(index);
    if (m_manager) m_manager->SendNotify(this, UINotifyCode::SelectChanged);
    if (m_page) {
        m_page->SetPos(m_pageRect);
        m_page->SetVisible(IsVisible());
    }
    if (m_manager) {
        m_manager->Invalidate();
        if (m_page && IsVisible()) {
            m_page->SetFocus();
            m_manager->SetNextTabControl(true);
        }
    }
    return true;
}

bool CUIPageSheet::LoadTabImage(int number, std::string_view module) {
    QImage image;
    if (!LoadPngResource(image, number, module)) return false;
    SetTabImage(std::move(image));
    return true;
}

void CUIPageSheet::SetTabImage(QImage image) {
    m_tabImage = std::move(image);
    SetPos(m_pos);
}

bool CUIPageSheet::LoadFrameImage(int number, std::string_view module) {
    QImage image;
    if (!LoadPngResource(image, number, module)) return false;
    m_frameImage = std::move(image);
    Invalidate();
    return true;
}

void CUIPageSheet::SetFrameColors(COLORREF outer, COLORREF inner) {
    m_outer = outer;
    m_inner = inner;
}

void CUIPageSheet::SetTabTextColors(COLORREF normal, COLORREF hot, COLORREF selected,
                                    COLORREF disabled) {
    m_textNormal = normal;
    m_textHot = hot;
    m_textSelected = selected;
    m_textDisabled = disabled;
}

void CUIPageSheet::SetPos(int left, int top, int right, int bottom) {
    CUIControl::SetPos(left, top, right, bottom);
    m_frame = m_pos;
    m_frame.Deflate(m_inset.left, m_inset.top, m_inset.right, m_inset.bottom);
    if (!m_tabImage.isNull()) {
        m_frame.top = m_pos.top + m_inset.top + m_tabImage.height() - m_tabBorder;
    } else {
        m_frame.top += UITheme::Get().FontInfo(2).tmHeight + 20;
    }
    m_pageRect = m_frame;
    m_pageRect.Deflate(8, 8, 8, 8);
    if (m_page) m_page->SetPos(m_pageRect);
}

void CUIPageSheet::SetVisible(bool visible) {
    CUIControl::SetVisible(visible);
    // Only the selected page follows the sheet.
    if (m_page) m_page->SetVisible(visible);
}

int CUIPageSheet::TabAt(POINT pt) const {
    const int n = std::min(GetCount(), static_cast<int>(m_tabs.size()));
    for (int i = 0; i < n; ++i) {
        if (m_tabs[static_cast<std::size_t>(i)].Contains(pt)) return i;
    }
    return -1;
}

void CUIPageSheet::Event(UIEvent& event) {
    switch (event.type) {
        case UIEventType::ButtonDown: {
            const int tab = TabAt(event.mouse);
            if (tab >= 0 && IsEnabled()) {
                CUIControl* page = GetItem(tab);
                if (page && page->IsEnabled()) SelectItem(tab);
            }
            return;
        }
        case UIEventType::SysKey:
            if (event.keyState & 0x20) {
                if (event.key == VK_PRIOR) SelectItem(m_selected - 1);
                if (event.key == VK_NEXT) SelectItem(m_selected + 1);
            }
            return;
        case UIEventType::MouseMove:
        case UIEventType::MouseLeave: {
            const int hot = event.type == UIEventType::MouseMove ? TabAt(event.mouse) : -1;
            if (hot != m_hotTab) {
                m_hotTab = hot;
                if (m_manager)
                    m_manager->Invalidate(RECT{m_pos.left, m_pos.top, m_pos.right, m_frame.top});
            }
            return;
        }
        case UIEventType::SetFocus:
        case UIEventType::KillFocus:
            CUIControl::Event(event);
            return;
        default:
            // The sheet keeps its events to itself.
            return;
    }
}

RECT CUIPageSheet::DrawTab(CDC& dc, const RECT& strip, int textWidth, UINT state) {
    const int x = strip.left;
    const int top = strip.top;
    const int bottom = strip.bottom;
    const bool selected = (state & UISTATE_PUSHED) != 0;
    // A disabled tab takes no room and draws nothing; its box is empty, so nobody clicks it.
    if (state & UISTATE_DISABLED) return RECT{x, top, x, top};
    if (!m_tabImage.isNull()) {
        const int fw = m_tabImage.width() / 4;
        const int frame = selected ? 2 : (state & UISTATE_HOT) ? 1 : 0;
        const RECT box{x, top, x + textWidth + 14, selected ? bottom + m_tabBorder : bottom};
        DrawImage9Grid(dc, box.left, box.top, box.right, box.bottom, frame * fw, 0, fw,
                       m_tabImage.height(), &m_tabImage, true);
        return box;
    }
    UITheme& theme = UITheme::Get();
    if (selected) {
        const RECT box{x, top, x + textWidth + 14, bottom + m_tabBorder};
        const RECT fill{box.left, box.top + 1, box.right, box.bottom + 2};
        dc.FillRect(fill, theme.Color(56));
        const COLORREF edge = theme.Color(60);
        dc.VLine(fill.left, fill.top + 2, fill.bottom, edge);
        dc.HLine(fill.left + 2, fill.right - 2, fill.top, edge);
        dc.HLine(fill.left + 1, fill.left + 2, fill.top + 1, edge);
        dc.HLine(fill.right - 2, fill.right - 1, fill.top + 1, edge);
        dc.VLine(fill.right - 1, fill.top + 2, fill.bottom, edge);
        dc.HLine(fill.left, fill.right, fill.bottom - 1, theme.Color(56));
        DrawGradient(dc, fill.left + 1, fill.top + 1, fill.right - 1, fill.top + 4, 0x298EDE,
                     0x19C7FF, true, 4);
        return box;
    }
    const RECT box{x, top + 3, x + textWidth + 12, bottom};
    COLORREF from = 0, to = 0;
    theme.ColorPair(58, from, to);
    if (state & UISTATE_HOT) std::swap(from, to);
    DrawGradient(dc, box.left, box.top, box.right, box.bottom, from, to, true, 32);
    const COLORREF edge = theme.Color(60);
    dc.VLine(box.left, box.top, box.bottom, edge);
    dc.HLine(box.left, box.right, box.top, edge);
    dc.VLine(box.right - 1, box.top, box.bottom, edge);
    return box;
}

void CUIPageSheet::RebuildTabs(CDC& dc) {
    m_tabs.clear();
    int x = m_pos.left + m_inset.left + m_tabOffset;
    const int top = m_pos.top + m_inset.top;
    for (int i = 0; i < GetCount(); ++i) {
        CUIControl* page = GetItem(i);
        const std::string& text = page->GetText();
        const RECT measured =
            MeasureMarkupText(m_manager, RECT{0, 0, 9999, 100}, text, DT_SINGLELINE);
        UINT state = 0;
        if (i == m_selected) {
            state = UISTATE_PUSHED;
        } else {
            if (IsFocused()) state |= UISTATE_FOCUSED;
            if (i == m_hotTab) state |= UISTATE_HOT;
        }
        if (!IsEnabled() || !page->IsEnabled()) state |= UISTATE_DISABLED;
        RECT box = DrawTab(dc, RECT{x, top, x, m_frame.top}, measured.Width(), state);
        const COLORREF color = (state & UISTATE_DISABLED) ? m_textDisabled
                               : (state & UISTATE_PUSHED) ? m_textSelected
                               : (state & UISTATE_HOT)    ? m_textHot
                                                          : m_textNormal;
        RECT textBox = box;
        textBox.Offset(0, 1);
        if (i == m_selected && !m_tabImage.isNull()) textBox.bottom -= m_tabBorder;
        DrawMarkupText(dc, m_manager, textBox, text, color, kNoColor, nullptr, nullptr,
                       DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        m_tabs.push_back(box);
        x = box.right + 2;
    }
}

void CUIPageSheet::DoPaint(CDC& dc, const RECT& paint) {
    if (!RectsMeet(m_pos, paint)) return;
    dc.SaveDC();
    dc.IntersectClip(paint);
    if (!m_frameImage.isNull()) {
        DrawImage9Grid(dc, m_frame.left, m_frame.top, m_frame.right, m_frame.bottom, 0, 0,
                       m_frameImage.width(), m_frameImage.height(), &m_frameImage, false);
    } else {
        dc.FillRect(m_frame, m_backColor);
        dc.FrameRect(m_frame, m_outer);
        if (m_inner != kNoColor) {
            RECT in = m_frame;
            in.Deflate(1, 1, 1, 1);
            dc.FrameRect(in, m_inner);
        }
    }
    const RECT strip{m_pos.left + m_inset.left, m_pos.top + m_inset.top,
                     m_pos.right - m_inset.right, m_frame.top + m_tabBorder + 1};
    if (RectsMeet(strip, paint)) RebuildTabs(dc);
    if (m_page && m_page->IsVisible()) m_page->DoPaint(dc, paint);
    dc.RestoreDC();
}

void CUIPageSheet::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "select") {
        SelectItem(std::atoi(std::string(value).c_str()));
    } else {
        CUIContainer::SetAttribute(name, value);
    }
}

}  // namespace vm
