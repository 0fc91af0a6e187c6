#include "ui/MainWindowRunner.h"

#include <QEventLoop>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "ui/QtMessageTarget.h"

namespace vm {

namespace {

// Ends its loop when closed; PostQuitMessage ends the loop as well.
class PlainMainWindow : public QWidget {
  public:
    explicit PlainMainWindow(QEventLoop& loop) : m_loop(loop) {
        setWindowTitle("TovrinVelmora");
        auto* layout = new QVBoxLayout(this);
        m_status = new QLabel(this);
        layout->addWidget(m_status);
        resize(480, 160);
    }
    void SetStatus(const QString& s) { m_status->setText(s); }

  protected:
    void closeEvent(QCloseEvent* e) override {
        QWidget::closeEvent(e);
        m_loop.quit();
    }

  private:
    QEventLoop& m_loop;
    QLabel* m_status;
};

}  // namespace

void RunPlainMainWindow() {
    QEventLoop loop;
    PlainMainWindow window(loop);
    auto target = QtMessageTarget::Create(&window, [&window](const Message& m) -> std::intptr_t {
        switch (m.id) {
            case WM_VM_ACTIVATE:
                window.showNormal();
                window.raise();
                window.activateWindow();
                return 0;
            case WM_VM_STATUS:
                window.SetStatus(
                    QString::fromStdString(*reinterpret_cast<const std::string*>(m.wParam)));
                return 0;
            default:
                return 0;
        }
    });
    theApp().SetMainTarget(target);
    window.show();
    loop.exec();
    theApp().SetMainTarget(nullptr);
}

}  // namespace vm
