#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

namespace quorvel {

// The program's own pictures, drawn in code: the toolbar buttons, the
// "Capture active" mark and the four style pictures of the Graph Style page.
enum class Picture {
  Start,
  Stop,
  Clear,
  Capture,
  Copy,
  Print,
  Help,
  CaptureActive,
  Line,
  Filled,
  Steps,
  Ramp,
  Program,  // the program's own icon (window and notification area)
};

// The picture at `size` logical pixels (square for the buttons and the mark;
// the style pictures are half again as wide as high).
QPixmap PicturePixmap(Picture picture, int size);
// Draws the picture at `size` pixels from the painter's origin onto
// whatever it paints on: a pixmap, an image, or a vector drawing (the
// installed icons are made this way from the same code).
void DrawPicture(QPainter& painter, Picture picture, double size);
// The picture at 24 and 48 pixels.
QIcon PictureIcon(Picture picture);

}  // namespace quorvel
