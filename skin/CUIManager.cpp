#include "skin/CUIManager.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cstdlib>

#include "platform/Text.h"
#include "skin/CDC.h"
#include "skin/MarkupTokenizer.h"

namespace vm {
namespace {

std::vector<CUIManager*>& Managers() {
    static std::vector<CUIManager*> managers;
    return managers;
}

unsigned NameHash(std::string_view name) {
    unsigned h = 0;
    for (auto it = name.rbegin(); it != name.rend(); ++it)
        h = h * 33 + static_cast<unsigned char>(*it);
    return h;
}

CUIControl* CountProc(CUIControl*, void* data) {
    ++*static_cast<int*>(data);
    return nullptr;
}

CUIControl* HitProc(CUIControl* control, void*) {
    return control;
}

struct CollectData {
    std::vector<CUIControl*>* all;
};
CUIControl* CollectProc(CUIControl* control, void* data) {
    static_cast<CollectData*>(data)->all->push_back(control);
    return nullptr;
}

bool ClassHas(CUIControl* c, const char* part) {
    return std::string_view(c->GetClass()).find(part) != std::string_view::npos;
}

char16_t UpperChar(char16_t c) {
    return static_cast<char16_t>(QChar(c).toUpper().unicode());
}

struct ShortcutData {
    char16_t ch;
    bool pickNext;
};
CUIControl* ShortcutProc(CUIControl* control, void* data) {
    auto* d = static_cast<ShortcutData*>(data);
    const bool label = ClassHas(control, "Label");
    // A label's shortcut moves on to the next control that is not a label.
    if (d->pickNext && !label) return control;
    if (ClassHas(control, "ListMenuLabelElementUI")) d->pickNext = false;
    const char16_t sc = control->GetShortcut();
    if (sc != 0 && UpperChar(sc) == d->ch) {
        if (!label) return control;
        d->pickNext = true;
    }
    return nullptr;
}

POINT LParamPoint(LPARAM l) {
    return POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
}

}  // namespace

CUIManager::CUIManager() {
    Managers().push_back(this);
    UITheme::Get();
    NativeWindow::SetTranslateHook(&CUIManager::TranslateMessageAll);
}

CUIManager::~CUIManager() {
    HideToolTip();
    for (const TimerInfo& t : m_timers) {
        if (m_window) m_window->KillTimer(t.id);
    }
    m_timers.clear();
    m_delayedCleanup.clear();
    m_root.reset();
    auto& all = Managers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void CUIManager::Init(NativeWindow* window) {
    m_window = window;
}

bool CUIManager::AttachDialog(std::unique_ptr<CUIControl> root) {
    SetFocus(nullptr);
    m_hot = m_captured = m_keyTarget = nullptr;
    m_focus = nullptr;
    ResetNameTable();
    if (m_root) {
        m_delayedCleanup.push_back(std::move(m_root));
        if (m_window) m_window->PostMessage(WM_UI_REAP);
    }
    m_root = std::move(root);
    m_layoutNeeded = true;
    m_firstLayout = true;
    m_focusNeeded = true;
    return InitControls(m_root.get(), nullptr);
}

bool CUIManager::InitControls(CUIControl* control, CUIControl* parent) {
    if (!control) return false;
    control->SetManager(this, parent ? parent : control->GetParent());
    ResetNameTable();
    return true;
}

bool CUIManager::AddNotifier(INotifyUI* listener) {
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end())
        return false;
    m_listeners.push_back(listener);
    return true;
}

bool CUIManager::RemoveNotifier(INotifyUI* listener) {
    auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it == m_listeners.end()) return false;
    m_listeners.erase(it);
    return true;
}

void CUIManager::SendNotify(CUIControl* control, UINotifyCode code, WPARAM wParam, LPARAM lParam) {
    UINotify n;
    n.code = code;
    n.sender = control;
    n.timestamp = GetTickCount();
    n.mouse = m_mouse;
    n.wParam = wParam;
    n.lParam = lParam;
    if (control) control->OnNotify(n);
    // A listener may register others while we walk; index, not iterators.
    for (std::size_t i = 0; i < m_listeners.size(); ++i) m_listeners[i]->Notify(n);
}

void CUIManager::EnsureNameTable() {
    if (!m_nameTable.empty() || !m_root) return;
    int count = 0;
    m_root->FindControl(CountProc, &count, 0);
    const std::size_t size = static_cast<std::size_t>(count + count / 10);
    if (size == 0) return;
    m_nameTable.assign(size, nullptr);
    std::vector<CUIControl*> all;
    CollectData data{&all};
    m_root->FindControl(CollectProc, &data, 0);
    for (CUIControl* c : all) {
        if (c->GetName().empty()) continue;
        std::size_t slot = NameHash(c->GetName()) % size;
        for (std::size_t n = 0; n < size && m_nameTable[slot]; ++n) slot = (slot + 1) % size;
        if (!m_nameTable[slot]) m_nameTable[slot] = c;
    }
}

