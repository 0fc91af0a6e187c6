#pragma once

// A tab folder: a container of pages (CUIPageOption) that draws one tab per page above a
// framed page area and shows only the selected page. Tabs come from a four-frame sprite
// (normal, hot, selected, disabled) or are drawn in the theme. Owns its pages; UI thread only.

#include <QImage>
#include <string_view>
#include <vector>

#include "skin/CUIContainer.h"
#include "skin/IUIListOwner.h"

namespace vm {

class CUIPageOption;

class CUIPageSheet : public CUIContainer, public IUIListOwner {
  public:
    CUIPageSheet();

    // A page with id `number` + this sheet's id x 10, named by that id; null on failure.
    CUIPageOption* AddPage(int number, std::string_view text);
    CUIPageOption* GetPage(int index) const;
    int GetPageCount() const { return GetCount(); }

    // IUIListOwner
    int GetCurSel() const override { return m_selected; }
    // Click always, then SelectChanged when the selection moved; false outside the pages.
    bool SelectItem(int index) override;
    void ListEvent(UIEvent& event) override { Event(event); }

    bool LoadTabImage(int number, std::string_view module = {});
    void SetTabImage(QImage image);
    bool LoadFrameImage(int number, std::string_view module = {});
    void SetFrameImage(QImage image) { m_frameImage = std::move(image); }
    // `inner` kNoColor: no inner frame.
    void SetFrameColors(COLORREF outer, COLORREF inner);
    void SetBackColor(COLORREF color) { m_backColor = color; }
    void SetTabOffset(int offset) { m_tabOffset = offset; }
    void SetTabTextColors(COLORREF normal, COLORREF hot, COLORREF selected, COLORREF disabled);
    const RECT& GetFrameRect() const { return m_frame; }
    const RECT& GetPageRect() const { return m_pageRect; }
    // Tab boxes of the last paint.
    const std::vector<RECT>& GetTabBoxes() const { return m_tabs; }

    // CUIContainer
    CUIControl* Add(std::unique_ptr<CUIControl> control) override;
    void* GetInterface(std::string_view name) override;
    const char* GetClass() const override { return "TabFolderUI"; }
    UINT GetControlFlags() const override { return UIFLAG_TABSTOP; }
    void Init() override;
    void SetPos(int left, int top, int right, int bottom) override;
    void SetVisible(bool visible) override;
    void Event(UIEvent& event) override;
    void DoPaint(CDC& dc, const RECT& paint) override;
    void SetAttribute(std::string_view name, std::string_view value) override;
    using CUIControl::SetPos;

  private:
    int TabAt(POINT pt) const;
    void RebuildTabs(CDC& dc);
    // Draws one tab and returns its box.
    RECT DrawTab(CDC& dc, const RECT& box, int textWidth, UINT state);

    int m_selected = -1;
    RECT m_pageRect;
    RECT m_frame;
    int m_tabOffset = 0;
    CUIPageOption* m_page = nullptr;
    std::vector<RECT> m_tabs;
    COLORREF m_outer = 0xB5A694;
    COLORREF m_inner = kNoColor;
    COLORREF m_backColor = 0xFFFFFF;
    COLORREF m_textNormal = 0;
    COLORREF m_textHot = 0x140000;
    COLORREF m_textSelected = 0x140000;
    COLORREF m_textDisabled = 0x808080;
    int m_tabBorder = 2;
    QImage m_tabImage;
    QImage m_frameImage;
    int m_hotTab = -1;
};

}  // namespace vm
