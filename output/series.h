// Text series beside the result file (the gauge series, the water
// balance): a header line, then one line per moment with the model time in
// hours as its first value.
#pragma once

#include <string>

#include "io/channels.h"

namespace qf {

struct SeriesStart {
  int error = 0;         // 0, or the error number of the failed creation or copy
  bool kept = false;     // the earlier lines were kept behind the header
  bool foreign = false;  // the file to continue had another header: written anew
  long lines = 0;        // lines kept after the header
  std::string at_start;  // the dropped line of the start time itself (empty: none)
};

// Opens the series file `path` on channel ch and writes its header, for a
// run that starts at model time `start` [h]. A run that continues its
// result file (`go_on`) continues the series too: when the file exists and
// its first line is `header`, the lines of earlier times are kept and the
// run appends behind them; lines of the start time and later (written by
// a run that went beyond this start) are dropped, so that the times keep
// rising. The kept part is copied under "<path>.part", which then takes the
// place of the file: a start cut short leaves the earlier file whole.
SeriesStart open_series(Channels& io, int ch, const std::string& path, const std::string& header,
                        float start, bool go_on);

// Writes one line and hands it to the system; the error number of the
// first failed write on the file, or 0.
int series_line(Channels& io, int ch, const std::string& line);

}  // namespace qf
