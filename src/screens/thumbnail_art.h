#pragma once

// The picture a browsing screen shows for a thumbnail: the 64 x 64 thumbnail
// scaled into the size of the element that shows it, then cut to the shape
// of that element's own skin picture (a frame), which is drawn over it with
// keyed accumulate: where the frame holds the key the result is the key
// (transparent), where it is opaque the thumbnail stays and is marked
// opaque, and where it is see-through the frame's pixel replaces the
// thumbnail's. Draw the result with a keying blitter ("alpha" 0 or more) so
// that the cut-away corners show what lies below.

#include "skin/bitmap.h"
#include "skin/geometry.h"

namespace lv {

class Surface;

// The empty picture when the size or the thumbnail is empty. Without a
// frame every pixel of the scaled thumbnail is marked opaque, so that no
// photograph pixel reads as the key.
Picture thumbnail_art(const Surface& thumbnail, Size size, const Picture& frame);

}  // namespace lv
