// The window's layout: the arrows over their boxes, every shown control inside the window, and no two controls on
// top of each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "core/virtual_toolkit.h"
#include "form/mainform.h"

using namespace tavrin;

namespace {

bool showsText(ControlKind k) {
  return k == ControlKind::TextBox || k == ControlKind::CommandButton || k == ControlKind::CheckBox ||
         k == ControlKind::Label;
}

struct LayoutTest : ::testing::Test {
  VirtualToolkit tk;
  Mainform f{tk};
};

}  // namespace

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
  for (const Control* c : shown)
    EXPECT_TRUE(c->left >= 0 && c->top >= 0 && c->left + c->width <= Mainform::clientWidth &&
                c->top + c->height <= Mainform::clientHeight)
        << c->id() << " is outside the window";
  auto bottom = [](const Control& c) { return c.top + std::max(c.height, 15); };
  for (std::size_t i = 0; i < shown.size(); ++i)
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const Control &a = *shown[i], &b = *shown[j];
      const bool overlap = a.left + 15 < b.left + b.width && b.left + 15 < a.left + a.width &&
                           a.top + 15 < bottom(b) && b.top + 15 < bottom(a);
      EXPECT_FALSE(overlap) << a.id() << " and " << b.id();
    }
}