CUIControl* CUIManager::FindControl(std::string_view name) {
    EnsureNameTable();
    const std::size_t size = m_nameTable.size();
    if (size == 0) return nullptr;
    std::size_t slot = NameHash(name) % size;
    for (std::size_t n = 0; n < size && m_nameTable[slot]; ++n) {
        if (m_nameTable[slot]->GetName() == name) return m_nameTable[slot];
        slot = (slot + 1) % size;
    }
    return nullptr;
}

CUIControl* CUIManager::FindControl(int id) {
    return FindControl(std::to_string(id));
}

CUIControl* CUIManager::FindControlAt(POINT pt) {
    if (!m_root) return nullptr;
    return m_root->FindControl(HitProc, &pt, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_HITTEST);
}

UIEvent CUIManager::MakeEvent(UIEventType type, CUIControl* sender) const {
    UIEvent e;
    e.type = type;
    e.sender = sender;
    e.timestamp = GetTickCount();
    e.mouse = m_mouse;
    e.keyState = KeyStateFromKeyboard();
    return e;
}

void CUIManager::SendEvent(CUIControl* control, UIEvent event) {
    if (!Owns(control)) return;  // controls of another manager are ignored
    control->Event(event);
}

std::uint16_t CUIManager::KeyStateFromKeyboard() const {
    std::uint16_t s = 0;
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    if (buttons & Qt::RightButton) s |= 1;
    if (buttons & Qt::LeftButton) s |= 2;
    const Qt::KeyboardModifiers mods = NativeWindow::CurrentModifiers();
    if (mods & Qt::ShiftModifier) s |= 4;
    if (mods & Qt::ControlModifier) s |= 8;
    if (mods & Qt::AltModifier) s |= 0x20;
    return s;
}

void CUIManager::SetFocus(CUIControl* control) {
    if (!control) {
        m_focus = nullptr;
        return;
    }
    if (m_window && !m_window->hasFocus() && !m_window->IsDestroyed()) m_window->setFocus();
    if (control == m_focus) return;
    if (m_focus) {
        CUIControl* old = m_focus;
        SendEvent(old, MakeEvent(UIEventType::KillFocus, control));
        SendNotify(old, UINotifyCode::KillFocus);
        m_focus = nullptr;
    }
    if (Owns(control) && control->IsVisible() && control->IsEnabled()) {
        m_focus = control;
        m_focusNeeded = false;
        SendEvent(control, MakeEvent(UIEventType::SetFocus));
        SendNotify(control, UINotifyCode::SetFocus);
    }
}

bool CUIManager::SetNextTabControl(bool forward) {
    if (forward && m_layoutNeeded) {
        // Before the layout nothing has its place yet; focus once it has.
        m_focusNeeded = true;
        if (m_window) m_window->update();
        return true;
    }
    m_focusNeeded = false;
    if (!m_root) return false;
    std::vector<CUIControl*> all;
    CollectData data{&all};
    m_root->FindControl(CollectProc, &data, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
    std::vector<CUIControl*> stops;
    std::ptrdiff_t focusAt = -1;
    for (CUIControl* c : all) {
        if (c == m_focus) focusAt = static_cast<std::ptrdiff_t>(stops.size());
        if (c->GetControlFlags() & UIFLAG_TABSTOP) stops.push_back(c);
    }
    // focusAt: number of tab stops before the focused control.
    if (stops.empty()) return false;
    CUIControl* next = nullptr;
    if (focusAt < 0) {
        next = stops.front();
    } else if (forward) {
        const bool focusIsStop = focusAt < static_cast<std::ptrdiff_t>(stops.size()) &&
                                 stops[static_cast<std::size_t>(focusAt)] == m_focus;
        const std::size_t i = static_cast<std::size_t>(focusAt) + (focusIsStop ? 1 : 0);
        next = i < stops.size() ? stops[i] : stops.front();
    } else {
        next = focusAt > 0 ? stops[static_cast<std::size_t>(focusAt) - 1] : stops.back();
    }
    SetFocus(next);
    return true;
}

bool CUIManager::SetTimer(CUIControl* control, UINT number, UINT elapseMs) {
    // Ids cycle through 0-254; the first one of a manager is 17.
    const std::uintptr_t id = (++m_timerCounter) % 255;
    m_lastTimerId = id;
    if (!m_window || !m_window->SetTimer(id, elapseMs)) return false;
    // Restarting a control's timer replaces it instead of stacking a second one.
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->control == control && it->number == number) {
            if (it->id != id) m_window->KillTimer(it->id);
            m_timers.erase(it);
            break;
        }
    }
    m_timers.push_back({control, number, id});
    return true;
}

