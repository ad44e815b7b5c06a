// The result browser: a finished result file, or an ESRI ASCII or model
// grid, shown in the viewer without running the model ("quellfax -v FILE").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf {

struct Session;

// Opens the file, shows its last record (the grid) and answers the
// buttons First, Previous, Next, Last, Item, Time, Play/Pause (steps
// through the records up to the last), Streamlines (on and off, over the
// arrows of a file with both velocity components), View (the full viewer on the record
// shown) and eXit. Returns the exit status.
int browse(Session& s, const std::string& path);

// The record (from 1) of the times nearest to the time typed at the Time
// prompt; a blank answer keeps rec, and so does one that is not a number,
// with the reason in why.
int record_at_time(std::string_view answer, const std::vector<float>& times, int rec,
                   std::string& why);

}  // namespace qf
