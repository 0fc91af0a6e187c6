#pragma once

// Hit areas of the main window's slanted buttons, in client pixels. They follow the faces
// drawn in art/png214-217 (change both together).

#include <span>

#include "skin/WinTypes.h"

namespace vm::res {

inline constexpr POINT kUploadButton[] = {{191, 56}, {260, 56}, {252, 80}, {183, 80}};         // 12
inline constexpr POINT kDownloadButton[] = {{191, 85}, {260, 85}, {252, 109}, {183, 109}};     // 13
inline constexpr POINT kUpdateButton[] = {{232, 479}, {349, 479}, {337, 520}, {220, 520}};     // 17
inline constexpr POINT kChangeLogButton[] = {{276, 527}, {366, 527}, {356, 550}, {266, 550}};  // 18
inline constexpr POINT kRunGameButton[] = {{476, 472}, {644, 472}, {644, 518}, {449, 518}};    // 19
inline constexpr POINT kAcceleratorButton[] = {
    {445, 527}, {532, 527}, {532, 550}, {432, 550}};  // 22

// The polygon of a main-window control id; empty for a button without one.
inline std::span<const POINT> MainWindowPolygon(int id) {
    switch (id) {
        case 12:
            return kUploadButton;
        case 13:
            return kDownloadButton;
        case 17:
            return kUpdateButton;
        case 18:
            return kChangeLogButton;
        case 19:
            return kRunGameButton;
        case 22:
            return kAcceleratorButton;
        default:
            return {};
    }
}

}  // namespace vm::res
