#pragma once

// Where every gallery picture goes: each is written to the output folder, kept for the contact
// sheet, and the marked-up text drawn while its window was rendered is checked for words that
// do not show (outside the box that clips them, or left over at the end of a line).

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

namespace vm::gallery {

// The folder the pictures go to; set once at start.
void SetOutputFolder(const QString& folder);
// Put before every file name written from now on.
void SetNamePrefix(const QString& prefix);
// The file names written so far, in order.
const std::vector<QString>& Pictures();

// The window as the screen shows it, children included, cut to its outline, at the window's
// own pixel ratio; its text is checked while it renders.
QImage RenderWindow(QWidget* w);
// The same through QWidget::grab (for windows that are not skinned).
QImage GrabWindow(QWidget* w);

// Writes `image` as `name`, adds it to the contact sheet and reports the text found cut off
// since the last picture. Returns 1 when the picture could not be written, else 0.
int SavePicture(const QImage& image, const QString& name);

// Pictures written by another process (the scale-2 pass) join the contact sheet.
void AddToContactSheet(const QString& name);
// One picture of every render, each under its name. Returns 1 when it could not be written.
int WriteContactSheet(const QString& name);

// Pieces of text found cut off so far (each reported on standard error).
int ClippedTextCount();

}  // namespace vm::gallery
