#include "io/channels.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace qf {

bool file_exists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int creatable(const std::string& path) {
  if (path.empty()) return ENOENT;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
  }
  if (errno != ENOENT) return errno;
  const std::string dir = folder_of(path);
  if (::stat(dir.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return ::access(dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

std::string resolved_path(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf)) return buf;
  const std::size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (::realpath(folder_of(path).c_str(), buf)) {
    const std::string dir = buf;
    return dir == "/" ? "/" + base : dir + "/" + base;
  }
  return path;
}

// ---------------------------------------------------------------- DirectFile

DirectFile::~DirectFile() {
  close();
}

bool DirectFile::open(const std::string& path, std::size_t reclen, char mode) {
  close();
  error_ = 0;
  const char* m = "rb";
  if (mode == 'w') {
    m = "w+b";
  } else if (mode == 'u') {
    m = file_exists(path) ? "r+b" : "w+b";
  }
  errno = 0;
  f_ = std::fopen(path.c_str(), m);
  if (!f_ && errno == 0) errno = EIO;
  reclen_ = reclen;
  return f_ != nullptr;
}

// Remembers the first failure; errno holds its reason (some libraries leave
// it unset for a short write, which then counts as an input/output error).
bool DirectFile::fail() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  return false;
}

bool DirectFile::close() {
  if (f_) {
    errno = 0;
    if (std::fclose(f_) != 0) fail();
  }
  f_ = nullptr;
  return error_ == 0;
}

bool DirectFile::read(long n, std::vector<unsigned char>& buf) {
  buf.assign(reclen_, 0);
  if (!f_ || n < 1 || reclen_ == 0) return false;
  if (std::fseek(f_, static_cast<long>((n - 1) * static_cast<long>(reclen_)), SEEK_SET) != 0)
    return false;
  return std::fread(buf.data(), 1, reclen_, f_) == reclen_;
}

bool DirectFile::write(long n, const void* data, std::size_t bytes) {
  if (!f_ || n < 1 || reclen_ == 0) return false;
  if (bytes > reclen_) bytes = reclen_;
  errno = 0;
  // A seek hands the buffered bytes of the last write to the system first.
  if (std::fseek(f_, static_cast<long>((n - 1) * static_cast<long>(reclen_)), SEEK_SET) != 0)
    return fail();
  if (std::fwrite(data, 1, bytes, f_) != bytes) return fail();
  // The rest of the record is zero-filled so that the record exists whole.
  static const unsigned char zeros[4096] = {};
  std::size_t rest = reclen_ - bytes;
  while (rest > 0) {
    const std::size_t k = rest < sizeof zeros ? rest : sizeof zeros;
    if (std::fwrite(zeros, 1, k, f_) != k) return fail();
    rest -= k;
  }
  return true;
}

bool DirectFile::flush() {
  if (f_) {
    errno = 0;
    if (std::fflush(f_) != 0) fail();
  }
  return error_ == 0;
}

long DirectFile::records() const {
  if (!f_ || reclen_ == 0) return 0;
  const long here = std::ftell(f_);
  std::fseek(f_, 0, SEEK_END);
  const long size = std::ftell(f_);
  std::fseek(f_, here, SEEK_SET);
  return size / static_cast<long>(reclen_);
}

// -------------------------------------------------------- records in memory

void RecordWriter::i32(std::int32_t v) {
  unsigned char b[4];
  std::memcpy(b, &v, 4);
  b_.insert(b_.end(), b, b + 4);
}
void RecordWriter::f32(float v) {
  unsigned char b[4];
  std::memcpy(b, &v, 4);
  b_.insert(b_.end(), b, b + 4);
}
void RecordWriter::f64(double v) {
  unsigned char b[8];
  std::memcpy(b, &v, 8);
  b_.insert(b_.end(), b, b + 8);
}
void RecordWriter::text(std::string_view s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) b_.push_back(i < s.size() ? s[i] : ' ');
}

