// skin-gallery OUTPUT_DIR
// Renders every skinned control in each of its states, a skinned dialog with round corners and
// with its veil, each message-box style with plain and colour-tagged text, and the main
// window's and logon dialog's state images with the slanted buttons' outlines, as PNG files;
// then the program's windows again at twice the pixel density ("scale2-..."), and one contact
// sheet of them all. Every render's text is checked: a word cut off is reported and the exit
// status is 1 (the suite runs it so).

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "GalleryMainWindow.h"
#include "GalleryOutput.h"
#include "GalleryPartThree.h"
#include "GalleryStartup.h"
#include "GalleryWizard.h"
#include "app/Version.h"
#include "res/MainWindowPolygons.h"
#include "res/ResourceIds.h"
#include "skin/CDC.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CSkinDialog.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUILabelLine.h"
#include "skin/CUIProgressBar.h"
#include "skin/CUIWndLayer.h"
#include "skin/IUIChecked.h"
#include "skin/MarkupLayout.h"
#include "skin/ResourceLoader.h"
#include "ui/QtStartupUi.h"

namespace vm {
int GalleryDialogs(const QString& outDir);    // GalleryDialogs.cpp
int GalleryObsoleted(const QString& outDir);  // GalleryObsoleted.cpp
}  // namespace vm

