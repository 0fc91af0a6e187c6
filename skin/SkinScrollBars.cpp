#include "skin/SkinScrollBars.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimerEvent>
#include <QVariant>
#include <algorithm>
#include <array>

#include "skin/CDC.h"
#include "skin/CUIVScrollBar.h"

namespace vm {
namespace {

constexpr const char* kProperty = "CoolSBSubclassPtr";
constexpr int kDefaultMinThumb = 6;
constexpr int kFirstDelayMs = 400;
constexpr int kRepeatMs = 50;

class SkinBar;

// The per-widget state: the two bars and what the owner gave.
class SkinBars : public QObject {
  public:
    SkinBars(QWidget* widget, ScrollPartPainter painter, ScrollRequestHandler requests);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void Place();

    QPointer<QWidget> widget;
    ScrollPartPainter painter;
    ScrollRequestHandler requests;
    std::array<QPointer<SkinBar>, 2> bars;
    bool scrollArea = false;
};

class SkinBar : public QScrollBar {
  public:
    SkinBar(Qt::Orientation o, SkinBars* owner, QWidget* parent)
        : QScrollBar(o, parent), m_owner(owner) {
        setMouseTracking(true);
        setFocusPolicy(Qt::NoFocus);
        setContextMenuPolicy(Qt::PreventContextMenu);  // right clicks on a bar do nothing
        connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
            if (!m_owner || m_owner->scrollArea || !m_owner->requests) return;
            int code = -1;
            switch (action) {
                case SliderSingleStepSub:
                    code = static_cast<int>(SB_LINEUP);
                    break;
                case SliderSingleStepAdd:
                    code = static_cast<int>(SB_LINEDOWN);
                    break;
                case SliderPageStepSub:
                    code = static_cast<int>(SB_PAGEUP);
                    break;
                case SliderPageStepAdd:
                    code = static_cast<int>(SB_PAGEDOWN);
                    break;
                case SliderMove:
                    code = static_cast<int>(SB_THUMBTRACK);
                    break;
                default:
                    break;
            }
            if (code >= 0) m_owner->requests(Bar(), code, sliderPosition());
        });
    }

    int Bar() const { return orientation() == Qt::Vertical ? SB_VERT : SB_HORZ; }
    int Thickness() const { return m_thickness; }

    int style = 2;
    int arrow = 16;
    int m_thickness = 15;
    int minThumb = kDefaultMinThumb;
    UINT disabledArrows = 0;

    QSize sizeHint() const override {
        if (style == 0) return QScrollBar::sizeHint();
        return orientation() == Qt::Vertical ? QSize(m_thickness, 2 * arrow + 20)
                                             : QSize(2 * arrow + 20, m_thickness);
    }

    // Part rectangles in this widget's coordinates, along the bar's length.
    std::array<RECT, 5> Parts() const {
        const bool v = orientation() == Qt::Vertical;
        const int len = v ? height() : width();
        const int across = v ? width() : height();
        const int a = std::min(arrow, len / 2);
        const int track = std::max(0, len - 2 * a);
        const int range = maximum() - minimum();
        const int total = range + pageStep();
        int thumbLen = 0, thumbAt = a;
        if (range > 0 && total > 0) {
            thumbLen = static_cast<int>(static_cast<long long>(track) * pageStep() / total);
            thumbLen = std::min(track, std::max(thumbLen, minThumb));
            thumbAt = a + static_cast<int>(static_cast<long long>(sliderPosition() - minimum()) *
                                           (track - thumbLen) / range);
        }
        auto span = [&](int from, int to) {
            return v ? RECT{0, from, across, to} : RECT{from, 0, to, across};
        };
        std::array<RECT, 5> p;
        p[0] = span(0, a);
        p[1] = span(len - a, len);
        p[2] = span(a, thumbLen > 0 ? thumbAt : len - a);
        p[3] = span(thumbLen > 0 ? thumbAt + thumbLen : len - a, len - a);
        p[4] = thumbLen > 0 ? span(thumbAt, thumbAt + thumbLen) : RECT{};
        return p;
    }

    int PartAt(QPoint pt) const {
        const auto parts = Parts();
        for (int i = 4; i >= 0; --i) {
            if (parts[static_cast<std::size_t>(i)].Contains(POINT{pt.x(), pt.y()})) return i;
        }
        return -1;
    }

