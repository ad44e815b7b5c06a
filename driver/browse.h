// The result browser: a finished result file, or an ESRI ASCII or model
// grid, shown in the viewer without running the model ("quellfax -v FILE").
#pragma once

#include <string>

namespace qf {

struct Session;

// Opens the file, shows its first record (the grid) and answers the
// buttons First, Previous, Next, Last, Item, Time, View (the full viewer
// on the record shown) and eXit. Returns the exit status.
int browse(Session& s, const std::string& path);

}  // namespace qf
