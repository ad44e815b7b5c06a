// Numbered channels: the keyboard (5), the screen (6) and files opened on a
// channel number of their owner's choosing.
//
// A text channel reads or writes whole records (lines). Reading keeps the
// last record so that `back` can step back one record: the next read then
// returns the same line again, or the end of file again when the last read
// met it. Writing follows the Fortran record model: `put` adds to the
// current record without ending it, `line` adds and ends it.
//
// A direct-access channel holds fixed-length binary records addressed by
// number from 1 (see DirectFile).
//
// Writing is checked: the first write, flush or close that fails on a
// channel is remembered with its error number (errno), and closing the
// channel returns it, so that a writer can tell a file that was not
// completed (a full disk, a file size limit) from one that was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

// Fixed-length binary records of native 32-bit integers, IEEE single and
// double values and fixed-length texts. Records are numbered from 1; a
// record read beyond the end of the file comes back short (read returns
// false) and unused bytes of a record are written as zeros.
class DirectFile {
 public:
  DirectFile() = default;
  ~DirectFile();
  DirectFile(const DirectFile&) = delete;
  DirectFile& operator=(const DirectFile&) = delete;

  // mode 'r': existing file, read only; 'u': existing or new file, read and
  // write, contents kept; 'w': created empty. On failure errno tells why.
  bool open(const std::string& path, std::size_t reclen, char mode);
  // Closes the file; false when the close (the last buffered writes) or an
  // earlier write failed.
  bool close();
  bool is_open() const { return f_ != nullptr; }
  std::size_t record_length() const { return reclen_; }
  void set_record_length(std::size_t n) { reclen_ = n; }
  // Reads record n into buf (resized to the record length). False when the
  // record lies (partly) beyond the end of the file.
  bool read(long n, std::vector<unsigned char>& buf);
  // Writes bytes at the start of record n (at most one record length).
  bool write(long n, const void* data, std::size_t bytes);
  // Hands the buffered records to the system; false when that or an earlier
  // write failed.
  bool flush();
  long records() const;  // whole records in the file
  // Error number of the first failed write, flush or close since the file
  // was opened; 0 when none failed.
  int error() const { return error_; }

 private:
  bool fail();
  std::FILE* f_ = nullptr;
  std::size_t reclen_ = 0;
  int error_ = 0;
};

// Packs and unpacks the values of one direct-access record in order.
class RecordWriter {
 public:
  void i32(std::int32_t v);
  void f32(float v);
  void f64(double v);
  void text(std::string_view s, std::size_t n);  // blank-padded to n
  const std::vector<unsigned char>& bytes() const { return b_; }
  void clear() { b_.clear(); }

 private:
  std::vector<unsigned char> b_;
};

class RecordReader {
 public:
  explicit RecordReader(const std::vector<unsigned char>& b) : b_(b) {}
  bool i32(std::int32_t& v);
  bool f32(float& v);
  bool f64(double& v);
  bool text(std::string& s, std::size_t n);
  std::size_t position() const { return p_; }
  void seek(std::size_t p) { p_ = p; }

 private:
  const std::vector<unsigned char>& b_;
  std::size_t p_ = 0;
};

class Channels {
 public:
  static constexpr int keyboard = 5;
  static constexpr int screen = 6;

  // The keyboard, screen and error streams; tests pass string streams.
  Channels(std::istream& kb, std::ostream& scr, std::ostream& err);
  ~Channels();
  Channels(const Channels&) = delete;
  Channels& operator=(const Channels&) = delete;

  // Text files. open_read needs an existing file; open_write creates the
  // file or writes it from its start. Both close what the channel held. On
  // failure errno tells why.
  bool open_read(int ch, const std::string& path);
  bool open_write(int ch, const std::string& path);
  // An output file named now but created only when the run starts: what
  // is written to the channel meanwhile is kept and goes to the file when
  // release_held opens it (appended to what the file holds when `append`).
  // False, with errno, when the file could not be created there (a missing
  // folder, a folder of that name, no permission); nothing is created.
  bool open_write_held(int ch, const std::string& path, bool append = false);
  // Creates (or, for append, opens) every held file and writes what was
  // kept for it. Returns 0, or the channel of the first file that failed
  // (errno tells why); the others are still released.
  int release_held();
  // Every file opened for reading so far, with its channel, in order.
  const std::vector<std::pair<int, std::string>>& inputs_read() const { return inputs_; }
  // Direct-access files (see DirectFile::open for the modes).
  bool open_direct(int ch, const std::string& path, std::size_t reclen, char mode);
  DirectFile* direct(int ch);
  // Closes the channel. Returns 0, or for a file being written the error
  // number of the first write, flush or close on it that failed.
  int close(int ch);
  void close_all();
  bool is_open(int ch) const;
  std::string path(int ch) const;
  // Number of the last record read on a text channel (1 for the first line;
  // a record read again after `back` keeps its number).
  long record_number(int ch) const;

  // Reads the next record into `line`, cut to `maxlen` characters when
  // maxlen > 0 (the rest of a longer record is skipped). Returns 0, -1 at
  // the end of file (or for a channel that is not open), or a positive
  // value on a read error. Reading channel 5 reads the keyboard.
  int read_line(int ch, std::string& line, std::size_t maxlen = 0);
  // Steps back one record on a reading channel.
  void back(int ch);
  // Restarts a reading channel at its first record.
  void rewind(int ch);

  // Writing; channel 6 is the screen. A failed write is remembered (see
  // write_error and close).
  void put(int ch, std::string_view s);
  void line(int ch, std::string_view s = {});
  void flush(int ch);
  // Error number of the first failed write on a text channel being
  // written, 0 when none failed (or the channel is not open).
  int write_error(int ch) const;

  std::ostream& scr() { return scr_; }
  std::ostream& err() { return err_; }
  std::istream& kb() { return kb_; }

 private:
  struct Text;
  std::istream& kb_;
  std::ostream& scr_;
  std::ostream& err_;
  std::map<int, std::unique_ptr<Text>> text_;
  std::map<int, std::unique_ptr<DirectFile>> direct_;
  std::vector<std::pair<int, std::string>> inputs_;
};

bool file_exists(const std::string& path);
// 0 when a file of that name could be created or rewritten (its folder
// exists and may be written, it is no folder itself), else the reason.
int creatable(const std::string& path);
// The name of a file as one absolute path (its folder resolved through
// links and "..", the file's own link followed), so that two names of one
// file compare equal whether or not the file exists yet.
std::string resolved_path(const std::string& path);

}  // namespace qf