bool RecordReader::i32(std::int32_t& v) {
  if (p_ + 4 > b_.size()) return false;
  std::memcpy(&v, b_.data() + p_, 4);
  p_ += 4;
  return true;
}
bool RecordReader::f32(float& v) {
  if (p_ + 4 > b_.size()) return false;
  std::memcpy(&v, b_.data() + p_, 4);
  p_ += 4;
  return true;
}
bool RecordReader::f64(double& v) {
  if (p_ + 8 > b_.size()) return false;
  std::memcpy(&v, b_.data() + p_, 8);
  p_ += 8;
  return true;
}
bool RecordReader::text(std::string& s, std::size_t n) {
  if (p_ + n > b_.size()) return false;
  s.assign(reinterpret_cast<const char*>(b_.data() + p_), n);
  p_ += n;
  return true;
}

// ----------------------------------------------------------------- Channels

struct Channels::Text {
  std::string path;
  bool writing = false;
  bool held = false;    // not yet created: writes are kept in `kept`
  bool append = false;  // a held file continued rather than rewritten
  std::string kept;
  std::ifstream in;
  std::ofstream out;
  std::string last;     // last record read
  int last_status = 0;  // status of the last read
  bool have_last = false;
  bool pushed = false;  // next read returns `last` again
  long record = 0;      // number of the last record read
  int error = 0;        // first failed write (errno) when writing
  // Notes a failed write of the stream; errno was cleared before it.
  void check() {
    if (!out && error == 0) error = errno != 0 ? errno : EIO;
  }
};

Channels::Channels(std::istream& kb, std::ostream& scr, std::ostream& err)
    : kb_(kb), scr_(scr), err_(err) {}

Channels::~Channels() {
  close_all();
}

bool Channels::open_read(int ch, const std::string& path) {
  close(ch);
  if (!file_exists(path)) return false;
  auto t = std::make_unique<Text>();
  t->path = path;
  t->in.open(path, std::ios::binary);
  if (!t->in) return false;
  text_[ch] = std::move(t);
  inputs_.emplace_back(ch, path);
  return true;
}

bool Channels::open_write_held(int ch, const std::string& path, bool append) {
  close(ch);
  if (const int e = creatable(path)) {
    errno = e;
    return false;
  }
  auto t = std::make_unique<Text>();
  t->path = path;
  t->writing = true;
  t->held = true;
  t->append = append;
  text_[ch] = std::move(t);
  return true;
}

int Channels::release_held() {
  int failed = 0, why = 0;
  for (auto& [ch, t] : text_) {
    if (!t->held) continue;
    t->held = false;
    errno = 0;
    t->out.open(t->path, std::ios::binary | (t->append ? std::ios::app : std::ios::trunc));
    if (t->out) {
      t->out << t->kept;
      t->out.flush();
    }
    t->check();
    t->kept.clear();
    if (t->error != 0 && failed == 0) {
      failed = ch;
      why = t->error;
    }
  }
  errno = why;
  return failed;
}

bool Channels::open_write(int ch, const std::string& path) {
  close(ch);
  auto t = std::make_unique<Text>();
  t->path = path;
  t->writing = true;
  errno = 0;
  t->out.open(path, std::ios::binary | std::ios::trunc);
  if (!t->out) {
    const int e = errno != 0 ? errno : EIO;
    t.reset();
    errno = e;
    return false;
  }
  text_[ch] = std::move(t);
  return true;
}

bool Channels::open_direct(int ch, const std::string& path, std::size_t reclen, char mode) {
  close(ch);
  auto d = std::make_unique<DirectFile>();
  if (!d->open(path, reclen, mode)) {
    const int e = errno;
    d.reset();
    errno = e;
    return false;
  }
  direct_[ch] = std::move(d);
  if (mode == 'r') inputs_.emplace_back(ch, path);
  return true;
}

DirectFile* Channels::direct(int ch) {
  auto it = direct_.find(ch);
  return it == direct_.end() ? nullptr : it->second.get();
}

int Channels::close(int ch) {
  int error = 0;
  if (auto it = text_.find(ch); it != text_.end()) {
    Text& t = *it->second;
    if (t.writing && !t.held) {
      errno = 0;
      t.out.close();
      t.check();
      error = t.error;
    }
    text_.erase(it);
  }
  if (auto it = direct_.find(ch); it != direct_.end()) {
    if (!it->second->close() && error == 0) error = it->second->error();
    direct_.erase(it);
  }
  return error;
}

