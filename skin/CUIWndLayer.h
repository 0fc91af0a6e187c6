#pragma once

// The grey veil over a disabled skinned dialog: a child window covering the dialog, cut to
// the dialog's outline, painted translucent grey. Owned by the dialog. UI thread only.

#include <QPolygon>

#include "skin/CWindowWnd.h"

namespace vm {

class CUIWndLayer : public CWindowWnd {
  public:
    // Over `rect` of the dialog `owner`'s client area; `alpha` 0-255.
    bool Create(HWND owner, int left, int top, int right, int bottom, int alpha);
    void Show(bool visible);
    void SetOutline(const QPolygon& outline);
    int GetAlpha() const { return m_alpha; }

    const char* GetWindowClassName() const override { return "LayerWnd"; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    int m_alpha = 80;
};

}  // namespace vm