  protected:
    void paintEvent(QPaintEvent* e) override {
        if (style == 0) {
            QScrollBar::paintEvent(e);
            return;
        }
        QPainter p(this);
        const auto parts = Parts();
        const bool canScroll = isEnabled() && maximum() > minimum();
        for (int i = 0; i < 5; ++i) {
            const RECT& r = parts[static_cast<std::size_t>(i)];
            if (r.IsEmpty()) continue;
            NMCSBCUSTOMDRAW nm;
            nm.bar = Bar();
            nm.part = static_cast<ScrollBarPart>(i);
            nm.rect = r;
            bool disabled = !canScroll;
            if (i == 0 && (disabledArrows & ESB_DISABLE_LTUP)) disabled = true;
            if (i == 1 && (disabledArrows & ESB_DISABLE_RTDN)) disabled = true;
            if (disabled) {
                nm.state = 4;
            } else if (i == m_pressed) {
                nm.state = 0x10;
            } else if (i == m_hot) {
                nm.state = 8;
            }
            if (m_owner && m_owner->painter) {
                m_owner->painter(p, nm);
            } else {
                DrawScrollPartFromGrid(p, DefaultScrollBarImage(), nm);
            }
        }
    }

    void mousePressEvent(QMouseEvent* e) override {
        if (style == 0) {
            QScrollBar::mousePressEvent(e);
            return;
        }
        if (e->button() != Qt::LeftButton) return;  // right and middle presses are swallowed
        const QPoint pt = e->position().toPoint();
        m_pressed = PartAt(pt);
        m_pressAt = pt;
        if (m_pressed == 4) {
            const RECT th = Parts()[4];
            m_grab = orientation() == Qt::Vertical ? pt.y() - th.top : pt.x() - th.left;
            setSliderDown(true);
        } else if (m_pressed >= 0) {
            Act();
            m_timer.start(kFirstDelayMs, this);
        }
        update();
    }

    void mouseMoveEvent(QMouseEvent* e) override {
        if (style == 0) {
            QScrollBar::mouseMoveEvent(e);
            return;
        }
        const QPoint pt = e->position().toPoint();
        if (m_pressed == 4 && isSliderDown()) {
            const bool v = orientation() == Qt::Vertical;
            const auto parts = Parts();
            const int len = v ? height() : width();
            const int a = std::min(arrow, len / 2);
            const int thumbLen = v ? parts[4].Height() : parts[4].Width();
            const int room = len - 2 * a - thumbLen;
            if (room > 0) {
                const int at = (v ? pt.y() : pt.x()) - m_grab - a;
                const int pos = minimum() + static_cast<int>(static_cast<long long>(at) *
                                                             (maximum() - minimum()) / room);
                setSliderPosition(std::clamp(pos, minimum(), maximum()));
            }
            update();
            return;
        }
        m_pressAt = pt;
        const int hot = PartAt(pt);
        if (hot != m_hot) {
            m_hot = hot;
            update();
        }
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        if (style == 0) {
            QScrollBar::mouseReleaseEvent(e);
            return;
        }
        m_timer.stop();
        if (m_pressed == 4 && isSliderDown()) {
            setSliderDown(false);
            if (m_owner && !m_owner->scrollArea && m_owner->requests)
                m_owner->requests(Bar(), static_cast<int>(SB_THUMBPOSITION), sliderPosition());
        }
        m_pressed = -1;
        update();
    }

    void leaveEvent(QEvent* e) override {
        m_hot = -1;
        update();
        QScrollBar::leaveEvent(e);
    }

    void timerEvent(QTimerEvent* e) override {
        if (e->timerId() != m_timer.timerId()) {
            QScrollBar::timerEvent(e);
            return;
        }
        m_timer.start(kRepeatMs, this);
        // A held track stops once the thumb reaches the pointer.
        if ((m_pressed == 2 || m_pressed == 3) && PartAt(m_pressAt) != m_pressed) return;
        Act();
    }

  private:
    void Act() {
        switch (m_pressed) {
            case 0:
                if (!(disabledArrows & ESB_DISABLE_LTUP)) triggerAction(SliderSingleStepSub);
                break;
            case 1:
                if (!(disabledArrows & ESB_DISABLE_RTDN)) triggerAction(SliderSingleStepAdd);
                break;
            case 2:
                triggerAction(SliderPageStepSub);
                break;
            case 3:
                triggerAction(SliderPageStepAdd);
                break;
            default:
                break;
        }
        update();
    }

