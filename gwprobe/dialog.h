// Dialog 102, the checker's one window, in GTK 3: its template in dialog units, their
// conversion to pixels by the dialog font's base units, the dialog's run and the program's
// message box. The texts are UTF-8, as GTK takes them.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace gwprobe {

// A rectangle in dialog units or in pixels.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// The dialog font's average character width and character height in pixels: four
// horizontal and eight vertical dialog units.
struct BaseUnits {
  int horizontal = 0;
  int vertical = 0;
  bool operator==(const BaseUnits&) const = default;
};

struct Control {
  const char* text;
  Rect rect;
};

// The template of dialog 102.
inline constexpr char kDialogTitle[] = "PG 연결상태 확인";
inline constexpr Rect kDialogClient = {0, 0, 187, 93};
// Left-aligned static texts, their blanks included.
inline constexpr std::array<Control, 2> kStaticTexts = {{
    {"시스템이 Varnet 지불 게이트웨이와  통신이 가능한  ", {11, 19, 171, 8}},
    {"지의 여부를 테스트합니다. 확인 버튼을 눌러주십시오  ", {11, 34, 165, 8}},
}};
// The default push button, IDOK.
inline constexpr Control kOkButton = {"확인", {67, 57, 50, 14}};

// The dialog font: a Hangul face in the place of the template's 8-point sans serif.
inline constexpr char kDialogFontFamily[] = "NanumGothic";
inline constexpr int kDialogFontPoints = 9;

// Base units of the dialog font in `context`, reckoned as the platform of the template did:
// the width of the 52 Latin letters averaged and rounded, and the font's ascent plus descent.
BaseUnits MeasureBaseUnits(PangoContext* context);

// `units` in pixels, each value rounded to the nearest (MapDialogRect).
Rect ToPixels(Rect units, BaseUnits base);

// The pixel size of one line of `text` in the dialog font (x and y are 0).
Rect TextExtent(PangoContext* context, const char* text);

// Shows dialog 102 and runs GTK's main loop until the dialog ends. Escape and the close box
// end it without a test. OK (the button, or Enter) calls `test` while the dialog stays on
// screen, shows the message it returns with ShowMessageBox and ends the dialog once the box is
// dismissed; the test runs at most once. GTK must have been initialised.
void RunDialog(const std::function<std::string()>& test);

// Writes `text` and a line end on standard output, for whoever watches the program, then shows
// it in a modal message box over `parent` (null for none) with the warning icon, an OK button
// and the program's name as caption, and returns when the box is dismissed.
void ShowMessageBox(GtkWindow* parent, std::string_view text);

}  // namespace gwprobe