bool CUIManager::KillTimer(CUIControl* control, UINT number) {
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->control == control && it->number == number) {
            const std::uintptr_t id = it->id;
            m_timers.erase(it);
            const bool shared = std::any_of(m_timers.begin(), m_timers.end(),
                                            [&](const TimerInfo& t) { return t.id == id; });
            if (m_window && !shared) m_window->KillTimer(id);
            return true;
        }
    }
    return false;
}

void CUIManager::Invalidate() {
    m_layoutNeeded = true;
    if (m_window) m_window->update();
}

void CUIManager::Invalidate(const RECT& rect) {
    if (m_window && !rect.IsEmpty()) m_window->update(ToQRect(rect));
}

void CUIManager::SetCursor(CursorKind cursor) {
    if (!m_window) return;
    switch (cursor) {
        case CursorKind::Arrow:
            m_window->setCursor(Qt::ArrowCursor);
            break;
        case CursorKind::Hand:
            m_window->setCursor(Qt::PointingHandCursor);
            break;
        case CursorKind::IBeam:
            m_window->setCursor(Qt::IBeamCursor);
            break;
    }
}

void CUIManager::ReapObjects(CUIControl* control) {
    if (m_hot == control) m_hot = nullptr;
    if (m_captured == control) m_captured = nullptr;
    if (m_keyTarget == control) m_keyTarget = nullptr;
    // Also focus and timers: a deleted control must never receive another event.
    if (m_focus == control) m_focus = nullptr;
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->control == control) {
            if (m_window) m_window->KillTimer(it->id);
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
    ResetNameTable();
}

void CUIManager::ShowToolTip(CUIControl* control) {
    const std::string text = ExpandResourceRefs(std::string_view(control->GetToolTip()));
    if (text.empty() || !m_window) return;
    const RECT& r = control->GetPos();
    QToolTip::showText(m_window->mapToGlobal(QPoint(m_mouse.x, m_mouse.y)),
                       QString::fromStdString(text), m_window, ToQRect(r));
    m_tooltipText = text;
    m_tooltipShown = true;
}

void CUIManager::HideToolTip() {
    if (m_tooltipShown) QToolTip::hideText();
    m_tooltipShown = false;
    m_tooltipText.clear();
}

bool CUIManager::TranslateMessageAll(const MSG& msg) {
    // Copy: a handler may create or destroy windows.
    const std::vector<CUIManager*> managers = Managers();
    for (CUIManager* m : managers) {
        if (std::find(Managers().begin(), Managers().end(), m) == Managers().end()) continue;
        NativeWindow* w = m->m_window;
        if (!w || w->IsDestroyed()) continue;
        // The window itself, or a Qt child inside it (an edit overlay).
        const bool mine = msg.hwnd == w || (msg.hwnd && !msg.hwnd->isWindow() &&
                                            NativeWindow::Containing(msg.hwnd) == w);
        if (mine && m->TranslateMessage(msg)) return true;
    }
    return false;
}

