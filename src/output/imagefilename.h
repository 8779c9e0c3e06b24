#pragma once

#include <string>
#include <string_view>

#include "output/imagetypes.h"

namespace quorvel {

// The file of a capture: the capture folder with a "/" appended unless it
// already ends in one, the axis label, the time stamp ("-yyyymmmdd-hhmm")
// and the extension of `type`. Captures within one minute share a name
// (WriteNewFile numbers the later ones).
std::string CaptureFileName(std::string_view folder, std::string_view label,
                            std::string_view stamp, ImageType type);

// The file types the Save As dialog lists, as "Description|pattern" pairs.
inline constexpr std::string_view kSavePictureFilter =
    "JPEG Image File (*.jpg)|*.jpg|GIF Image File (*.gif)|*.gif|Bitmap File (*.bmp)|*.bmp";

// The entry (from 1) of kSavePictureFilter that the Save As dialog starts
// with for `type`. PNG has no entry of its own: its 4 is one beyond the
// list, which leaves the choice to the dialog.
int SavePictureFilterIndex(ImageType type);

}  // namespace quorvel
