#include "skin/CUIManager.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
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
    for (const TimerInfo& t : timers_) {
        if (window_) window_->KillTimer(t.id);
    }
    timers_.clear();
    delayedCleanup_.clear();
    root_.reset();
    auto& all = Managers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void CUIManager::Init(NativeWindow* window) {
    window_ = window;
}

bool CUIManager::AttachDialog(std::unique_ptr<CUIControl> root) {
    SetFocus(nullptr);
    hot_ = captured_ = keyTarget_ = nullptr;
    focus_ = nullptr;
    ResetNameTable();
    if (root_) {
        delayedCleanup_.push_back(std::move(root_));
        if (window_) window_->PostMessage(WM_UI_REAP);
    }
    root_ = std::move(root);
    layoutNeeded_ = true;
    firstLayout_ = true;
    focusNeeded_ = true;
    return InitControls(root_.get(), nullptr);
}

bool CUIManager::InitControls(CUIControl* control, CUIControl* parent) {
    if (!control) return false;
    control->SetManager(this, parent ? parent : control->GetParent());
    ResetNameTable();
    return true;
}

bool CUIManager::AddNotifier(INotifyUI* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) return false;
    listeners_.push_back(listener);
    return true;
}

bool CUIManager::RemoveNotifier(INotifyUI* listener) {
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it == listeners_.end()) return false;
    listeners_.erase(it);
    return true;
}

void CUIManager::SendNotify(CUIControl* control, UINotifyCode code, WPARAM wParam, LPARAM lParam) {
    UINotify n;
    n.code = code;
    n.sender = control;
    n.timestamp = GetTickCount();
    n.mouse = mouse_;
    n.wParam = wParam;
    n.lParam = lParam;
    if (control) control->OnNotify(n);
    // A listener may register others while we walk; index, not iterators.
    for (std::size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->Notify(n);
}

void CUIManager::EnsureNameTable() {
    if (!nameTable_.empty() || !root_) return;
    int count = 0;
    root_->FindControl(CountProc, &count, 0);
    const std::size_t size = static_cast<std::size_t>(count + count / 10);
    if (size == 0) return;
    nameTable_.assign(size, nullptr);
    std::vector<CUIControl*> all;
    CollectData data{&all};
    root_->FindControl(CollectProc, &data, 0);
    for (CUIControl* c : all) {
        if (c->GetName().empty()) continue;
        std::size_t slot = NameHash(c->GetName()) % size;
        for (std::size_t n = 0; n < size && nameTable_[slot]; ++n) slot = (slot + 1) % size;
        if (!nameTable_[slot]) nameTable_[slot] = c;
    }
}

CUIControl* CUIManager::FindControl(std::string_view name) {
    EnsureNameTable();
    const std::size_t size = nameTable_.size();
    if (size == 0) return nullptr;
    std::size_t slot = NameHash(name) % size;
    for (std::size_t n = 0; n < size && nameTable_[slot]; ++n) {
        if (nameTable_[slot]->GetName() == name) return nameTable_[slot];
        slot = (slot + 1) % size;
    }
    return nullptr;
}

CUIControl* CUIManager::FindControl(int id) {
    return FindControl(std::to_string(id));
}

CUIControl* CUIManager::FindControlAt(POINT pt) {
    if (!root_) return nullptr;
    return root_->FindControl(HitProc, &pt, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_HITTEST);
}

UIEvent CUIManager::MakeEvent(UIEventType type, CUIControl* sender) const {
    UIEvent e;
    e.type = type;
    e.sender = sender;
    e.timestamp = GetTickCount();
    e.mouse = mouse_;
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
        focus_ = nullptr;
        return;
    }
    if (window_ && !window_->hasFocus() && !window_->IsDestroyed()) window_->setFocus();
    if (control == focus_) return;
    if (focus_) {
        CUIControl* old = focus_;
        SendEvent(old, MakeEvent(UIEventType::KillFocus, control));
        SendNotify(old, UINotifyCode::KillFocus);
        focus_ = nullptr;
    }
    if (Owns(control) && control->IsVisible() && control->IsEnabled()) {
        focus_ = control;
        focusNeeded_ = false;
        SendEvent(control, MakeEvent(UIEventType::SetFocus));
        SendNotify(control, UINotifyCode::SetFocus);
    }
}

