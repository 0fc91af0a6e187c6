#pragma once

class QDialog;
class QDialogButtonBox;

namespace vm {

// "确定" and "取消" for a plain Qt dialog, named "1" and "2" (IDOK, IDCANCEL) so tests find them,
// wired to accept and reject. The caller places the box. UI thread only.
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog);

}  // namespace vm
