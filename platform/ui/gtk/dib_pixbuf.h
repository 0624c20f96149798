// Pictures from a module's resources (.bmp and .ico file bytes) as GdkPixbufs.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <stddef.h>

namespace vexa::ui {

// Uncompressed 1/4/8/24/32-bit bitmaps. Null for anything else or a damaged file.
GdkPixbuf* pixbufFromBitmapFile(const unsigned char* data, size_t size);

// The largest image of an icon file (32-bit images with alpha). Null when none is usable.
GdkPixbuf* pixbufFromIconFile(const unsigned char* data, size_t size);

}  // namespace vexa::ui
