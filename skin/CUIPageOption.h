#pragma once

// One page of a page sheet: a container whose controls keep the client rectangles they were
// created with. Controls made with its factories go into the first of its group boxes that
// contains them completely, else onto the page. Owned by its sheet; UI thread only.

#include <string_view>
#include <vector>

#include "skin/CUIContainer.h"

namespace vm {

class CUIButton;
class CUIEdit;
class CUIGroup;
class CUILabel;

class CUIPageOption : public CUIContainer {
  public:
    CUIButton* CreateButton(int id, int left, int top, int right, int bottom,
                            std::string_view text = {});
    CUILabel* CreateLabel(int id, int left, int top, int right, int bottom,
                          std::string_view text = {});
    // The initial text is set with a TextChanged notification.
    CUIEdit* CreateEdit(int id, int left, int top, int right, int bottom,
                        std::string_view text = {});
    CUIGroup* CreateGroup(int id, int left, int top, int right, int bottom,
                          std::string_view text = {});
    // Places a control made elsewhere by the same rule.
    CUIControl* AddControl(std::unique_ptr<CUIControl> control);
    const std::vector<CUIGroup*>& Groups() const { return m_groups; }

    const char* GetClass() const override { return "CUIPageOption"; }
    // The page only takes its rectangle; its controls stay where they were designed.
    void SetPos(int left, int top, int right, int bottom) override;
    using CUIControl::SetPos;

  private:
    template <typename T>
    T* Make(int id, int left, int top, int right, int bottom, std::string_view text);

    std::vector<CUIGroup*> m_groups;
};

}  // namespace vm