namespace vm {
namespace {

QString g_out;
int g_failures = 0;

void Save(const QImage& image, const QString& name) {
    g_failures += gallery::SavePicture(image, name);
}

QImage Capture(QWidget* w) {
    return gallery::RenderWindow(w);
}

struct Dialog : CSkinDialog {
    void Move(int x, int y) { SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Down(int x, int y) { SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
};

// A sheet of captioned tiles.
class Sheet {
  public:
    Sheet(int columns, QSize tile) : m_columns(columns), m_tile(tile) {}
    void Add(const QString& caption, const QImage& image) { m_tiles.push_back({caption, image}); }
    QImage Image() const {
        const int rows = (static_cast<int>(m_tiles.size()) + m_columns - 1) / m_columns;
        const int cw = m_tile.width() + 20;
        const int ch = m_tile.height() + 34;
        QImage sheet(m_columns * cw + 20, rows * ch + 20, QImage::Format_ARGB32_Premultiplied);
        sheet.fill(QColor(0x1B, 0x0C, 0x2E));
        QPainter p(&sheet);
        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPixelSize(12);
        p.setFont(font);
        for (std::size_t i = 0; i < m_tiles.size(); ++i) {
            const int x = 20 + static_cast<int>(i % m_columns) * cw;
            const int y = 20 + static_cast<int>(i / m_columns) * ch;
            p.setPen(QColor(0xE6, 0xD2, 0xFF));
            p.drawText(QRect(x, y, cw - 20, 16), Qt::AlignLeft | Qt::AlignVCenter,
                       m_tiles[i].caption);
            p.drawImage(x, y + 18, m_tiles[i].image);
        }
        return sheet;
    }

  private:
    struct Tile {
        QString caption;
        QImage image;
    };
    int m_columns;
    QSize m_tile;
    std::vector<Tile> m_tiles;
};

// One control on a small default-background dialog, after `act` put it in a state.
QImage ControlTile(const std::function<CUIControl*(Dialog&)>& make,
                   const std::function<void(Dialog&, CUIControl*)>& act, QSize size = {160, 50}) {
    Dialog d;
    d.Create(nullptr, "gallery", size.width(), size.height());
    CUIControl* c = make(d);
    if (act) act(d, c);
    return Capture(d.Window());
}

void ButtonStates(Sheet& sheet, const QString& name, const std::function<void(CUIButton*)>& setup) {
    const char* states[] = {"常态", "悬停", "按下", "禁用"};
    for (int s = 0; s < 4; ++s) {
        sheet.Add(name + " · " + QString::fromUtf8(states[s]),
                  ControlTile(
                      [&](Dialog& d) {
                          CUIButton* b = d.CreateButton(1, 20, 12, 140, 38, "确定");
                          setup(b);
                          return b;
                      },
                      [s](Dialog& d, CUIControl* c) {
                          if (s == 1) d.Move(80, 25);
                          if (s == 2) {
                              d.Move(80, 25);
                              d.Down(80, 25);
                          }
                          if (s == 3) c->SetEnabled(false);
                      }));
    }
}

void Controls() {
    Sheet sheet(4, {160, 50});
    ButtonStates(sheet, "图片按钮", [](CUIButton* b) {
        b->SetImage(CSkinDialog::GetButtonFaceImage());
        b->SetTextColors(0xF9E6FD, 0xFFFFFF, 0xF9E6FD, 0xA39CAD);
    });
    ButtonStates(sheet, "绘制按钮", [](CUIButton*) {});
    for (int mode : {UICHECK_CHECKBOX, UICHECK_RADIO}) {
        const QString kind = mode == UICHECK_CHECKBOX ? "复选框" : "单选钮";
        const char* states[] = {"未选", "选中", "悬停选中", "禁用选中"};
        for (int s = 0; s < 4; ++s) {
            sheet.Add(kind + " · " + QString::fromUtf8(states[s]),
                      ControlTile(
                          [&](Dialog& d) {
                              CUIButton* b =
                                  d.CreateButton(1, 20, 16, 140, 34,
                                                 mode == UICHECK_RADIO ? "普通模式" : "保存密码");
                              b->SetCheckMode(mode);
                              b->SetCheck(s > 0);
                              return b;
                          },
                          [s](Dialog& d, CUIControl* c) {
                              if (s == 2) d.Move(30, 25);
                              if (s == 3) c->SetEnabled(false);
                          }));
        }
    }
    const struct {
        const char* caption;
        const char* text;
    } labels[] = {{"标签", "尚未登录"},
                  {"链接", "<a>注册账号</a>"},
                  {"近白色标签", "<c #FDE6F9>网络延迟：</c>"},
                  {"粗体与链接", "<b>提示</b> <a>找回密码</a>"}};
    for (const auto& l : labels) {
        sheet.Add(QString::fromUtf8(l.caption),
                  ControlTile([&](Dialog& d) { return d.CreateLabel(1, 10, 12, 150, 38, l.text); },
                              nullptr));
    }
    sheet.Add("带边框标签", ControlTile(
                                [](Dialog& d) {
                                    CUILabel* l = d.CreateLabel(1, 10, 10, 150, 40, "边框与底色");
                                    l->SetBackColor(RGB(56, 29, 90));
                                    l->SetOuterFrameColor(RGB(183, 167, 214));
                                    l->SetInnerFrameColor(RGB(74, 44, 122));
                                    l->SetTextColor(RGB(183, 167, 214));
                                    l->SetTextStyle(DT_CENTER);
                                    return l;
                                },
                                nullptr));
    sheet.Add("禁用标签", ControlTile(
                              [](Dialog& d) {
                                  CUILabel* l = d.CreateLabel(1, 10, 12, 150, 38, "不可用");
                                  l->SetEnabled(false);
                                  return l;
                              },
                              nullptr));
    sheet.Add("图片标签", ControlTile(
                              [](Dialog& d) {
                                  CUILabel* l = d.CreateLabel(1, 10, 5, 150, 45);
                                  QImage icon;
                                  LoadImageResource(icon, ResourceType::Icon, res::IDI_PROGRAM);
                                  l->SetImage(icon);
                                  return l;
                              },
                              nullptr));
    sheet.Add("分隔线", ControlTile(
                            [](Dialog& d) {
                                CUILabelLine* line = d.CreateLabelLine(1, 10, 24, 150, 26);
                                line->SetUpperColor(RGB(74, 44, 122));
                                line->SetLowerColor(RGB(183, 167, 214));
                                return line;
                            },
                            nullptr));
    for (int value : {0, 40, 100}) {
        sheet.Add(QString("进度条（轨道）%1%").arg(value),
                  ControlTile(
                      [value](Dialog& d) {
                          CUIProgressBar* bar = d.CreateProgressBar(1, 10, 12, 150, 38);
                          bar->LoadImage(res::IDP_PROGRESS);
                          bar->SetDrawMode(1);
                          bar->SetValue(value);
                          return bar;
                      },
                      nullptr));
    }
    Save(sheet.Image(), "controls.png");
}

void Dialogs() {
    Dialog d;
    d.Create(nullptr, "对话框", 360, 220);
    d.SetRoundCorner(6);
    d.CreateLabel(1, 20, 40, 340, 60, "<c #FDE6F9>圆角对话框：默认背景与按钮</c>");
    d.CreateLabel(2, 20, 70, 340, 90, "黑色文字也清晰可读");
    CUIButton* ok = d.CreateButton(3, 60, 170, 160, 195, "确定");
    ok->SetImage(CSkinDialog::GetButtonFaceImage());
    ok->SetTextColors(0xF9E6FD, 0xFFFFFF, 0xF9E6FD, 0xA39CAD);
    CUIButton* plain = d.CreateButton(4, 200, 170, 300, 195, "取消");
    (void)plain;
    CUIButton* check = d.CreateButton(5, 20, 110, 160, 128, "保存密码");
    check->SetCheckMode(UICHECK_CHECKBOX);
    check->SetCheck(true);
    d.ShowWindow();
    Save(Capture(d.Window()), "dialog-round.png");
    // Disabled behind another window: the grey veil covers it.
    QWidget other;
    other.resize(10, 10);
    other.show();
    other.activateWindow();
    d.Window()->setEnabled(false);
    for (int i = 0; i < 100 && !(d.GetLayer() && d.GetLayer()->Window()->isVisible()); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    Save(Capture(d.Window()), "dialog-disabled.png");
}

void MessageBoxes() {
    const struct {
        UINT type;
        const char* name;
    } styles[] = {{0x40, "information-ok"},
                  {0x31, "warning-okcancel"},
                  {0x24, "question-yesno"},
                  {0x10, "error-ok"}};
    for (const auto& s : styles) {
        for (bool tagged : {false, true}) {
            const std::string message =
                tagged ? "<c #FDE6F9>服务器上的插件配置信息将被当前的配置取代，\n你确定要继续吗？"
                       : "自动登录失败！请手动登陆。\n错误代码：5";
            const std::string title = tagged ? "<c #FDE6F9>上传配置" : "TovrinVelmora";
            CMessageBoxWnd box(message, title, s.type);
            box.Open(nullptr);
            Save(Capture(box.GetHWND()),
                 QString("msgbox-%1-%2.png").arg(s.name, tagged ? "tagged" : "plain"));
        }
    }
}

void StateImages() {
    const QColor outline(255, 230, 120);
    for (int n :
         {res::IDP_MAIN_NORMAL, res::IDP_MAIN_HOT, res::IDP_MAIN_PUSHED, res::IDP_DISABLED}) {
        QImage image;
        if (!LoadPngResource(image, n)) {
            std::fprintf(stderr, "缺少图片 %d\n", n);
            ++g_failures;
            continue;
        }
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&image);
        p.setPen(QPen(outline, 1, Qt::DashLine));
        for (int id : {12, 13, 17, 18, 19, 22}) {
            QPolygon poly;
            for (const POINT& pt : res::MainWindowPolygon(id)) poly << QPoint(pt.x, pt.y);
            p.drawPolygon(poly);
        }
        p.end();
        Save(image, QString("main-%1.png").arg(n));
    }
    for (int n :
         {res::IDP_LOGON_NORMAL, res::IDP_LOGON_HOT, res::IDP_LOGON_PUSHED, res::IDP_DISABLED}) {
        QImage image;
        if (!LoadPngResource(image, n)) {
            ++g_failures;
            continue;
        }
        Save(image.copy(0, 0, 522, 313), QString("logon-%1.png").arg(n));
    }
}

// The two windows as their controls will sit on the art (without the native edit fields and
// the web page).
void WindowPreviews() {
    Dialog main;
    main.Create(nullptr, "TovrinVelmora", 802, 603);
    main.SetSkinImages(res::IDP_MAIN_NORMAL, res::IDP_MAIN_HOT, res::IDP_MAIN_PUSHED,
                       res::IDP_DISABLED);
    main.SetRoundCorner(6);
    main.CreateLabel(1, 83, 56, 170, 71, "尚未登录");
    main.CreateButton(2, 83, 86, 123, 110)->LoadImage(res::IDB_LOGIN);
    main.CreateButton(3, 131, 86, 173, 110)->LoadImage(res::IDB_REGISTER);
    for (int id : {12, 13, 17, 18, 19, 22}) {
        const auto poly = res::MainWindowPolygon(id);
        RECT r{9999, 9999, 0, 0};
        for (const POINT& p : poly) {
            r.left = std::min(r.left, p.x);
            r.top = std::min(r.top, p.y);
            r.right = std::max(r.right, p.x);
            r.bottom = std::max(r.bottom, p.y);
        }
        CUIButton* b = main.CreateButton(id, r.left, r.top, r.right, r.bottom);
        b->SetPolygon(poly.data(), static_cast<int>(poly.size()));
        if (id == 17) {
            QImage face;
            LoadImageResource(face, ResourceType::Bitmap, res::IDB_UPDATE_START);
            b->SetImage(face);
        }
    }
    main.FindControl(13)->SetEnabled(false);
    CUIProgressBar* bar = main.CreateProgressBar(15, 20, 492, 231, 519);
    bar->LoadImage(res::IDP_PROGRESS);
    bar->SetSlanted(true);
    bar->SetSlantOffset(8);
    bar->SetValue(60);
    main.CreateLabel(16, 26, 518, 230, 538, "正在下载：Interface/AddOns/...")
        ->SetTextColor(RGB(183, 167, 214));
    main.CreateLabel(20, 648, 496, 712, 516, "网络延迟：")->SetTextColor(RGB(195, 138, 221));
    main.CreateLabel(21, 712, 496, 757, 516, "32 ms")->SetTextColor(RGB(192, 138, 221));
    for (int id : {26, 27, 28, 29}) {
        const RECT rects[] = {
            {620, 12, 680, 30}, {690, 12, 720, 30}, {736, 8, 760, 32}, {768, 8, 792, 32}};
        const RECT& r = rects[id - 26];
        main.CreateButton(id, r.left, r.top, r.right, r.bottom);
    }
    main.CreateLabel(30, 161, 578, 361, 593, "© Tovrin Velmora (" VM_VERSION_TEXT ")");
    main.CreateLabel(31, 370, 578, 650, 593, "校验码：0123456789ABCDEF0123456789ABCDEF");
    QImage copy;
    LoadImageResource(copy, ResourceType::Bitmap, res::IDB_COPY);
    main.CreateButton(32, 650, 577, 669, 594)->SetImage(copy);
    main.Move(560, 495);  // the run-game button hot
    Save(Capture(main.Window()), "preview-main.png");

    Dialog logon;
    logon.Create(nullptr, "用户登录", 522, 313);
    logon.SetSkinImages(res::IDP_LOGON_NORMAL, res::IDP_LOGON_HOT, res::IDP_LOGON_PUSHED,
                        res::IDP_DISABLED);
    logon.SetRoundCorner(6);
    UITheme::Get().SetEditTextColor(RGB(165, 148, 198));
    logon.CreateButton(0, 480, 8, 510, 33);
    logon.CreateLabel(5, 423, 166, 473, 191, "<a>注册账号</a>");
    logon.CreateLabel(1, 51, 166, 353, 191, "用户名：");
    logon.CreateLabel(6, 423, 200, 473, 225, "<a>找回密码</a>");
    logon.CreateLabel(2, 51, 200, 353, 225, "密   码：");
    CUIButton* save = logon.CreateButton(7, 101, 233, 167, 249, "保存密码");
    save->SetCheckMode(UICHECK_CHECKBOX);
    save->SetCheck(true);
    logon.CreateButton(8, 257, 233, 323, 249, "自动登录")->SetCheckMode(UICHECK_CHECKBOX);
    logon.CreateButton(9, 158, 273, 232, 298);
    logon.CreateButton(10, 288, 273, 361, 298)->SetEnabled(false);
    logon.CreateLabel(11, 202, 128, 260, 142, "<a>               </a>");
    logon.Move(190, 285);
    Save(Capture(logon.Window()), "preview-logon.png");
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// The windows a player on a large screen sees most, rendered again by a copy of this program
// that Qt runs at twice the pixel density: same layout, sharper pixels.
int ScaleTwoPass(const char* self, const QString& out) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QString::fromLocal8Bit(self), {out, QStringLiteral("--scale-2")});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit) {
        std::fprintf(stderr, "放大两倍的渲染没有完成\n");
        return 1;
    }
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (line.startsWith("picture ")) gallery::AddToContactSheet(QString::fromUtf8(line.mid(8)));
    }
    return child.exitCode();
}

}  // namespace
}  // namespace vm