bool CUIManager::TranslateMessage(const MSG& msg) {
    switch (msg.message) {
        case WM_KEYDOWN:
            if (msg.wParam == VK_TAB) {
                const bool shift = NativeWindow::CurrentModifiers() & Qt::ShiftModifier;
                SetNextTabControl(!shift);
                m_acceleratorDisplay = true;
                if (m_window) m_window->update();
                return true;
            }
            if (msg.wParam == VK_RETURN) {
                CUIControl* ok = FindControl("ok");
                if (ok && ok != m_focus &&
                    (!m_focus || !(m_focus->GetControlFlags() & UIFLAG_WANTRETURN))) {
                    ok->Activate();
                    return true;
                }
                return false;
            }
            if (msg.wParam == VK_ESCAPE) {
                if (CUIControl* cancel = FindControl("cancel")) {
                    cancel->Activate();
                    return true;
                }
                return false;
            }
            return false;
        case WM_SYSKEYDOWN: {
            if (!m_acceleratorDisplay) {
                m_acceleratorDisplay = true;
                Invalidate();
            }
            if (m_focus) {
                UIEvent e = MakeEvent(UIEventType::SysKey);
                e.key = static_cast<char16_t>(msg.wParam);
                e.wParam = msg.wParam;
                e.lParam = msg.lParam;
                SendEvent(m_focus, e);
            }
            return false;
        }
        case WM_SYSCHAR: {
            if (!m_root) return false;
            ShortcutData data{UpperChar(static_cast<char16_t>(msg.wParam)), false};
            CUIControl* c = m_root->FindControl(ShortcutProc, &data,
                                                UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
            if (!c) return false;
            SetFocus(c);
            c->Activate();
            return true;
        }
        default:
            return false;
    }
}

qreal CUIManager::PaintRatio(QPainter* screen) const {
    // Where the screen painter really draws (a window's backing store, or the image a window
    // is rendered into) tells the pixels per point.
    if (screen && screen->paintEngine() && screen->paintEngine()->paintDevice())
        return std::max<qreal>(1, screen->paintEngine()->paintDevice()->devicePixelRatioF());
    return std::max<qreal>(1, m_window->devicePixelRatioF());
}

void CUIManager::Paint() {
    if (!m_window) return;
    if (m_layoutNeeded) {
        m_layoutNeeded = false;
        const RECT client = m_window->ClientRect();
        if (!client.IsEmpty() && m_root) {
            m_root->SetPos(client);
            if (m_firstLayout) {
                m_firstLayout = false;
                SendNotify(m_root.get(), UINotifyCode::WindowInit);
            }
        }
        m_offscreen = QImage();
    }
    if (m_focusNeeded) SetNextTabControl(true);
    const RECT client = m_window->ClientRect();
    if (client.IsEmpty() || !m_root) return;
    QPainter* screen = m_window->PaintPainter();
    // The back buffer has the pixels of the screen it goes to (two per point on a screen scaled
    // by two), so text and artwork are drawn sharp there and the layout stays in points.
    const qreal ratio = PaintRatio(screen);
    bool fresh = false;
    const QSize pixels = (QSizeF(client.Width(), client.Height()) * ratio).toSize();
    if (m_offscreen.isNull() || m_offscreen.size() != pixels ||
        m_offscreen.devicePixelRatio() != ratio) {
        m_offscreen = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_offscreen.setDevicePixelRatio(ratio);
        m_offscreen.fill(Qt::transparent);
        fresh = true;
    }
    // A new buffer holds nothing yet: all of it is painted.
    const RECT paint = screen && !fresh ? IntersectRect(m_window->PaintRect(), client) : client;
    if (!paint.IsEmpty()) {
        QPainter p(&m_offscreen);
        if (m_window->IsChild()) {
            // A child window shows its parent wherever the tree paints nothing.
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(ToQRect(paint), Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        CDC dc(p);
        dc.IntersectClip(paint);
        dc.SaveDC();
        m_root->DoPaint(dc, paint);
        dc.RestoreDC();
    }
    if (screen && !paint.IsEmpty()) {
        const QRect points = ToQRect(paint);
        screen->drawImage(QRectF(points), m_offscreen,
                          QRectF(QPointF(points.topLeft()) * ratio, QSizeF(points.size()) * ratio));
    }
    if (m_layoutNeeded) m_window->update();
}

bool CUIManager::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (!m_window || m_window->IsDestroyed()) return false;
    result = 0;
    switch (msg) {
        case WM_UI_REAP:
            m_delayedCleanup.clear();
            return true;
        case WM_CLOSE: {
            if (m_hot) {
                CUIControl* old = m_hot;
                m_hot = nullptr;
                SendEvent(old, MakeEvent(UIEventType::MouseLeave));
            }
            if (m_captured) {
                CUIControl* old = m_captured;
                m_captured = nullptr;
                SendEvent(old, MakeEvent(UIEventType::ButtonUp));
            }
            SetFocus(nullptr);
            if (QWidget* owner = m_window->parentWidget()) owner->setFocus();
            return false;
        }
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT:
            Paint();
            return true;
        case WM_SIZE:
            if (m_focus) SendEvent(m_focus, MakeEvent(UIEventType::WindowSize));
            Invalidate();
            return true;
        case WM_TIMER:
            for (const TimerInfo& t : m_timers) {
                if (t.id == wParam) {
                    UIEvent e = MakeEvent(UIEventType::Timer);
                    e.wParam = t.number;
                    SendEvent(t.control, e);
                    return true;
                }
            }
            return false;
        case WM_MOUSEHOVER: {
            m_mouseTracking = false;
            const POINT pt = LParamPoint(lParam);
            CUIControl* hover = FindControlAt(pt);
            if (m_hot) {
                UIEvent e = MakeEvent(UIEventType::MouseHover);
                e.mouse = pt;
                SendEvent(m_hot, e);
            }
            if (hover && Owns(hover)) ShowToolTip(hover);
            return true;
        }
        case WM_MOUSELEAVE:
            HideToolTip();
            // Also after a hover ended the hover tracking: the hot control must not stay hot.
            if (m_mouseTracking || m_hot)
                m_window->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-1, -1));
            m_mouseTracking = false;
            return true;
        case WM_MOUSEMOVE: {
            if (!m_mouseTracking) {
                m_window->TrackMouse(m_tooltipShown ? 500 : 1000);
                m_mouseTracking = true;
            }
            m_mouse = LParamPoint(lParam);
            CUIControl* newHot = FindControlAt(m_mouse);
            if (newHot && !Owns(newHot)) return true;
            if (newHot != m_hot) {
                if (m_hot) {
                    SendEvent(m_hot, MakeEvent(UIEventType::MouseLeave, newHot));
                    HideToolTip();
                }
                m_hot = newHot;
                if (newHot) SendEvent(newHot, MakeEvent(UIEventType::MouseEnter));
            }
            UIEvent e = MakeEvent(UIEventType::MouseMove);
            e.wParam = wParam;
            e.lParam = lParam;
            if (m_captured) {
                SendEvent(m_captured, e);
            } else if (m_hot) {
                SendEvent(m_hot, e);
            }
            return true;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: {
            if (msg != WM_LBUTTONDBLCLK) m_window->setFocus();
            m_mouse = LParamPoint(lParam);
            CUIControl* c = FindControlAt(m_mouse);
            if (!c || !Owns(c)) return true;
            if (msg != WM_LBUTTONDBLCLK && c == m_root.get()) return true;
            m_captured = c;
            UIEvent e = MakeEvent(msg == WM_LBUTTONDOWN   ? UIEventType::ButtonDown
                                  : msg == WM_RBUTTONDOWN ? UIEventType::ContextMenu
                                                          : UIEventType::DblClick);
            e.wParam = wParam;
            e.lParam = lParam;
            e.keyState = static_cast<std::uint16_t>(LOWORD(wParam));
            if (msg != WM_LBUTTONDBLCLK) c->SetFocus();
            SendEvent(c, e);
            return true;
        }
        case WM_LBUTTONUP: {
            m_mouse = LParamPoint(lParam);
            if (!m_captured) return true;
            CUIControl* c = m_captured;
            m_captured = nullptr;
            UIEvent e = MakeEvent(UIEventType::ButtonUp);
            e.wParam = wParam;
            e.lParam = lParam;
            e.keyState = static_cast<std::uint16_t>(LOWORD(wParam));
            SendEvent(c, e);
            return true;
        }
        case WM_CHAR:
        case WM_KEYDOWN:
        case WM_KEYUP: {
            CUIControl* target = msg == WM_KEYUP ? m_keyTarget : m_focus;
            if (!target) return false;
            UIEvent e = MakeEvent(msg == WM_CHAR      ? UIEventType::Char
                                  : msg == WM_KEYDOWN ? UIEventType::KeyDown
                                                      : UIEventType::KeyUp);
            e.key = static_cast<char16_t>(wParam);
            e.wParam = wParam;
            e.lParam = lParam;
            if (msg == WM_KEYDOWN) m_keyTarget = m_focus;
            if (msg == WM_KEYUP) m_keyTarget = nullptr;
            SendEvent(target, e);
            return true;
        }
        case WM_SETCURSOR: {
            if (LOWORD(static_cast<WPARAM>(lParam)) != HTCLIENT) return false;
            CUIControl* c = FindControlAt(m_window->LastMousePos());
            if (!c || !Owns(c) || !(c->GetControlFlags() & UIFLAG_SETCURSOR)) return false;
            SendEvent(c, MakeEvent(UIEventType::SetCursor));
            result = 1;
            return true;
        }
        case WM_MOUSEWHEEL: {
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            if (m_focus) {
                UIEvent wheel = MakeEvent(UIEventType::ScrollWheel);
                wheel.wParam = delta < 0 ? 1 : 0;  // 1: turned towards the user
                wheel.lParam = lParam;
                SendEvent(m_focus, wheel);
                for (int n = std::abs(delta) / 40; n > 0 && m_focus; --n) {
                    UIEvent step = MakeEvent(UIEventType::VScroll);
                    step.wParam = delta < 0 ? 1 : 0;  // line down / line up
                    SendEvent(m_focus, step);
                }
            }
            m_window->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(m_mouse.x, m_mouse.y));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace vm
