// Opening the files the viewer reads and writes: a file for writing after
// asking for its name (grfil), a file for reading with the result files of
// the model recognised by their header (gropn), and the file chooser that
// lists a directory in the window (grfile).
//
// Like every dialog they take their answers from the script queue first.
// Names are handed back without trailing blanks.
#pragma once

#include <string>
#include <vector>

#include "graphics/graphics.h"

namespace qf {

// Chooser state kept between calls: the directory last shown (ending with
// "/"; empty until the first listing takes the working directory).
struct FileChooser {
  std::string dir;
};

inline constexpr int kChooserEntries = 400;  // entries of one listing
inline constexpr int kChooserScroll = 3;     // entries moved by a scroll button

// Opens a file for writing on channel ch. name in: blank, a default, or
// "pre" followed by an extension of up to 8 characters (the answer is then
// a prefix the extension is appended to). name out: the file opened, blank
// when none was given. An existing file is overwritten only when the user
// agrees.
void grfil(Graphics& g, int ch, std::string& name);

// Opens a file for reading on channel ch. name in/out (blank or ".ext":
// the chooser opens, filtered on that extension); directory out. mode in:
// 0 text, 1 result file (opened for its records; mode out is then the
// record length), 2 only test whether the file is a result file (mode out
// 1 or 0, nothing stays open). Mode out 0 when no file was opened.
void gropn(Graphics& g, FileChooser& fc, int ch, std::string& name, std::string& directory,
           int& mode);

// The chooser. name in: blank or an extension filter (".kep", or several as
// ".kep.dxf"); out: the chosen file with its directory in front, blank on
// "Cancel". ok = 1 when the chosen file exists.
void grfile(Graphics& g, FileChooser& fc, std::string& name, std::string& directory, int& ok);

// One listing of the chooser (also used by the window): directories first
// (marked by a leading "/", the parent directory as "/.." except at the
// root), then the files passing the filter, each group by name; symbolic
// links and hidden names are left out. At most kChooserEntries entries;
// `left_out` counts the rest. False when the directory cannot be read.
bool grflist(const std::string& dir, const std::string& filter, std::vector<std::string>& entries,
             int& left_out);

}  // namespace qf
