#pragma once

#include "app/picture_box.h"
#include "images/pixel_decoders.h"

namespace kelvot::app {

QImage ToQImage(const ImageState& state);

// Decodes the entry's picture, or its mask, no larger than the box can show it (a picture larger than
// the box is decoded at every n-th row and column), and draws it fitted and centred where the whole
// picture goes. With `checkerboard`, a picture whose format carries transparency is drawn over a
// checkerboard, as its PNG export's alpha has it. False, with the box left as it was, when there is
// nothing to show.
bool ShowPicture(PictureBox* box, PictureKind kind, EntryBytes entry, bool checkerboard = false);
bool ShowMask(PictureBox* box, PictureKind kind, EntryBytes entry);

// After a zoom: decodes the box's picture again at every row and column its scale shows, when the
// decode it holds is coarser.
void SharpenPicture(PictureBox* box, PictureKind kind, EntryBytes entry, bool checkerboard);

} // namespace kelvot::app
