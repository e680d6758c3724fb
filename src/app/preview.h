#pragma once

#include "app/picture_box.h"
#include "images/pixel_decoders.h"

namespace kelvot::app {

QImage ToQImage(const ImageState& state);

// Decodes the entry's picture, or its mask, no larger than the box can show it (a picture larger than
// the box is decoded at every n-th row and column), and draws it fitted and centred where the whole
// picture goes. False, with the box left as it was, when there is nothing to show.
bool ShowPicture(PictureBox* box, PictureKind kind, EntryBytes entry);
bool ShowMask(PictureBox* box, PictureKind kind, EntryBytes entry);

} // namespace kelvot::app
