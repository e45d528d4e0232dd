// The window's layout: every visible control's place, size and font, its band, and no two controls on top of each
// other.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/virtual_toolkit.h"
#include "form/mainform.h"

using namespace tavrin;

namespace {

constexpr int any = -1;  // left open by the layout: only the band holds it

// Bands from top to bottom; the current band ends where the status line starts, and Exit stays inside the window.
const std::map<std::string, std::pair<int, int>> kBands = {
    {"drive", {120, 1815}},     {"motor", {1800, 3015}}, {"sweep", {3240, 3855}}, {"current", {4320, 4920}},
    {"status", {4920, 5295}},   {"rule", {5520, 5520}},
    {"sequencer", {5760, 6735}}, {"exit", {6360, Mainform::clientHeight}},
};

struct Place {
  const char* id;
  const char* band;
  int left, top, width, height;
  const char* font = "9.75";  // points, " bold", and a family other than MS Sans Serif; "" shows no text
};
// The arrows over the digit and supply boxes are checked with their boxes, the captions over other boxes below.
const Place kLayout[] = {
    {"Label3", "drive", any, any, any, any, "13.5 bold"}, {"txtFrekvens_DDS1", "drive", 1800, 240, 1215, 375, "12"},
    {"cmdWrite", "drive", 120, 720, any, any},            {"Label4", "drive", any, any, any, any, "13.5 bold"},
    {"txtFase_DDS2", "drive", 1800, 1200, any, any, "12"},
    {"txtDDS1(6)", "drive", 4200, 600, 495, 615, "24"},   {"txtDDS1(5)", "drive", 4680, 600, 495, 615, "24"},
    {"txtDDS1(4)", "drive", 5160, 600, 495, 615, "24"},   {"txtDDS1(3)", "drive", 5640, 600, 495, 615, "24"},
    {"txtDDS1(2)", "drive", 6120, 600, 495, 615, "24"},   {"txtDDS1(1)", "drive", 6600, 600, 495, 615, "24"},
    {"Label25", "drive", any, any, any, any, "18 bold"},  {"Label5", "drive", 7920, 720, any, any, "13.5 bold"},
    {"Pout1(1)", "drive", 9120, 600, 495, 615, "24"},     {"Pout1(0)", "drive", 9720, 600, 375, 615, "24"},
    {"Label14", "drive", any, any, any, any, "24 bold"},  {"Label13", "drive", any, any, any, any, "18 bold"},
    {"cmdStartMotor", "motor", 120, 1800, any, any},      {"Selectdir", "motor", 1800, 1800, any, any},
    {"Tracking", "motor", 120, 2640, any, any},           {"TrackFrqStp", "motor", 1800, 2640, any, any, "12"},
    {"Label12", "motor", 4560, 2280, any, any, "12 bold Verdana"}, {"Image1", "motor", 8760, 2040, 885, 855, ""},
    {"TxtSwpStart", "sweep", 1800, 3480, 1215, 375, "12"}, {"TxtSwpStop", "sweep", 3240, 3480, 1215, 375, "12"},
    {"TxtSwpStep", "sweep", 5280, 3480, 1215, 375, "12"},  {"TxtSteptime", "sweep", 6960, 3480, 1215, 375, "12"},
    {"CmdSwpStart", "sweep", 120, 3480, any, any},         {"Label1", "current", any, any, any, any, "13.5 bold"},
    {"txtDMMvalue", "current", 1800, 4320, any, any, "12"}, {"btGetCurrent", "current", 3120, 4320, any, any},
    {"ChaLogFile", "current", 4560, 4320, any, any},        {"LogFileName", "current", 5640, 4320, 5055, any},
    {"Info", "status", 120, 4920, 10575, 375, "12"},        {"Line1", "rule", 120, 5520, 10560, 0, ""},
    {"RunStimFile", "sequencer", 120, 5760, any, any},      {"Label23", "sequencer", any, any, any, any},
    {"Text1StepTime", "sequencer", 3360, 5760, any, any},   {"ChaStimFile", "sequencer", 4560, 5760, any, any},
    {"StimFileName", "sequencer", 6120, 5760, 4575, any},   {"times", "sequencer", 1800, 6480, any, any},
    {"show_count", "sequencer", 3360, 6480, any, any},      {"Label22", "sequencer", 4560, 6480, any, any},
    {"cmdExit", "exit", 9600, 6360, any, any},
};
// Captions in 9.75 pt that stand above their boxes, on the same left edge: {caption, band, box}.
const char* const kCaptions[][3] = {
    {"Label24", "motor", "TrackFrqStp"}, {"Label6", "sweep", "TxtSwpStart"},   {"Label7", "sweep", "TxtSwpStop"},
    {"Label8", "sweep", "TxtSwpStep"},   {"Label9", "sweep", "TxtSteptime"},   {"Label20", "sequencer", "times"},
    {"Label21", "sequencer", "show_count"}};

bool showsText(ControlKind k) {
  return k == ControlKind::TextBox || k == ControlKind::CommandButton || k == ControlKind::CheckBox ||
         k == ControlKind::Label;
}

std::string fontOf(const Control& c) {
  std::ostringstream s;
  s << c.font.pointSize << (c.font.bold ? " bold" : "");
  if (c.font.family != "MS Sans Serif") s << ' ' << c.font.family;
  return s.str();
}

struct LayoutTest : ::testing::Test {
  VirtualToolkit tk;
  Mainform f{tk};
};

}  // namespace

