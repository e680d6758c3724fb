#pragma once

#include "app/picture_box.h"
#include "images/pixel_decoders.h"

namespace kelvot::app {

QImage ToQImage(const ImageState& state);
// Shows the decoded picture or mask in the box, fitted and centred.
void DrawPreview(PictureBox* box, const ImageState& state);

} // namespace kelvot::app
