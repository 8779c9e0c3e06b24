#pragma once

#include <string_view>

namespace quorvel {

// The file type of written images, taken from the four type buttons.
enum class ImageType { Bmp, Jpeg, Gif, Png };

// The users of the image-size rule, each with its own "Applies to..." switch.
enum class OutputTarget { CapturedImages, WebImage, Clipboard, Printer };

// The type of the checked type button, in the precedence the web image's
// name follows too: JPEG, then GIF, then BMP; PNG when none of those is
// checked. (A settings file may check several buttons of the group, or none.)
ImageType ImageTypeFromButtons(bool jpegChecked, bool gifChecked, bool bmpChecked);

// ".bmp", ".jpg", ".gif" or ".png".
std::string_view ImageExtension(ImageType type);

// JPEG quality of image files (captures, Save As) and of the web image.
inline constexpr int kFileJpegQuality = 90;
inline constexpr int kWebJpegQuality = 100;

}  // namespace quorvel
