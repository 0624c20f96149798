#include "dib_pixbuf.h"

#include <cstdint>
#include <cstring>

namespace vexa::ui {
namespace {

uint32_t word32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t word16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Decodes a device-independent bitmap: header, palette, pixels. height is the image's own
// (an icon's header counts its mask too). Every offset is checked against size.
GdkPixbuf* decodeDib(const unsigned char* dib, size_t size, const unsigned char* pixels,
                     size_t pixelBytes, int32_t height, bool useAlpha) {
  if (size < 40) return nullptr;
  uint32_t headerSize = word32(dib);
  int32_t width = static_cast<int32_t>(word32(dib + 4));
  uint16_t bits = word16(dib + 14);
  uint32_t compression = word32(dib + 16);
  uint32_t colours = word32(dib + 32);
  if (headerSize < 40 || headerSize > size || compression != 0) return nullptr;
  if (width <= 0 || width > 4096 || height == 0 || height > 4096 || height < -4096) return nullptr;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return nullptr;
  bool topDown = height < 0;
  int rows = topDown ? -height : height;

  const unsigned char* palette = dib + headerSize;
  if (bits <= 8) {
    uint32_t maxColours = 1u << bits;
    if (colours == 0 || colours > maxColours) colours = maxColours;
    if (headerSize + colours * 4 > size) return nullptr;
  }
  size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  if (stride * rows > pixelBytes) return nullptr;

  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, rows);
  if (!pixbuf) return nullptr;
  guchar* out = gdk_pixbuf_get_pixels(pixbuf);
  int outStride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < rows; ++y) {
    const unsigned char* row = pixels + stride * (topDown ? y : rows - 1 - y);
    guchar* o = out + static_cast<size_t>(outStride) * y;
    for (int x = 0; x < width; ++x, o += 4) {
      unsigned char b, g, r, a = 255;
      if (bits >= 24) {
        const unsigned char* p = row + x * (bits / 8);
        b = p[0];
        g = p[1];
        r = p[2];
        if (bits == 32 && useAlpha) a = p[3];
      } else {
        unsigned index;
        if (bits == 8) index = row[x];
        else if (bits == 4) index = (row[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F;
        else index = (row[x / 8] >> (7 - x % 8)) & 1;
        if (index >= colours) index = 0;
        b = palette[index * 4];
        g = palette[index * 4 + 1];
        r = palette[index * 4 + 2];
      }
      o[0] = r;
      o[1] = g;
      o[2] = b;
      o[3] = a;
    }
  }
  return pixbuf;
}

}  // namespace

GdkPixbuf* pixbufFromBitmapFile(const unsigned char* data, size_t size) {
  if (!data || size < 14 + 40 || data[0] != 'B' || data[1] != 'M') return nullptr;
  uint32_t offset = word32(data + 10);
  if (offset < 14 + 40 || offset >= size) return nullptr;
  const unsigned char* dib = data + 14;
  int32_t height = static_cast<int32_t>(word32(dib + 8));
  return decodeDib(dib, offset - 14, data + offset, size - offset, height, false);
}

GdkPixbuf* pixbufFromIconFile(const unsigned char* data, size_t size) {
  if (!data || size < 6 || word16(data) != 0 || word16(data + 2) != 1) return nullptr;
  unsigned count = word16(data + 4);
  if (6 + count * 16u > size) return nullptr;
  GdkPixbuf* best = nullptr;
  for (unsigned i = 0; i < count; ++i) {
    const unsigned char* entry = data + 6 + i * 16;
    uint32_t bytes = word32(entry + 8);
    uint32_t offset = word32(entry + 12);
    if (offset >= size || bytes > size - offset || bytes < 40) continue;
    const unsigned char* dib = data + offset;
    if (word16(dib + 14) != 32) continue;
    uint32_t headerSize = word32(dib);
    if (headerSize < 40 || headerSize > bytes) continue;
    int32_t height = static_cast<int32_t>(word32(dib + 8)) / 2;
    GdkPixbuf* image =
        decodeDib(dib, bytes, dib + headerSize, bytes - headerSize, height, true);
    if (!image) continue;
    if (!best || gdk_pixbuf_get_width(image) > gdk_pixbuf_get_width(best)) {
      if (best) g_object_unref(best);
      best = image;
    } else {
      g_object_unref(image);
    }
  }
  return best;
}

}  // namespace vexa::ui