TEST_F(LayoutTest, PlacesSizesAndFontsOfEveryControl) {
  std::vector<Place> places(std::begin(kLayout), std::end(kLayout));
  for (auto [caption, band, box] : kCaptions) places.push_back({caption, band, any, any, any, any});
  std::set<std::string> listed;
  for (const Place& p : places) {
    const Control* c = f.findById(p.id);
    ASSERT_NE(c, nullptr) << p.id;
    SCOPED_TRACE(p.id);
    listed.insert(p.id);
    const char* names[] = {"left", "top", "width", "height"};
    const int actual[] = {c->left, c->top, c->width, c->height}, wanted[] = {p.left, p.top, p.width, p.height};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(wanted[i] == any || actual[i] == wanted[i]) << names[i] << " " << actual[i];
    const auto [top, bottom] = kBands.at(p.band);
    EXPECT_TRUE(c->top >= top && c->top + c->height <= bottom) << "outside its band";
    EXPECT_TRUE(c->left >= 0 && c->left + c->width <= Mainform::clientWidth) << "outside the window";
    if (*p.font) {
      EXPECT_EQ(fontOf(*c), p.font);
    }
  }
  for (auto [caption, band, id] : kCaptions) {
    const Control &c = *f.findById(caption), &box = *f.findById(id);
    EXPECT_LE(c.top + c.height, box.top) << caption << " above " << id;
    EXPECT_EQ(c.left, box.left) << caption << " above " << id;
  }
  // Every control that shows text is in the table: none can escape it.
  for (const Control& c : f.controls())
    EXPECT_TRUE(!showsText(c.kind) || listed.count(c.id())) << c.id() << " is not in the layout table";
}

TEST_F(LayoutTest, ArrowsStandOverTheirBoxesAndNothingOverlaps) {
  // Each arrow is 480 twips square, at the top or the bottom of the drive band, and centred on its box within its
  // one pixel of rounding.
  auto centre = [](const Control& c) { return c.left + c.width / 2; };
  auto expectArrows = [&](const Control& box, const Control& up, const Control& down) {
    for (auto [a, top] : {std::pair{&up, 120}, {&down, 1200}}) {
      EXPECT_NEAR(centre(*a), centre(box), 15) << a->id();
      EXPECT_EQ(std::tuple(a->top, a->width, a->height), std::tuple(top, 480, 480)) << a->id();
    }
  };
  for (int i = 1; i <= 6; ++i) expectArrows(*f.txtDDS1[i], *f.imgUp[i], *f.imgDown[i]);
  for (int i = 0; i <= 1; ++i) expectArrows(*f.Pout1[i], *f.PoutUp[i], *f.PoutDown[i]);
  // Neighbours may share one border pixel (15 twips), as the digit boxes do with each other and with their arrows;
  // nothing may cover more of another control. The rule counts one pixel high.
  std::vector<const Control*> shown;
  for (const Control& c : f.controls())
    if (showsText(c.kind) || c.kind == ControlKind::Image || c.kind == ControlKind::Picture ||
        c.kind == ControlKind::Line)
      shown.push_back(&c);
  auto bottom = [](const Control& c) { return c.top + std::max(c.height, 15); };
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const Control &a = *shown[i], &b = *shown[j];
      const bool overlap = a.left + 15 < b.left + b.width && b.left + 15 < a.left + a.width &&
                           a.top + 15 < bottom(b) && b.top + 15 < bottom(a);
      EXPECT_FALSE(overlap) << a.id() << " and " << b.id();
    }
}
