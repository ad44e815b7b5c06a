// Fuzz target: arbitrary bytes as a command file, read by the model input.
// Every outcome must be a normal return or a clean stop: no crash, no hang,
// no sanitizer report.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "cmdlang/reader.h"
#include "input/input.h"
#include "io/channels.h"
#include "io/messages.h"
#include "io/stop.h"
#include "model/state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream f("fuzz.qfx", std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::istringstream kb;
  std::ostringstream scr, err;
  qf::Channels io(kb, scr, err);
  qf::Messages msg(io);
  qf::Options opt;
  opt.collect({"@wet,hot"});
  qf::CmdReader rd(io, msg, opt);
  auto model = std::make_unique<qf::Model>();
  qf::InputState st;
  try {
    io.open_write(qf::ch::listing, "out");
    io.open_read(qf::ch::command, "fuzz.qfx");
    qf::inrea(*model, io, msg, rd, st);
  } catch (const qf::Stop&) {
  }
  msg.iiout(1, " ", qf::ch::listing);
  io.close_all();
  return 0;
}
