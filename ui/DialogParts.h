#pragma once

// Small pieces the program's skinned question dialogs share: the information icon, the close
// box and the check box in the dialogs' look. UI thread only.

#include <string_view>

#include "skin/CSkinDialog.h"
#include "skin/WinTypes.h"

namespace vm {

class CUIButton;
class CUILabel;

// The information icon (our stand-in for the system's) as an icon label.
CUILabel* CreateIconLabel(CSkinDialog& dialog, int id, int left, int top, int right, int bottom);
// A window title ("<f UIFONT_TITLE>..."). That tag leaves the text without line metrics, so
// the title is laid out from the top instead of centred on a zero-height line.
CUILabel* CreateTitleLabel(CSkinDialog& dialog, int id, int left, int top, int right, int bottom,
                           std::string_view text, COLORREF color);
// A close box drawn from the message box's four-frame close image.
CUIButton* CreateCloseBox(CSkinDialog& dialog, int id, int left, int top, int right, int bottom);
// A check box with the default check sprite.
CUIButton* CreateCheckBox(CSkinDialog& dialog, int id, int left, int top, int right, int bottom,
                          std::string_view text);
// A push button on the default button face.
CUIButton* CreateFaceButton(CSkinDialog& dialog, int id, int left, int top, int right, int bottom,
                            std::string_view text);
// Gives control `id` the focus once the dialog's window is the active one (activating the
// window takes the keyboard itself, which would end an edit field's typing at once).
void FocusWhenActive(CSkinDialog& dialog, int id);
// Whether the check box (or radio button) `id` is checked; false when there is none.
bool IsChecked(CSkinDialog& dialog, int id);
void SetChecked(CSkinDialog& dialog, int id, bool checked);

}  // namespace vm