    SkinBars* m_owner;
    int m_hot = -1;
    int m_pressed = -1;
    int m_grab = 0;
    QPoint m_pressAt;
    QBasicTimer m_timer;
};

SkinBars::SkinBars(QWidget* w, ScrollPartPainter p, ScrollRequestHandler r)
    : QObject(w), widget(w), painter(std::move(p)), requests(std::move(r)) {
    auto* area = qobject_cast<QAbstractScrollArea*>(w);
    scrollArea = area != nullptr;
    if (area) {
        auto* v = new SkinBar(Qt::Vertical, this, nullptr);
        auto* h = new SkinBar(Qt::Horizontal, this, nullptr);
        area->setVerticalScrollBar(v);
        area->setHorizontalScrollBar(h);
        bars = {h, v};
    } else {
        auto* v = new SkinBar(Qt::Vertical, this, w);
        auto* h = new SkinBar(Qt::Horizontal, this, w);
        v->hide();
        h->hide();
        bars = {h, v};
        w->installEventFilter(this);
        Place();
    }
}

bool SkinBars::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget && event->type() == QEvent::Resize) Place();
    return false;
}

void SkinBars::Place() {
    if (scrollArea || !widget) return;
    SkinBar* h = bars[SB_HORZ];
    SkinBar* v = bars[SB_VERT];
    const int vw = v && v->isVisibleTo(widget) ? v->Thickness() : 0;
    const int hh = h && h->isVisibleTo(widget) ? h->Thickness() : 0;
    if (v)
        v->setGeometry(widget->width() - v->Thickness(), 0, v->Thickness(),
                       std::max(0, widget->height() - hh));
    if (h)
        h->setGeometry(0, widget->height() - h->Thickness(), std::max(0, widget->width() - vw),
                       h->Thickness());
}

SkinBars* StateOf(QWidget* widget) {
    if (!widget) return nullptr;
    return dynamic_cast<SkinBars*>(widget->property(kProperty).value<QObject*>());
}

SkinBar* BarOf(QWidget* widget, int bar) {
    SkinBars* s = StateOf(widget);
    if (!s || bar < 0 || bar > 1) return nullptr;
    return s->bars[static_cast<std::size_t>(bar)];
}

template <typename F>
bool ForBars(QWidget* widget, int bar, F f) {
    bool any = false;
    for (int b : {SB_HORZ, SB_VERT}) {
        if (bar != SB_BOTH && bar != b) continue;
        if (SkinBar* sb = BarOf(widget, b)) {
            f(sb);
            any = true;
        }
    }
    return any;
}

// The system's bars of a widget that is not attached (a scroll area's own).
QScrollBar* PlainBar(QWidget* widget, int bar) {
    auto* area = qobject_cast<QAbstractScrollArea*>(widget);
    if (!area) return nullptr;
    return bar == SB_VERT ? area->verticalScrollBar() : area->horizontalScrollBar();
}

QScrollBar* AnyBar(QWidget* widget, int bar) {
    if (SkinBar* sb = BarOf(widget, bar)) return sb;
    return PlainBar(widget, bar);
}

}  // namespace

bool AttachSkinScrollBars(QWidget* widget, ScrollPartPainter painter,
                          ScrollRequestHandler requests) {
    if (!widget || StateOf(widget)) return false;
    auto* state = new SkinBars(widget, std::move(painter), std::move(requests));
    widget->setProperty(kProperty, QVariant::fromValue<QObject*>(state));
    return true;
}

bool HasSkinScrollBars(QWidget* widget) {
    return StateOf(widget) != nullptr;
}

QWidget* SkinScrollBarWidget(QWidget* widget, int bar) {
    return BarOf(widget, bar);
}

int SkinScrollBarExtent(QWidget* widget, int bar) {
    SkinBar* sb = BarOf(widget, bar);
    return sb && sb->isVisibleTo(widget) ? sb->Thickness() : 0;
}

bool SetScrollBarStyle(QWidget* widget, int bar, int style) {
    return ForBars(widget, bar, [&](SkinBar* sb) {
        sb->style = style;
        sb->updateGeometry();
        sb->update();
    });
}

