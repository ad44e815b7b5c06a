// No two entries of a menu that can be chosen share a key letter, the
// entries a plot appends to the main menu included. Entries with a blank key
// are chosen by a click (and, in replayed scripts, by a blank command).
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string_view>
#include <vector>

#include "viewer/progress.h"
#include "viewer/viewer.h"

namespace qf {
namespace {

using Menu = std::vector<std::string_view>;

template <class A, class B = std::array<std::string_view, 0>>
Menu join(const A& a, const B& b = {}) {
  Menu m(std::begin(a), std::end(a));
  m.insert(m.end(), std::begin(b), std::end(b));
  return m;
}

TEST(MenuKeys, NoTwoEntriesShareAKey) {
  const std::pair<const char*, Menu> menus[] = {
      {"main with contour plot", join(kMainMenu, kContourMenu)},
      {"main with vector plot", join(kMainMenu, kVectorMenu)},
      {"hardcopy", join(kHardcopyMenu)},
      {"keep", join(kKeepMenu)},
      {"draw", join(kDrawMenu)},
      {"alter", join(kAlterMenu)},
      {"plot window", join(kPlotWindowMenu)},
      {"progress window", join(kProgressMenu)},
  };
  for (const auto& [name, menu] : menus) {
    std::set<char> seen;
    for (std::string_view label : menu) {
      // A spacer (no text) and a "-" entry cannot be chosen.
      if (label.size() < 3 || label[0] == '-' || label[1] == ' ') continue;
      const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(label[1])));
      EXPECT_TRUE(seen.insert(key).second) << name << ": key of '" << label << "' taken";
    }
  }
}

}  // namespace
}  // namespace qf
