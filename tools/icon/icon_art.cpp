#include "tools/icon/icon_art.h"

#include <algorithm>
#include <cmath>

namespace {

// The drawing works in a unit square (y down); one pixel is 1/size of it.
struct Point {
  double x, y;
};

struct Color {
  double r, g, b;
};

// A colour with premultiplied alpha, the form in which layers are stacked.
struct Paint {
  double r = 0, g = 0, b = 0, a = 0;
};

struct Card {
  Point centre;
  double angle;       // radians, clockwise on screen
  Color top, bottom;  // vertical gradient along the card
};

constexpr double kPi = 3.14159265358979323846;

// Every card has the shape of a playing card, fanned about a point below the icon.
constexpr Point kCardHalf = {0.215, 0.30};
constexpr double kCardRadius = 0.06;
constexpr Point kFanPivot = {0.5, 1.18};
constexpr double kFanReach = 0.66;
constexpr double kFanAngle = 15 * kPi / 180;

constexpr Color kWhite = {1, 1, 1};
constexpr Color kShadow = {0.05, 0.08, 0.15};
constexpr double kShadowAlpha = 0.32;
constexpr Point kShadowOffset = {0.012, 0.022};
constexpr double kShadowBlur = 0.035;
constexpr double kRimWidth = 0.018;

// The "T" on the front card, relative to the card's centre: a bar and a stem.
constexpr double kStrokeHalf = 0.043;
constexpr double kStrokeRadius = 0.03;
constexpr Point kBarOffset = {0, -0.135};
constexpr Point kBarHalf = {0.135, kStrokeHalf};
constexpr Point kStemOffset = {0, 0.045};
constexpr Point kStemHalf = {kStrokeHalf, 0.185};

Color mix(Color a, Color b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Color hexColor(uint32_t rgb) {
  return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

// The card `angle` away from upright, its centre kFanReach above the fan's pivot.
Card fanCard(double angle, uint32_t top, uint32_t bottom) {
  Point centre = {kFanPivot.x + kFanReach * std::sin(angle),
                  kFanPivot.y - kFanReach * std::cos(angle)};
  return {centre, angle, hexColor(top), hexColor(bottom)};
}

// The point in the card's own frame: origin at its centre, axes along its edges.
Point inCardFrame(Point p, const Card& card) {
  double dx = p.x - card.centre.x, dy = p.y - card.centre.y;
  double c = std::cos(card.angle), s = std::sin(card.angle);
  return {c * dx + s * dy, -s * dx + c * dy};
}

// Signed distance from p to a rounded rectangle centred on the origin: negative inside.
double roundedBoxDistance(Point p, Point half, double radius) {
  double qx = std::fabs(p.x) - half.x + radius, qy = std::fabs(p.y) - half.y + radius;
  double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

// An edge moved to the nearest pixel boundary: upright shapes then stay sharp at small sizes.
double snapped(double value, double pixel) {
  return std::round(value / pixel) * pixel;
}

// Signed distance from p to the box from `centre` +- `half` with its edges moved to pixel
// boundaries, then shrunk by `inset` on every side.
double snappedBoxDistance(Point p, Point centre, Point half, double radius, double inset,
                          double pixel) {
  double left = snapped(centre.x - half.x, pixel) + inset;
  double right = snapped(centre.x + half.x, pixel) - inset;
  double top = snapped(centre.y - half.y, pixel) + inset;
  double bottom = snapped(centre.y + half.y, pixel) - inset;
  Point middle = {(left + right) / 2, (top + bottom) / 2};
  return roundedBoxDistance({p.x - middle.x, p.y - middle.y},
                            {(right - left) / 2, (bottom - top) / 2}, radius - inset);
}

// The letter on the upright card, its strokes on pixel boundaries like the card's edges.
double letterDistance(Point p, Point cardCentre, double pixel) {
  Point bar = {cardCentre.x + kBarOffset.x, cardCentre.y + kBarOffset.y};
  Point stem = {cardCentre.x + kStemOffset.x, cardCentre.y + kStemOffset.y};
  return std::min(snappedBoxDistance(p, bar, kBarHalf, kStrokeRadius, 0, pixel),
                  snappedBoxDistance(p, stem, kStemHalf, kStrokeRadius, 0, pixel));
}

// Area of the pixel an edge at signed distance d covers, for a pixel of `pixel` units.
double coverage(double d, double pixel) {
  return std::clamp(0.5 - d / pixel, 0.0, 1.0);
}

void paintOver(Paint* under, Color color, double alpha) {
  under->r = color.r * alpha + under->r * (1 - alpha);
  under->g = color.g * alpha + under->g * (1 - alpha);
  under->b = color.b * alpha + under->b * (1 - alpha);
  under->a = alpha + under->a * (1 - alpha);
}

// Signed distance from p to the card shrunk by `inset` on every side. The upright card keeps
// its edges on pixel boundaries; the turned ones cannot.
double cardDistance(Point p, const Card& card, double inset, double pixel) {
  if (card.angle == 0)
    return snappedBoxDistance(p, card.centre, kCardHalf, kCardRadius, inset, pixel);
  Point half = {kCardHalf.x - inset, kCardHalf.y - inset};
  return roundedBoxDistance(inCardFrame(p, card), half, kCardRadius - inset);
}

// Shadow, white rim, gradient face and, on the upright front card, the letter.
void paintCard(Paint* paint, Point p, const Card& card, double pixel) {
  Point shadowed = {p.x - kShadowOffset.x, p.y - kShadowOffset.y};
  double blur = std::max(kShadowBlur, pixel);
  double shade = std::clamp(0.5 - cardDistance(shadowed, card, 0, pixel) / (2 * blur), 0.0, 1.0);
  paintOver(paint, kShadow, kShadowAlpha * shade * shade * (3 - 2 * shade));

  paintOver(paint, kWhite, coverage(cardDistance(p, card, 0, pixel), pixel));
  double t = std::clamp((inCardFrame(p, card).y + kCardHalf.y) / (2 * kCardHalf.y), 0.0, 1.0);
  Color face = mix(card.top, card.bottom, t);
  // A whole number of pixels on the upright card, so that its rim is even all round.
  double rim = card.angle == 0 ? snapped(kRimWidth, pixel) : kRimWidth;
  paintOver(paint, face, coverage(cardDistance(p, card, rim, pixel), pixel));
  if (card.angle == 0)
    paintOver(paint, kWhite, coverage(letterDistance(p, card.centre, pixel), pixel));
}

uint8_t toByte(double value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

}  // namespace

Image drawIcon(int size) {
  // Back to front.
  const Card cards[] = {
      fanCard(-kFanAngle, 0xFF8A65, 0xE0434B),
      fanCard(kFanAngle, 0xFFD166, 0xF08C00),
      fanCard(0, 0x2EC4B6, 0x1D4E89),
  };
  Image image;
  image.size = size;
  image.rgba.reserve(static_cast<size_t>(size) * size * 4);
  double pixel = 1.0 / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      Point p = {(x + 0.5) * pixel, (y + 0.5) * pixel};
      Paint paint;
      for (const Card& card : cards)
        paintCard(&paint, p, card, pixel);
      // Stored without premultiplication, as PNG wants it.
      double a = paint.a > 0 ? paint.a : 1;
      image.rgba.insert(image.rgba.end(), {toByte(paint.r / a), toByte(paint.g / a),
                                           toByte(paint.b / a), toByte(paint.a)});
    }
  }
  return image;
}