// skin-gallery OUTPUT_DIR [--scale-2]: exits with 1 when a picture failed or a text is cut off.
int main(int argc, char** argv) {
    const bool scaleTwo = argc == 3 && std::string(argv[2]) == "--scale-2";
    if (argc != 2 && !scaleTwo) {
        std::fprintf(stderr, "用法：skin-gallery 输出文件夹\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vm::g_out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(vm::g_out)) {
        std::fprintf(stderr, "无法创建文件夹：%s\n", argv[1]);
        return 1;
    }
    vm::gallery::SetOutputFolder(vm::g_out);
    vm::QtStartupUi ui;
    ui.InitSkinDefaults();
    if (scaleTwo) {
        vm::gallery::SetNamePrefix(QStringLiteral("scale2-"));
        vm::g_failures += vm::GalleryMainWindow(vm::g_out);
        vm::g_failures += vm::GalleryDialogs(vm::g_out);
        for (const QString& name : vm::gallery::Pictures())
            std::printf("picture %s\n", name.toUtf8().constData());
        return vm::g_failures == 0 && vm::gallery::ClippedTextCount() == 0 ? 0 : 1;
    }
    vm::Controls();
    vm::Dialogs();
    vm::MessageBoxes();
    vm::StateImages();
    vm::WindowPreviews();
    vm::g_failures += vm::GalleryPartThree(vm::g_out);
    vm::g_failures += vm::GalleryWizard(vm::g_out);
    vm::g_failures += vm::GalleryStartup(vm::g_out);
    vm::g_failures += vm::GalleryMainWindow(vm::g_out);
    vm::g_failures += vm::GalleryDialogs(vm::g_out);
    vm::g_failures += vm::GalleryObsoleted(vm::g_out);
    vm::g_failures += vm::ScaleTwoPass(argv[0], vm::g_out);
    vm::g_failures += vm::gallery::WriteContactSheet(QStringLiteral("contact-sheet.png"));
    if (const int cut = vm::gallery::ClippedTextCount())
        std::fprintf(stderr, "%d 处文字被截断\n", cut);
    return vm::g_failures == 0 && vm::gallery::ClippedTextCount() == 0 ? 0 : 1;
}
