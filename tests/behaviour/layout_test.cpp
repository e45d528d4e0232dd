// The window's layout: every visible control's place, size and font, its band,
// and no two controls on top of each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/virtual_toolkit.h"
#include "form/mainform.h"

using namespace tavrin;

namespace {

constexpr int kOpen = -1;  // left open by the layout: only the band holds it

struct Band {
  int top, bottom;
};
// Bands from top to bottom; the current band ends where the status line
// starts, and Exit stays inside the window.
const std::map<std::string, Band> kBands = {
    {"drive", {120, 1815}},     {"motor", {1800, 3015}},     {"sweep", {3240, 3855}},
    {"current", {4320, 4920}},  {"status", {4920, 5295}},    {"rule", {5520, 5520}},
    {"sequencer", {5760, 6735}}, {"exit", {6360, Mainform::clientHeight}},
};

struct Place {
  const char* id;
  const char* band;
  int left, top, width, height;
  double pt = 9.75;
  bool bold = false;
  const char* family = "MS Sans Serif";
  const char* above = nullptr;  // a caption that stands above this control
};

const Place kLayout[] = {
    {"Label3", "drive", kOpen, kOpen, kOpen, kOpen, 13.5, true},
    {"txtFrekvens_DDS1", "drive", 1800, 240, 1215, 375, 12},
    {"cmdWrite", "drive", 120, 720, kOpen, kOpen},
    {"Label4", "drive", kOpen, kOpen, kOpen, kOpen, 13.5, true},
    {"txtFase_DDS2", "drive", 1800, 1200, kOpen, kOpen, 12},
    {"txtDDS1(6)", "drive", 4200, 600, 495, 615, 24},
    {"txtDDS1(5)", "drive", 4680, 600, 495, 615, 24},
    {"txtDDS1(4)", "drive", 5160, 600, 495, 615, 24},
    {"txtDDS1(3)", "drive", 5640, 600, 495, 615, 24},
    {"txtDDS1(2)", "drive", 6120, 600, 495, 615, 24},
    {"txtDDS1(1)", "drive", 6600, 600, 495, 615, 24},
    {"Label25", "drive", kOpen, kOpen, kOpen, kOpen, 18, true},
    {"Label5", "drive", 7920, 720, kOpen, kOpen, 13.5, true},
    {"Pout1(1)", "drive", 9120, 600, 495, 615, 24},
    {"Pout1(0)", "drive", 9720, 600, 375, 615, 24},
    {"Label14", "drive", kOpen, kOpen, kOpen, kOpen, 24, true},
    {"Label13", "drive", kOpen, kOpen, kOpen, kOpen, 18, true},
    {"cmdStartMotor", "motor", 120, 1800, kOpen, kOpen},
    {"Selectdir", "motor", 1800, 1800, kOpen, kOpen},
    {"Tracking", "motor", 120, 2640, kOpen, kOpen},
    {"Label24", "motor", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "TrackFrqStp"},
    {"TrackFrqStp", "motor", 1800, 2640, kOpen, kOpen, 12},
    {"Label12", "motor", 4560, 2280, kOpen, kOpen, 12, true, "Verdana"},
    {"Label6", "sweep", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "TxtSwpStart"},
    {"Label7", "sweep", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "TxtSwpStop"},
    {"Label8", "sweep", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "TxtSwpStep"},
    {"Label9", "sweep", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "TxtSteptime"},
    {"TxtSwpStart", "sweep", 1800, 3480, 1215, 375, 12},
    {"TxtSwpStop", "sweep", 3240, 3480, 1215, 375, 12},
    {"TxtSwpStep", "sweep", 5280, 3480, 1215, 375, 12},
    {"TxtSteptime", "sweep", 6960, 3480, 1215, 375, 12},
    {"CmdSwpStart", "sweep", 120, 3480, kOpen, kOpen},
    {"Label1", "current", kOpen, kOpen, kOpen, kOpen, 13.5, true},
    {"txtDMMvalue", "current", 1800, 4320, kOpen, kOpen, 12},
    {"btGetCurrent", "current", 3120, 4320, kOpen, kOpen},
    {"ChaLogFile", "current", 4560, 4320, kOpen, kOpen},
    {"LogFileName", "current", 5640, 4320, 5055, kOpen},
    {"Info", "status", 120, 4920, 10575, 375, 12},
    {"RunStimFile", "sequencer", 120, 5760, kOpen, kOpen},
    {"Label23", "sequencer", kOpen, kOpen, kOpen, kOpen},
    {"Text1StepTime", "sequencer", 3360, 5760, kOpen, kOpen},
    {"ChaStimFile", "sequencer", 4560, 5760, kOpen, kOpen},
    {"StimFileName", "sequencer", 6120, 5760, 4575, kOpen},
    {"Label20", "sequencer", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "times"},
    {"times", "sequencer", 1800, 6480, kOpen, kOpen},
    {"Label21", "sequencer", kOpen, kOpen, kOpen, kOpen, 9.75, false, "MS Sans Serif", "show_count"},
    {"show_count", "sequencer", 3360, 6480, kOpen, kOpen},
    {"Label22", "sequencer", 4560, 6480, kOpen, kOpen},
    {"cmdExit", "exit", 9600, 6360, kOpen, kOpen},
};

// Controls that show no text keep the window's font (MS Sans Serif 8.25 pt).
struct Plain {
  const char* id;
  const char* band;
  int left, top, width, height;
};
const Plain kPlain[] = {
    {"imgUp(6)", "drive", 4200, 120, 480, 480},   {"imgDown(6)", "drive", 4200, 1200, 480, 480},
    {"imgUp(1)", "drive", 6600, 120, 480, 480},   {"imgDown(1)", "drive", 6600, 1200, 480, 480},
    {"PoutUp(1)", "drive", kOpen, 120, 480, 480}, {"PoutDown(1)", "drive", kOpen, 1200, 480, 480},
    {"PoutUp(0)", "drive", kOpen, 120, 480, 480}, {"PoutDown(0)", "drive", kOpen, 1200, 480, 480},
    {"Image1", "motor", 8760, 2040, 885, 855},    {"Line1", "rule", 120, 5520, 10560, 0},
};

bool showsText(ControlKind k) {
  return k == ControlKind::TextBox || k == ControlKind::CommandButton || k == ControlKind::CheckBox ||
         k == ControlKind::Label;
}
bool onScreen(ControlKind k) {
  return showsText(k) || k == ControlKind::Image || k == ControlKind::Picture || k == ControlKind::Line;
}

void expectPlace(const Control& c, const char* band, int left, int top, int width, int height) {
  SCOPED_TRACE(c.id());
  const struct {
    const char* what;
    int actual, wanted;
  } given[] = {{"left", c.left, left}, {"top", c.top, top}, {"width", c.width, width}, {"height", c.height, height}};
  for (const auto& g : given) {
    if (g.wanted != kOpen) {
      EXPECT_EQ(g.actual, g.wanted) << g.what;
    }
  }
  const Band b = kBands.at(band);
  EXPECT_GE(c.top, b.top);
  EXPECT_LE(c.top + c.height, b.bottom);
  EXPECT_GE(c.left, 0);
  EXPECT_LE(c.left + c.width, Mainform::clientWidth);
}

struct LayoutTest : ::testing::Test {
  VirtualToolkit tk;
  Mainform f{tk};
  Control& get(const std::string& id) {
    Control* c = f.findById(id);
    if (!c) throw std::runtime_error("no control " + id);
    return *c;
  }
};

}  // namespace

