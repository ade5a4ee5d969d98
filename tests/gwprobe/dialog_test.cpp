// Dialog 102's geometry: dialog units to pixels, and the template's texts in the dialog font
// within their rectangles. Measured with Pango alone, so no display is needed.
#include "dialog.h"

#include <pango/pangocairo.h>

#include <gtest/gtest.h>

#include <memory>

namespace gwprobe {
namespace {

TEST(DialogUnits, ConvertWithTheFontsBaseUnitsRoundedToTheNearest) {
  struct Case {
    Rect units;
    BaseUnits base;
    Rect pixels;
  };
  // {6, 13} are the base units of the template's own 8-point font.
  const Case cases[] = {
      {kDialogClient, {6, 13}, {0, 0, 281, 151}},
      {kOkButton.rect, {6, 13}, {101, 93, 75, 23}},
      {kStaticTexts[0].rect, {6, 13}, {17, 31, 257, 13}},
      {kStaticTexts[1].rect, {7, 15}, {19, 64, 289, 15}},
      {{1, 1, 2, 4}, {2, 4}, {1, 1, 1, 2}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ToPixels(c.units, c.base), c.pixels) << c.units.x << "," << c.units.y;
}

class DialogFont : public ::testing::Test {
 protected:
  DialogFont()
      : context_(pango_font_map_create_context(pango_cairo_font_map_get_default()),
                 g_object_unref) {}
  PangoContext* context() const { return context_.get(); }

 private:
  std::unique_ptr<PangoContext, decltype(&g_object_unref)> context_;
};

TEST_F(DialogFont, TextsFitTheirRectangles) {
  const BaseUnits base = MeasureBaseUnits(context());
  for (const Control& control : {kStaticTexts[0], kStaticTexts[1], kOkButton}) {
    const Rect text = TextExtent(context(), control.text);
    const Rect room = ToPixels(control.rect, base);
    EXPECT_LE(text.width, room.width) << control.text;
    EXPECT_LE(text.height, room.height) << control.text;
  }
}

TEST_F(DialogFont, DrawsHangulWithoutMissingGlyphs) {
  const std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> font(
      pango_font_description_new(), pango_font_description_free);
  pango_font_description_set_family(font.get(), kDialogFontFamily);
  pango_font_description_set_size(font.get(), kDialogFontPoints * PANGO_SCALE);
  for (const Control& control : {kStaticTexts[0], kStaticTexts[1], kOkButton}) {
    const std::unique_ptr<PangoLayout, decltype(&g_object_unref)> layout(
        pango_layout_new(context()), g_object_unref);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_text(layout.get(), control.text, -1);
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout.get()), 0) << control.text;
  }
}

}  // namespace
}  // namespace gwprobe