bool CUIManager::SetNextTabControl(bool forward) {
    if (forward && layoutNeeded_) {
        // Before the layout nothing has its place yet; focus once it has.
        focusNeeded_ = true;
        if (window_) window_->update();
        return true;
    }
    focusNeeded_ = false;
    if (!root_) return false;
    std::vector<CUIControl*> all;
    CollectData data{&all};
    root_->FindControl(CollectProc, &data, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
    std::vector<CUIControl*> stops;
    std::ptrdiff_t focusAt = -1;
    for (CUIControl* c : all) {
        if (c == focus_) focusAt = static_cast<std::ptrdiff_t>(stops.size());
        if (c->GetControlFlags() & UIFLAG_TABSTOP) stops.push_back(c);
    }
    // focusAt: number of tab stops before the focused control.
    if (stops.empty()) return false;
    CUIControl* next = nullptr;
    if (focusAt < 0) {
        next = stops.front();
    } else if (forward) {
        const bool focusIsStop = focusAt < static_cast<std::ptrdiff_t>(stops.size()) &&
                                 stops[static_cast<std::size_t>(focusAt)] == focus_;
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
    const std::uintptr_t id = (++timerCounter_) % 255;
    lastTimerId_ = id;
    if (!window_ || !window_->SetTimer(id, elapseMs)) return false;
    // Restarting a control's timer replaces it instead of stacking a second one.
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->control == control && it->number == number) {
            if (it->id != id) window_->KillTimer(it->id);
            timers_.erase(it);
            break;
        }
    }
    timers_.push_back({control, number, id});
    return true;
}

bool CUIManager::KillTimer(CUIControl* control, UINT number) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->control == control && it->number == number) {
            const std::uintptr_t id = it->id;
            timers_.erase(it);
            const bool shared = std::any_of(timers_.begin(), timers_.end(),
                                            [&](const TimerInfo& t) { return t.id == id; });
            if (window_ && !shared) window_->KillTimer(id);
            return true;
        }
    }
    return false;
}

void CUIManager::Invalidate() {
    layoutNeeded_ = true;
    if (window_) window_->update();
}

void CUIManager::Invalidate(const RECT& rect) {
    if (window_ && !rect.IsEmpty()) window_->update(ToQRect(rect));
}

void CUIManager::SetCursor(CursorKind cursor) {
    if (!window_) return;
    switch (cursor) {
        case CursorKind::Arrow:
            window_->setCursor(Qt::ArrowCursor);
            break;
        case CursorKind::Hand:
            window_->setCursor(Qt::PointingHandCursor);
            break;
        case CursorKind::IBeam:
            window_->setCursor(Qt::IBeamCursor);
            break;
    }
}

void CUIManager::ReapObjects(CUIControl* control) {
    if (hot_ == control) hot_ = nullptr;
    if (captured_ == control) captured_ = nullptr;
    if (keyTarget_ == control) keyTarget_ = nullptr;
    // Also focus and timers: a deleted control must never receive another event.
    if (focus_ == control) focus_ = nullptr;
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->control == control) {
            if (window_) window_->KillTimer(it->id);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
    ResetNameTable();
}

void CUIManager::ShowToolTip(CUIControl* control) {
    const std::string text = ExpandResourceRefs(std::string_view(control->GetToolTip()));
    if (text.empty() || !window_) return;
    const RECT& r = control->GetPos();
    QToolTip::showText(window_->mapToGlobal(QPoint(mouse_.x, mouse_.y)),
                       QString::fromStdString(text), window_, ToQRect(r));
    tooltipText_ = text;
    tooltipShown_ = true;
}

void CUIManager::HideToolTip() {
    if (tooltipShown_) QToolTip::hideText();
    tooltipShown_ = false;
    tooltipText_.clear();
}

