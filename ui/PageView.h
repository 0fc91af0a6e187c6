#pragma once

// The seam between the window program and its web engine. The engine's libraries are large
// enough that only loading them costs a start-up its pace and tens of MB, so the view lives in
// a module of its own (velmora-pageview.so, beside the program) that CExplorer loads when a
// page is first shown. This header includes nothing of the engine.

#include <QRect>
#include <QUrl>
#include <functional>

class QWidget;

namespace vm {

class IPageView {
  public:
    using LoadHandler = std::function<void(const QUrl& url, bool ok)>;

    virtual ~IPageView() = default;
    // The view itself, a child of the parent it was made for; deleting it ends this object.
    virtual QWidget* Widget() = 0;
    virtual void SetUrl(const QUrl& url) = 0;
    virtual QUrl Url() const = 0;
    virtual bool IsLoading() const = 0;
    // Stops loading and calls the handler no more.
    virtual void Detach() = 0;
};

}  // namespace vm

// The module's one entry point: a shown view at place inside parent that reports every
// finished load to onLoad.
using VmCreatePageViewFn = vm::IPageView* (*)(QWidget* parent, const QRect& place,
                                              vm::IPageView::LoadHandler onLoad);
inline constexpr char kVmCreatePageViewSymbol[] = "VmCreatePageView";
inline constexpr char kVmPageViewModule[] = "velmora-pageview.so";