TEST_F(LayoutTest, PlacesSizesAndFontsOfEveryControl) {
  std::set<std::string> listed;
  for (const Place& p : kLayout) {
    const Control& c = get(p.id);
    listed.insert(p.id);
    expectPlace(c, p.band, p.left, p.top, p.width, p.height);
    EXPECT_EQ(c.font.family, p.family) << p.id;
    EXPECT_EQ(c.font.pointSize, p.pt) << p.id;
    EXPECT_EQ(c.font.bold, p.bold) << p.id;
    if (p.above) {
      const Control& below = get(p.above);
      EXPECT_LE(c.top + c.height, below.top) << p.id << " above " << p.above;
      EXPECT_EQ(c.left, below.left) << p.id << " above " << p.above;
    }
  }
  for (const Plain& p : kPlain) {
    const Control& c = get(p.id);
    expectPlace(c, p.band, p.left, p.top, p.width, p.height);
    EXPECT_EQ(c.font.family, "MS Sans Serif") << p.id;
    EXPECT_EQ(c.font.pointSize, 8.25) << p.id;
    EXPECT_FALSE(c.font.bold) << p.id;
  }
  // Every control that shows text is in the table: none can escape it.
  for (const Control& c : f.controls()) {
    if (showsText(c.kind)) {
      EXPECT_TRUE(listed.count(c.id())) << c.id() << " is not in the layout table";
    }
  }
}

TEST_F(LayoutTest, ArrowsStandOverTheirBoxesAndNothingOverlaps) {
  // Each arrow is centred on its box, within the arrow's one pixel of rounding.
  auto centre = [](const Control& c) { return c.left + c.width / 2; };
  for (int i = 1; i <= 6; ++i)
    for (const Control* a : {f.imgUp[i], f.imgDown[i]}) EXPECT_NEAR(centre(*a), centre(*f.txtDDS1[i]), 15) << a->id();
  for (int i = 0; i <= 1; ++i)
    for (const Control* a : {f.PoutUp[i], f.PoutDown[i]}) EXPECT_NEAR(centre(*a), centre(*f.Pout1[i]), 15) << a->id();
  // Neighbours may share one border pixel (15 twips), as the digit boxes do
  // with each other and with their arrows; nothing may cover more of another
  // control. The rule counts one pixel high.
  std::vector<const Control*> shown;
  for (const Control& c : f.controls())
    if (onScreen(c.kind)) shown.push_back(&c);
  auto bottom = [](const Control& c) { return c.top + std::max(c.height, 15); };
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const Control &a = *shown[i], &b = *shown[j];
      const bool overlap = a.left + 15 < b.left + b.width && b.left + 15 < a.left + a.width &&
                           a.top + 15 < bottom(b) && b.top + 15 < bottom(a);
      EXPECT_FALSE(overlap) << a.id() << " and " << b.id();
    }
}