bool CUIManager::TranslateMessageAll(const MSG& msg) {
    // Copy: a handler may create or destroy windows.
    const std::vector<CUIManager*> managers = Managers();
    for (CUIManager* m : managers) {
        if (std::find(Managers().begin(), Managers().end(), m) == Managers().end()) continue;
        NativeWindow* w = m->window_;
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
                acceleratorDisplay_ = true;
                if (window_) window_->update();
                return true;
            }
            if (msg.wParam == VK_RETURN) {
                CUIControl* ok = FindControl("ok");
                if (ok && ok != focus_ &&
                    (!focus_ || !(focus_->GetControlFlags() & UIFLAG_WANTRETURN))) {
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
            if (!acceleratorDisplay_) {
                acceleratorDisplay_ = true;
                Invalidate();
            }
            if (focus_) {
                UIEvent e = MakeEvent(UIEventType::SysKey);
                e.key = static_cast<char16_t>(msg.wParam);
                e.wParam = msg.wParam;
                e.lParam = msg.lParam;
                SendEvent(focus_, e);
            }
            return false;
        }
        case WM_SYSCHAR: {
            if (!root_) return false;
            ShortcutData data{UpperChar(static_cast<char16_t>(msg.wParam)), false};
            CUIControl* c = root_->FindControl(ShortcutProc, &data,
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

void CUIManager::Paint() {
    if (!window_) return;
    if (layoutNeeded_) {
        layoutNeeded_ = false;
        const RECT client = window_->ClientRect();
        if (!client.IsEmpty() && root_) {
            root_->SetPos(client);
            if (firstLayout_) {
                firstLayout_ = false;
                SendNotify(root_.get(), UINotifyCode::WindowInit);
            }
        }
        offscreen_ = QImage();
    }
    if (focusNeeded_) SetNextTabControl(true);
    const RECT client = window_->ClientRect();
    if (client.IsEmpty() || !root_) return;
    if (offscreen_.isNull() || offscreen_.width() != client.Width() ||
        offscreen_.height() != client.Height()) {
        offscreen_ = QImage(client.Width(), client.Height(), QImage::Format_ARGB32_Premultiplied);
        offscreen_.fill(Qt::transparent);
    }
    QPainter* screen = window_->PaintPainter();
    const RECT paint = screen ? IntersectRect(window_->PaintRect(), client) : client;
    if (!paint.IsEmpty()) {
        QPainter p(&offscreen_);
        if (window_->IsChild()) {
            // A child window shows its parent wherever the tree paints nothing.
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(ToQRect(paint), Qt::transparent);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        CDC dc(p);
        dc.IntersectClip(paint);
        dc.SaveDC();
        root_->DoPaint(dc, paint);
        dc.RestoreDC();
    }
    if (screen && !paint.IsEmpty()) {
        screen->drawImage(QPoint(paint.left, paint.top), offscreen_, ToQRect(paint));
    }
    if (layoutNeeded_) window_->update();
}

bool CUIManager::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (!window_ || window_->IsDestroyed()) return false;
    result = 0;
    switch (msg) {
        case WM_UI_REAP:
            delayedCleanup_.clear();
            return true;
        case WM_CLOSE: {
            if (hot_) {
                CUIControl* old = hot_;
                hot_ = nullptr;
                SendEvent(old, MakeEvent(UIEventType::MouseLeave));
            }
            if (captured_) {
                CUIControl* old = captured_;
                captured_ = nullptr;
                SendEvent(old, MakeEvent(UIEventType::ButtonUp));
            }
            SetFocus(nullptr);
            if (QWidget* owner = window_->parentWidget()) owner->setFocus();
            return false;
        }
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT:
            Paint();
            return true;
        case WM_SIZE:
            if (focus_) SendEvent(focus_, MakeEvent(UIEventType::WindowSize));
            Invalidate();
            return true;
        case WM_TIMER:
            for (const TimerInfo& t : timers_) {
                if (t.id == wParam) {
                    UIEvent e = MakeEvent(UIEventType::Timer);
                    e.wParam = t.number;
                    SendEvent(t.control, e);
                    return true;
                }
            }
            return false;
        case WM_MOUSEHOVER: {
            mouseTracking_ = false;
            const POINT pt = LParamPoint(lParam);
            CUIControl* hover = FindControlAt(pt);
            if (hot_) {
                UIEvent e = MakeEvent(UIEventType::MouseHover);
                e.mouse = pt;
                SendEvent(hot_, e);
            }
            if (hover && Owns(hover)) ShowToolTip(hover);
            return true;
        }
        case WM_MOUSELEAVE:
            HideToolTip();
            // Also after a hover ended the hover tracking: the hot control must not stay hot.
            if (mouseTracking_ || hot_) window_->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-1, -1));
            mouseTracking_ = false;
            return true;
        case WM_MOUSEMOVE: {
            if (!mouseTracking_) {
                window_->TrackMouse(tooltipShown_ ? 500 : 1000);
                mouseTracking_ = true;
            }
            mouse_ = LParamPoint(lParam);
            CUIControl* newHot = FindControlAt(mouse_);
            if (newHot && !Owns(newHot)) return true;
            if (newHot != hot_) {
                if (hot_) {
                    SendEvent(hot_, MakeEvent(UIEventType::MouseLeave, newHot));
                    HideToolTip();
                }
                hot_ = newHot;
                if (newHot) SendEvent(newHot, MakeEvent(UIEventType::MouseEnter));
            }
            UIEvent e = MakeEvent(UIEventType::MouseMove);
            e.wParam = wParam;
            e.lParam = lParam;
            if (captured_) {
                SendEvent(captured_, e);
            } else if (hot_) {
                SendEvent(hot_, e);
            }
            return true;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: {
            if (msg != WM_LBUTTONDBLCLK) window_->setFocus();
            mouse_ = LParamPoint(lParam);
            CUIControl* c = FindControlAt(mouse_);
            if (!c || !Owns(c)) return true;
            if (msg != WM_LBUTTONDBLCLK && c == root_.get()) return true;
            captured_ = c;
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
            mouse_ = LParamPoint(lParam);
            if (!captured_) return true;
            CUIControl* c = captured_;
            captured_ = nullptr;
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
            CUIControl* target = msg == WM_KEYUP ? keyTarget_ : focus_;
            if (!target) return false;
            UIEvent e = MakeEvent(msg == WM_CHAR      ? UIEventType::Char
                                  : msg == WM_KEYDOWN ? UIEventType::KeyDown
                                                      : UIEventType::KeyUp);
            e.key = static_cast<char16_t>(wParam);
            e.wParam = wParam;
            e.lParam = lParam;
            if (msg == WM_KEYDOWN) keyTarget_ = focus_;
            if (msg == WM_KEYUP) keyTarget_ = nullptr;
            SendEvent(target, e);
            return true;
        }
        case WM_SETCURSOR: {
            if (LOWORD(static_cast<WPARAM>(lParam)) != HTCLIENT) return false;
            CUIControl* c = FindControlAt(window_->LastMousePos());
            if (!c || !Owns(c) || !(c->GetControlFlags() & UIFLAG_SETCURSOR)) return false;
            SendEvent(c, MakeEvent(UIEventType::SetCursor));
            result = 1;
            return true;
        }
        case WM_MOUSEWHEEL: {
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            if (focus_) {
                UIEvent wheel = MakeEvent(UIEventType::ScrollWheel);
                wheel.wParam = delta < 0 ? 1 : 0;  // 1: turned towards the user
                wheel.lParam = lParam;
                SendEvent(focus_, wheel);
                for (int n = std::abs(delta) / 40; n > 0 && focus_; --n) {
                    UIEvent step = MakeEvent(UIEventType::VScroll);
                    step.wParam = delta < 0 ? 1 : 0;  // line down / line up
                    SendEvent(focus_, step);
                }
            }
            window_->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(mouse_.x, mouse_.y));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace vm
