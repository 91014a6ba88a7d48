#include "ui/gtk/privacy_icons.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace velmora {
namespace {

struct Colour {
  double r, g, b;
};
constexpr Colour kGreen{0.18, 0.55, 0.20};
constexpr Colour kOrange{0.90, 0.45, 0.00};
constexpr Colour kBlue{0.13, 0.37, 0.75};
constexpr Colour kRed{0.80, 0.10, 0.10};

void set(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

// A padlock on the 16-pixel grid: the body, and the shackle closed or raised open.
void draw_lock(cairo_t* cr, Colour colour, bool open) {
  set(cr, colour);
  cairo_set_line_width(cr, 2.0);
  const double lift = open ? 3.0 : 0.0;
  cairo_arc(cr, 8.0, 6.0 - lift, 3.5, M_PI, 2 * M_PI);
  cairo_move_to(cr, 4.5, 6.0 - lift);
  cairo_line_to(cr, 4.5, open ? 5.0 : 8.0);
  cairo_move_to(cr, 11.5, 6.0 - lift);
  cairo_line_to(cr, 11.5, 8.0);
  cairo_stroke(cr);
  cairo_rectangle(cr, 2.5, 8.0, 11.0, 7.0);
  cairo_fill(cr);
}

void draw_cross(cairo_t* cr) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 1.6);
  cairo_move_to(cr, 5.5, 9.5);
  cairo_line_to(cr, 10.5, 13.5);
  cairo_move_to(cr, 10.5, 9.5);
  cairo_line_to(cr, 5.5, 13.5);
  cairo_stroke(cr);
}

void draw_envelope(cairo_t* cr) {
  set(cr, kBlue);
  cairo_rectangle(cr, 1.5, 4.0, 13.0, 9.0);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 1.4);
  cairo_move_to(cr, 2.0, 4.5);
  cairo_line_to(cr, 8.0, 9.5);
  cairo_line_to(cr, 14.0, 4.5);
  cairo_stroke(cr);
}

// Cairo keeps premultiplied native-endian ARGB; a pixbuf wants straight RGBA bytes.
GdkPixbuf* to_pixbuf(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kMarkSize, kMarkSize);
  const unsigned char* src = cairo_image_surface_get_data(surface);
  const int src_stride = cairo_image_surface_get_stride(surface);
  guchar* dst = gdk_pixbuf_get_pixels(pixbuf);
  const int dst_stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < kMarkSize; ++y) {
    for (int x = 0; x < kMarkSize; ++x) {
      std::uint32_t argb;
      std::memcpy(&argb, src + y * src_stride + 4 * x, 4);
      const unsigned a = argb >> 24;
      guchar* out = dst + y * dst_stride + 4 * x;
      for (int channel = 0; channel < 3; ++channel) {
        const unsigned value = (argb >> (16 - 8 * channel)) & 0xFF;
        out[channel] = static_cast<guchar>(a == 0 ? 0 : std::min(255u, value * 255 / a));
      }
      out[3] = static_cast<guchar>(a);
    }
  }
  return pixbuf;
}

}  // namespace

GdkPixbuf* draw_privacy_mark(LinePrivacy privacy) {
  if (privacy == LinePrivacy::None) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kMarkSize, kMarkSize);
  cairo_t* cr = cairo_create(surface);
  switch (privacy) {
    case LinePrivacy::Sealed: draw_lock(cr, kGreen, false); break;
    case LinePrivacy::Plain: draw_lock(cr, kOrange, true); break;
    case LinePrivacy::Direct: draw_envelope(cr); break;
    case LinePrivacy::OtherKey:
      draw_lock(cr, kRed, false);
      draw_cross(cr);
      break;
    case LinePrivacy::None: break;
  }
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = to_pixbuf(surface);
  cairo_surface_destroy(surface);
  return pixbuf;
}

}  // namespace velmora