void Channels::close_all() {
  for (auto& [ch, t] : text_)
    if (t->writing && !t->held) t->out.flush();
  text_.clear();
  direct_.clear();
  scr_.flush();
}

bool Channels::is_open(int ch) const {
  return text_.count(ch) > 0 || direct_.count(ch) > 0;
}

std::string Channels::path(int ch) const {
  if (auto it = text_.find(ch); it != text_.end()) return it->second->path;
  return {};
}

long Channels::record_number(int ch) const {
  if (auto it = text_.find(ch); it != text_.end()) return it->second->record;
  return 0;
}

int Channels::read_line(int ch, std::string& line, std::size_t maxlen) {
  if (ch == keyboard) {
    line.clear();
    if (!std::getline(kb_, line)) return -1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (maxlen > 0 && line.size() > maxlen) line.resize(maxlen);
    return 0;
  }
  auto it = text_.find(ch);
  if (it == text_.end() || it->second->writing) {
    line.clear();
    return -1;
  }
  Text& t = *it->second;
  if (t.pushed) {
    t.pushed = false;
    line = t.last;
    if (maxlen > 0 && line.size() > maxlen) line.resize(maxlen);
    return t.last_status;
  }
  t.last.clear();
  int status = 0;
  if (!std::getline(t.in, t.last)) {
    status = t.in.bad() ? 1 : -1;
    t.last.clear();
  } else {
    ++t.record;
    if (!t.last.empty() && t.last.back() == '\r') t.last.pop_back();
    // A UTF-8 byte-order mark written by some editors is not part of the text.
    if (t.record == 1 && t.last.compare(0, 3, "\xEF\xBB\xBF") == 0) t.last.erase(0, 3);
  }
  t.last_status = status;
  t.have_last = true;
  line = t.last;
  if (maxlen > 0 && line.size() > maxlen) line.resize(maxlen);
  return status;
}

void Channels::back(int ch) {
  auto it = text_.find(ch);
  if (it == text_.end() || !it->second->have_last) return;
  it->second->pushed = true;
}

void Channels::rewind(int ch) {
  auto it = text_.find(ch);
  if (it == text_.end()) return;
  Text& t = *it->second;
  if (t.writing) {
    if (t.held) {
      t.kept.clear();
      return;
    }
    t.out.close();
    t.out.open(t.path, std::ios::binary | std::ios::trunc);
    return;
  }
  t.in.clear();
  t.in.seekg(0);
  t.pushed = false;
  t.have_last = false;
  t.record = 0;
}

void Channels::put(int ch, std::string_view s) {
  if (ch == screen) {
    scr_ << s;
    return;
  }
  auto it = text_.find(ch);
  if (it == text_.end() || !it->second->writing) return;
  if (it->second->held) {
    it->second->kept += s;
    return;
  }
  errno = 0;
  it->second->out << s;
  it->second->check();
}

void Channels::line(int ch, std::string_view s) {
  if (ch == screen) {
    scr_ << s << '\n';
    scr_.flush();
    return;
  }
  auto it = text_.find(ch);
  if (it == text_.end() || !it->second->writing) return;
  if (it->second->held) {
    it->second->kept.append(s).push_back('\n');
    return;
  }
  // Each record reaches the file when it is complete, so that a killed run
  // leaves every finished line readable.
  errno = 0;
  it->second->out << s << '\n';
  it->second->out.flush();
  it->second->check();
}

void Channels::flush(int ch) {
  if (ch == screen) {
    scr_.flush();
    return;
  }
  auto it = text_.find(ch);
  if (it != text_.end() && it->second->writing && !it->second->held) {
    errno = 0;
    it->second->out.flush();
    it->second->check();
  }
}

int Channels::write_error(int ch) const {
  auto it = text_.find(ch);
  return it != text_.end() && it->second->writing ? it->second->error : 0;
}

}  // namespace qf