bool SetScrollBarSize(QWidget* widget, int bar, int a, int b) {
    if (a == 0 || b == 0 || a < -8 || a > 256 || b < -8 || b > 256) return false;
    const bool ok = ForBars(widget, bar, [&](SkinBar* sb) {
        sb->arrow = std::abs(a);
        sb->m_thickness = std::abs(b);
        sb->updateGeometry();
        if (sb->orientation() == Qt::Vertical) {
            sb->setFixedWidth(sb->m_thickness);
        } else {
            sb->setFixedHeight(sb->m_thickness);
        }
    });
    if (SkinBars* s = StateOf(widget)) s->Place();
    return ok;
}

bool SetMinThumbSize(QWidget* widget, int bar, int size) {
    return ForBars(widget, bar, [&](SkinBar* sb) {
        sb->minThumb = size < 0 ? kDefaultMinThumb : size;
        sb->update();
    });
}

bool ShowScrollBar(QWidget* widget, int bar, bool show) {
    SkinBars* s = StateOf(widget);
    if (!s) {
        auto* area = qobject_cast<QAbstractScrollArea*>(widget);
        if (!area) return false;
        const auto policy = show ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
        if (bar == SB_VERT || bar == SB_BOTH) area->setVerticalScrollBarPolicy(policy);
        if (bar == SB_HORZ || bar == SB_BOTH) area->setHorizontalScrollBarPolicy(policy);
        return true;
    }
    const bool ok = ForBars(widget, bar, [&](SkinBar* sb) {
        if (s->scrollArea) {
            auto* area = static_cast<QAbstractScrollArea*>(widget);
            const auto policy = show ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
            if (sb->orientation() == Qt::Vertical) {
                area->setVerticalScrollBarPolicy(policy);
            } else {
                area->setHorizontalScrollBarPolicy(policy);
            }
        } else {
            sb->setVisible(show);
        }
    });
    s->Place();
    return ok;
}

bool EnableScrollBar(QWidget* widget, int bar, UINT arrows) {
    if (!StateOf(widget)) {
        bool any = false;
        for (int b : {SB_HORZ, SB_VERT}) {
            if (bar != SB_BOTH && bar != b) continue;
            if (QScrollBar* sb = PlainBar(widget, b)) {
                sb->setEnabled(arrows != ESB_DISABLE_BOTH);
                any = true;
            }
        }
        return any;
    }
    return ForBars(widget, bar, [&](SkinBar* sb) {
        sb->disabledArrows = arrows;
        sb->update();
    });
}

bool GetScrollInfo(QWidget* widget, int bar, SCROLLINFO& info) {
    QScrollBar* sb = AnyBar(widget, bar);
    if (!sb) return false;
    const int page = sb->pageStep();
    if (info.fMask & SIF_RANGE) {
        info.nMin = sb->minimum();
        info.nMax = sb->maximum() + std::max(0, page - 1);
    }
    if (info.fMask & SIF_PAGE) info.nPage = static_cast<UINT>(page);
    if (info.fMask & SIF_POS) info.nPos = sb->value();
    if (info.fMask & SIF_TRACKPOS) info.nTrackPos = sb->sliderPosition();
    return true;
}

int SetScrollInfo(QWidget* widget, int bar, const SCROLLINFO& info, bool redraw) {
    QScrollBar* sb = AnyBar(widget, bar);
    if (!sb) return 0;
    SCROLLINFO cur;
    GetScrollInfo(widget, bar, cur);
    if (info.fMask & SIF_RANGE) {
        cur.nMin = info.nMin;
        cur.nMax = std::max(info.nMin, info.nMax);
    }
    if (info.fMask & SIF_PAGE) cur.nPage = info.nPage;
    if (info.fMask & SIF_POS) cur.nPos = info.nPos;
    const int page =
        static_cast<int>(std::min<UINT>(cur.nPage, static_cast<UINT>(cur.nMax - cur.nMin + 1)));
    // Largest position: nMax - nPage + 1.
    const int top = std::max(cur.nMin, cur.nMax - std::max(page, 1) + 1);
    const QSignalBlocker quiet(sb);
    sb->setRange(cur.nMin, top);
    sb->setPageStep(std::max(page, 1));
    sb->setValue(std::clamp(cur.nPos, cur.nMin, top));
    if (redraw) sb->update();
    return sb->value();
}

