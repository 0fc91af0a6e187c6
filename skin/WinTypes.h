#pragma once

// The few Win32 value types the skinned library speaks in: rectangles are left, top, right,
// bottom in client pixels (right and bottom exclusive), colours are 0x00BBGGRR.

#include <algorithm>
#include <cstdint>

namespace vm {

using COLORREF = std::uint32_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Wherever a colour may be omitted.
constexpr COLORREF kNoColor = 0x010101;

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GetGValue(COLORREF c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

struct POINT {
    int x = 0;
    int y = 0;
    friend bool operator==(const POINT&, const POINT&) = default;
};

struct SIZE {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const SIZE&, const SIZE&) = default;
};

struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(POINT pt) const {
        return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom;
    }
    void Offset(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    void Deflate(int l, int t, int r, int b) {
        left += l;
        top += t;
        right -= r;
        bottom -= b;
    }
    friend bool operator==(const RECT&, const RECT&) = default;
};

// The intersection, or an all-zero rectangle when they do not meet.
inline RECT IntersectRect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return r.IsEmpty() ? RECT{} : r;
}
inline bool RectsMeet(const RECT& a, const RECT& b) {
    return !IntersectRect(a, b).IsEmpty();
}

constexpr LPARAM MAKELPARAM(int lo, int hi) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(
        (lo & 0xFFFF) | (static_cast<std::uint32_t>(hi & 0xFFFF) << 16)));
}
constexpr WPARAM MAKEWPARAM(int lo, int hi) {
    return static_cast<WPARAM>(static_cast<std::uint32_t>(
        (lo & 0xFFFF) | (static_cast<std::uint32_t>(hi & 0xFFFF) << 16)));
}
constexpr int LOWORD(std::uintptr_t v) {
    return static_cast<int>(v & 0xFFFF);
}
constexpr int HIWORD(std::uintptr_t v) {
    return static_cast<int>((v >> 16) & 0xFFFF);
}
// Signed coordinates packed into an lParam (negative positions survive).
constexpr int GET_X_LPARAM(LPARAM l) {
    return static_cast<std::int16_t>(l & 0xFFFF);
}
constexpr int GET_Y_LPARAM(LPARAM l) {
    return static_cast<std::int16_t>((l >> 16) & 0xFFFF);
}
constexpr int GET_WHEEL_DELTA_WPARAM(WPARAM w) {
    return static_cast<std::int16_t>((w >> 16) & 0xFFFF);
}

}  // namespace vm

namespace vm {

// The text metrics the library uses (pixels).
struct TEXTMETRIC {
    int tmHeight = 0;
    int tmAscent = 0;
    int tmDescent = 0;
    int tmAveCharWidth = 0;
    int tmMaxCharWidth = 0;
    int tmExternalLeading = 0;
};

}  // namespace vm
