#pragma once

// The Qt edit lying over a CUIEdit: a QLineEdit while one line is being typed, a
// QPlainTextEdit for the persistent variant. It reports every change with the whole text and,
// for the one-line overlay, ends editing when it loses the keyboard. Owned by its CUIEdit;
// the widget is a child of the control's window and deleted with it or by Close. UI thread.

#include <QObject>
#include <QPointer>
#include <string>

class QWidget;

namespace vm {

class CUIEdit;

class CUIEditWnd : public QObject {
  public:
    explicit CUIEditWnd(CUIEdit* owner) : m_owner(owner) {}
    ~CUIEditWnd() override;

    static constexpr const char* kClassName = "SingleLineEditWnd";

    // Creates the widget over the control; false when the control has no window.
    bool Init();
    QWidget* Widget() const { return m_widget; }
    void SetText(const std::string& text);
    void SetTextLimit(int limit);
    void SetSelection(int start, int end);
    void SetReadOnly(bool readOnly);
    // Hides the widget and deletes it (and this object) once control returns to the loop.
    void Close();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    CUIEdit* m_owner;
    QPointer<QWidget> m_widget;
    bool m_settingText = false;
    bool m_closing = false;
};

}  // namespace vm