int GetScrollPos(QWidget* widget, int bar) {
    QScrollBar* sb = AnyBar(widget, bar);
    return sb ? sb->value() : 0;
}

int SetScrollPos(QWidget* widget, int bar, int pos, bool redraw) {
    QScrollBar* sb = AnyBar(widget, bar);
    if (!sb) return 0;
    const int old = sb->value();
    const QSignalBlocker quiet(sb);
    sb->setValue(std::clamp(pos, sb->minimum(), sb->maximum()));
    if (redraw) sb->update();
    return old;
}

bool GetScrollRange(QWidget* widget, int bar, int& minimum, int& maximum) {
    SCROLLINFO info;
    info.fMask = SIF_RANGE;
    if (!GetScrollInfo(widget, bar, info)) return false;
    minimum = info.nMin;
    maximum = info.nMax;
    return true;
}

bool SetScrollRange(QWidget* widget, int bar, int minimum, int maximum, bool redraw) {
    SCROLLINFO info;
    info.fMask = SIF_RANGE;
    info.nMin = minimum;
    info.nMax = maximum;
    return AnyBar(widget, bar) && (SetScrollInfo(widget, bar, info, redraw), true);
}

void DrawScrollPartFromGrid(QPainter& painter, const QImage& grid, const NMCSBCUSTOMDRAW& nm) {
    if (grid.isNull() || nm.rect.IsEmpty()) return;
    const int cw = grid.width() / 4;
    const int ch = grid.height() / 6;
    const int col = (nm.state & 4) ? 3 : (nm.state & 0x10) ? 2 : (nm.state & 8) ? 1 : 0;
    int row = 2;
    switch (nm.part) {
        case ScrollBarPart::UpArrow:
            row = 0;
            break;
        case ScrollBarPart::DownArrow:
            row = 1;
            break;
        case ScrollBarPart::Thumb:
            row = 3;
            break;
        case ScrollBarPart::Corner:
            row = 5;
            break;
        default:
            row = 2;
            break;
    }
    const bool horizontal = nm.bar == SB_HORZ;
    auto cell = [&](int r) {
        QImage c = grid.copy(col * cw, r * ch, cw, ch);
        if (horizontal) c = c.transformed(QTransform().rotate(-90));
        return c;
    };
    const QRect dest = ToQRect(nm.rect);
    if (nm.part != ScrollBarPart::Thumb) {
        painter.drawImage(dest, cell(row));
        return;
    }
    // The thumb: two-pixel ends kept, the middle stretched, the grip centred.
    const QImage thumb = cell(3);
    const QImage grip = cell(4);
    const int tw = thumb.width(), th = thumb.height();
    if (!horizontal) {
        painter.drawImage(QRect(dest.left(), dest.top(), dest.width(), 2), thumb,
                          QRect(0, 0, tw, 2));
        painter.drawImage(QRect(dest.left(), dest.top() + 2, dest.width(), dest.height() - 4),
                          thumb, QRect(0, 2, tw, th - 4));
        painter.drawImage(QRect(dest.left(), dest.bottom() - 1, dest.width(), 2), thumb,
                          QRect(0, th - 2, tw, 2));
        if (dest.height() >= 14) {
            const int gy = dest.top() + (dest.height() - 10) / 2;
            painter.drawImage(QRect(dest.left(), gy, dest.width(), 10), grip,
                              QRect(0, (grip.height() - 10) / 2, grip.width(), 10));
        }
    } else {
        painter.drawImage(QRect(dest.left(), dest.top(), 2, dest.height()), thumb,
                          QRect(0, 0, 2, th));
        painter.drawImage(QRect(dest.left() + 2, dest.top(), dest.width() - 4, dest.height()),
                          thumb, QRect(2, 0, tw - 4, th));
        painter.drawImage(QRect(dest.right() - 1, dest.top(), 2, dest.height()), thumb,
                          QRect(tw - 2, 0, 2, th));
        if (dest.width() >= 14) {
            const int gx = dest.left() + (dest.width() - 10) / 2;
            painter.drawImage(QRect(gx, dest.top(), 10, dest.height()), grip,
                              QRect((grip.width() - 10) / 2, 0, 10, grip.height()));
        }
    }
}

}  // namespace vm
