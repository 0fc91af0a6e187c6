#pragma once

#include <QDialog>
#include <string>

class QLabel;

namespace vm {

// The small busy window the main window shows while a configuration upload or download
// runs: one centred line of text. Modeless, owned by the main window (its Qt parent), made on
// first use and hidden again when the worker reports; Enter, Escape and the close box do
// nothing, so the player cannot dismiss it while the work goes on. UI thread only.
class CDlgStatus : public QDialog {
  public:
    static constexpr int IDD = 169;
    static constexpr int IDC_TEXT = 1110;

    explicit CDlgStatus(QWidget* parent, const std::string& text = {});

    void SetText(const std::string& text);
    QString Text() const;
    // Centred over the main window (or the screen) and shown without taking the keyboard.
    void ShowCentered();
    // What the main window does around a configuration upload or download.
    void Show(const std::string& text) {
        SetText(text);
        ShowCentered();
    }
    void Hide() { hide(); }
    bool IsVisible() const { return isVisible(); }

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    QLabel* m_text;
};

}  // namespace vm
