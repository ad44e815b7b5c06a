// Set files that are refused, with the message naming file and line, and
// the replacement of named values in a command file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "batch/batch.h"

namespace qf::batch {
namespace {

TEST(SetFile, RefusedWithFileAndLine) {
  const std::string path = "/tmp/qfset" + std::to_string(::getpid()) + ".csv";
  const std::string head = "name,command,probability\n";
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {head + "a,m.qfx,0.1\na,m.qfx,0.2\n", "line 3: scenario 'a' is named twice"},
      {head + "a b,m.qfx,\n", "line 2: scenario name 'a b' (letters, digits"},
      {head + "a,m.qfx,2\n", "line 2: probability '2' is not a number from 0 to 1"},
      {head + "a,m.qfx,0.1\nb,m.qfx,\n", "line 3: a probability for every scenario or for none"},
      {head + "a,\"m.qfx,\n", "line 2: a quote is not closed"},
      {"name,command,set:kst\n", "line 1: column 'set:kst' is not set:SECTION.KEYWORD"},
      {"name,cmd\n", "line 1: unknown column 'cmd'"},
      {head + "a,m.qfx\n", "line 2: 2 fields, the header has 3"},
  };
  for (const Case& c : cases) {
    std::ofstream(path) << c.text;
    try {
      read_set(path);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SetError& e) {
      const std::string want = "'" + path + "', " + c.message;
      EXPECT_EQ(e.text.substr(0, want.size()), want);
    }
  }
  std::remove(path.c_str());
}

TEST(SetFile, NamedValuesReplaced) {
  const std::string text =
      ">>global\n   kst 30\n>>polygon\n   kst 15\n{wet waterlevel 101 }\n>>output\n   to 'x.res'\n";
  EXPECT_EQ(replace_values(text, {{"global", "kst", "25"}, {"polygon", "waterlevel", "99.5"}}, "m"),
            ">>global\n   kst 25\n>>polygon\n   kst 15\n{wet waterlevel 99.5 }\n>>output\n"
            "   to 'x.res'\n");
  EXPECT_EQ(keyword_value(text, "output", "to"), "x.res");
  try {
    replace_values(text, {{"compute", "end", "3"}}, "m.qfx");
    ADD_FAILURE();
  } catch (const SetError& e) {
    EXPECT_EQ(e.text, "set:compute.end: 'm.qfx' has no line 'end' in >>compute");
  }
}

}  // namespace
}  // namespace qf::batch
