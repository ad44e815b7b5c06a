#include "output/export/cli.h"

#include <gdal_priv.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "io/textio.h"
#include "model/projection.h"
#include "output/export/combine.h"
#include "output/export/derived.h"
#include "output/export/gdalout.h"
#include "output/export/gridfile.h"

namespace qf::exp {

namespace {

struct Options {
  std::string command, input, output;
  std::vector<std::string> items;
  std::vector<std::string> inputs, names;  // envelope, exceedance: the max-value files
  std::vector<double> probability;         // exceedance: annual probability per file
  bool has_from = false, has_to = false, has_time = false, has_nodata = false;
  double from = 0, to = 0, time = 0;
  long record = 0;  // 1-based; 0: not given
  std::string crs, reference;
  std::string outside;  // --outside: a file whose no-data cells lie outside the model
  float nodata = 0;
  float threshold = 0.01f;
};

// A usage error or a failure, with its message already written.
struct Failure {
  int status;
};

[[noreturn]] void usage(std::ostream& err, const std::string& text) {
  err << "quellfax-export: " << text << "\n(quellfax-export --help shows the commands)\n";
  throw Failure{export_usage};
}

[[noreturn]] void failed(std::ostream& err, const std::string& text) {
  err << "quellfax-export: " << text << '\n';
  throw Failure{export_failed};
}

double number(std::ostream& err, const std::string& opt, const std::string& v) {
  double d = 0;
  if (!parse_real(v, d) || !std::isfinite(d)) usage(err, opt + ": '" + v + "' is not a number");
  return d;
}

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::size_t p = 0;
  while (p <= s.size()) {
    const std::size_t c = s.find(',', p);
    const std::string part = s.substr(p, c == std::string::npos ? std::string::npos : c - p);
    if (!part.empty()) out.push_back(part);
    if (c == std::string::npos) break;
    p = c + 1;
  }
  return out;
}

// Both names lead to one file (or are the same name).
bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a == b || std::filesystem::equivalent(a, b, ec);
}

Options parse(const std::vector<std::string>& args, std::ostream& err) {
  Options o;
  std::vector<std::string> plain;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a.compare(0, 2, "--") != 0) {
      plain.push_back(a);
      continue;
    }
    if (i + 1 >= args.size()) usage(err, a + " needs a value");
    const std::string& v = args[++i];
    if (a == "--items") {
      o.items = split(v);
    } else if (a == "--from") {
      o.from = number(err, a, v);
      o.has_from = true;
    } else if (a == "--to") {
      o.to = number(err, a, v);
      o.has_to = true;
    } else if (a == "--time") {
      o.time = number(err, a, v);
      o.has_time = true;
    } else if (a == "--record") {
      long long r = 0;
      if (!parse_int(v, r) || r < 1) usage(err, a + ": '" + v + "' is not a record number from 1");
      o.record = static_cast<long>(r);
    } else if (a == "--crs") {
      o.crs = v;
    } else if (a == "--outside") {
      o.outside = v;
    } else if (a == "--reference") {
      o.reference = v;
    } else if (a == "--nodata") {
      o.nodata = static_cast<float>(number(err, a, v));
      o.has_nodata = true;
    } else if (a == "--names") {
      o.names = split(v);
    } else if (a == "--probability") {
      for (const std::string& p : split(v)) {
        o.probability.push_back(number(err, a, p));
        if (!(o.probability.back() >= 0 && o.probability.back() <= 1))
          usage(err, a + ": '" + p + "' is not a probability from 0 to 1");
      }
    } else if (a == "--threshold") {
      o.threshold = static_cast<float>(number(err, a, v));
      if (!(o.threshold >= 0)) usage(err, a + ": the depth must not be negative");
    } else {
      usage(err, "unknown option " + a);
    }
  }
  if (plain.empty()) usage(err, "no command given");
  o.command = plain[0];
  if (o.command == "envelope" || o.command == "exceedance") {
    if (plain.size() < 3)
      usage(err, o.command + " takes an output file (.tif or .nc) and the max-value files");
    o.output = plain[1];
    o.inputs.assign(plain.begin() + 2, plain.end());
    o.input = o.inputs[0];
    const std::string ext = std::filesystem::path(o.output).extension().string();
    if (ext != ".tif" && ext != ".tiff" && ext != ".nc")
      usage(err, "'" + o.output + "': the output of " + o.command + " ends in .tif or .nc");
    for (const std::string& in : o.inputs) {
      if (same_file(o.output, in) || same_file(o.output + ".part", in))
        usage(err, "the output file would replace the input file '" + in + "'");
    }
    if (!o.names.empty() && o.names.size() != o.inputs.size())
      usage(err, "--names: " + std::to_string(o.names.size()) + " names for " +
                     std::to_string(o.inputs.size()) + " files");
    if (!o.probability.empty() && o.probability.size() != o.inputs.size())
      usage(err, "--probability: " + std::to_string(o.probability.size()) + " values for " +
                     std::to_string(o.inputs.size()) + " files");
    return o;
  }
  const std::size_t want = o.command == "info" ? 2 : 3;
  if (o.command != "info" && o.command != "netcdf" && o.command != "geotiff" &&
      o.command != "hazard" && o.command != "wetting")
    usage(err, "unknown command '" + o.command + "'");
  if (plain.size() != want)
    usage(err, o.command + (want == 2 ? " takes one file" : " takes an input and an output file"));
  o.input = plain[1];
  if (want == 3) o.output = plain[2];
  if (want == 3 && (same_file(o.output, o.input) || same_file(o.output + ".part", o.input)))
    usage(err, "the output file would replace the input file");
  return o;
}

GridFile open_input(const Options& o, std::ostream& err) {
  GridFile g;
  std::string why;
  if (!open_grid_file(o.input, g, why)) failed(err, "'" + o.input + "': " + why);
  return g;
}

// The projection: --crs, else the projection file the simulator wrote
// beside the file; blank when there is none.
std::string projection(const GridFile& g, const Options& o, std::ostream& err) {
  std::string srs = o.crs;
  std::string from = "--crs";
  if (srs.empty()) {
    from = file_prj_path(g.path);
    std::string wkt;
    if (read_wkt_file(from, wkt)) {
      srs = wkt;
    } else if (std::FILE* f = std::fopen(from.c_str(), "r")) {
      char buf[64] = {};
      if (std::fgets(buf, sizeof buf, f) != nullptr) srs = std::string(trim_right(buf));
      std::fclose(f);
      while (!srs.empty() && (srs.back() == '\n' || srs.back() == '\r')) srs.pop_back();
    }
  }
  if (srs.empty()) {
    err << "quellfax-export: note: no projection (no " << file_prj_path(g.path)
        << ", no --crs): written without one\n";
    return srs;
  }
  std::string why;
  if (!check_srs(srs, why)) failed(err, from + ": " + why);
  return srs;
}

std::vector<int> chosen_items(const GridFile& g, const Options& o, std::ostream& err) {
  std::vector<int> out;
  if (o.items.empty()) {
    for (std::size_t i = 0; i < g.items.size(); ++i) out.push_back(static_cast<int>(i));
    return out;
  }
  for (const std::string& n : o.items) {
    const int i = g.find(n);
    if (i < 0) {
      std::string have;
      for (const ItemInfo& it : g.items) have += " " + it.name;
      failed(err, "'" + o.input + "' has no item '" + n + "'; it has:" + have);
    }
    out.push_back(i);
  }
  return out;
}

std::string hours(double t) {
  const std::string s = fmt_f(t, 16, 4);
  return s.substr(s.find_first_not_of(' '));
}

// The blocks inside --from and --to.
std::vector<int> chosen_blocks(const GridFile& g, const Options& o, std::ostream& err) {
  std::vector<int> out;
  for (std::size_t b = 0; b < g.times.size(); ++b) {
    const double t = g.times[b];
    if (o.has_from && t < o.from - time_tolerance) continue;
    if (o.has_to && t > o.to + time_tolerance) continue;
    // The last state of a run is written again at its end: the later record
    // of the same time stands for both.
    if (!out.empty() && g.times[static_cast<std::size_t>(out.back())] == g.times[b]) {
      out.back() = static_cast<int>(b);
      continue;
    }
    out.push_back(static_cast<int>(b));
  }
  if (out.empty())
    failed(err, "'" + o.input + "' has no record from " +
                    hours(o.has_from ? o.from : g.times.front()) + " to " +
                    hours(o.has_to ? o.to : g.times.back()) + " h");
  return out;
}

int need_item(const GridFile& g, int code) {
  for (std::size_t i = 0; i < g.items.size(); ++i) {
    if (g.items[i].code == code) return static_cast<int>(i);
  }
  return -1;
}

void read_or_fail(GridFile& g, int block, int item, std::vector<float>& a, std::ostream& err) {
  if (!read_array(g, block, item, a))
    failed(err, "'" + g.path + "': record at " + hours(g.times[static_cast<std::size_t>(block)]) +
                    " h cannot be read");
}

// The no-data cells of --outside: a max-value file of the run, or a grid
// GDAL reads (the bed grid of the run, an ESRI grid of its maxima) on the
// cells of `g`.
std::vector<std::uint8_t> outside_of_file(const GridFile& g, const Options& o, std::ostream& err) {
  const std::string what = "--outside '" + o.outside + "': ";
  const std::size_t n = static_cast<std::size_t>(g.nx()) * g.ny();
  std::vector<float> v;
  int nx = 0, ny = 0;
  double west = 0, north = 0;
  float no_data = export_no_data;
  GridFile m;
  std::string why;
  if (open_grid_file(o.outside, m, why)) {
    if (!m.max_file) failed(err, what + "a result file; give the max-value file or the bed grid");
    nx = m.nx(), ny = m.ny();
    const Placement pm = placement_of(m, "");
    west = pm.west, north = pm.north;
    if (nx == g.nx() && ny == g.ny() && !read_array(m, 0, m.find("max_depth"), v))
      failed(err, what + "the maxima cannot be read");
  } else {
    Dataset ds(GDALDataset::Open(o.outside.c_str(), GDAL_OF_RASTER));
    if (!ds) failed(err, what + "neither a max-value file nor a grid (" + why + ")");
    nx = ds->GetRasterXSize(), ny = ds->GetRasterYSize();
    double gt[6] = {0, 1, 0, 0, 0, -1};
    ds->GetGeoTransform(gt);
    west = gt[0], north = gt[3];
    int has = 0;
    GDALRasterBand* b = ds->GetRasterBand(1);
    if (b != nullptr) no_data = static_cast<float>(b->GetNoDataValue(&has));
    if (b == nullptr || has == 0) failed(err, what + "the grid has no no-data value");
    v.resize(n);
    if (nx == g.nx() && ny == g.ny() &&
        b->RasterIO(GF_Read, 0, 0, nx, ny, v.data(), nx, ny, GDT_Float32, 0, 0) != CE_None)
      failed(err, what + "the grid cannot be read");
  }
  const Placement p = placement_of(g, "");
  if (nx != g.nx() || ny != g.ny() || std::fabs(west - p.west) > 0.5 * p.dx ||
      std::fabs(north - p.north) > 0.5 * p.dy)
    failed(err, what + std::to_string(nx) + " x " + std::to_string(ny) + " cells from " +
                    hours(west) + " " + hours(north) + ", not the " + std::to_string(g.nx()) +
                    " x " + std::to_string(g.ny()) + " cells from " + hours(p.west) + " " +
                    hours(p.north) + " of '" + g.path + "'");
  std::vector<std::uint8_t> outside(n, 0);
  for (std::size_t k = 0; k < n; ++k) outside[k] = v[k] == no_data ? 1 : 0;
  return outside;
}

// The cells outside the model (map order): the no-data cells of --outside,
// else the walls in the first record, in the bed levels or the water
// levels (where dry cells stand at their bed unless the run wrote them as
// no-data). Empty when there are none, or when they cannot be told from
// dry cells; a note says so then.
std::vector<std::uint8_t> outside_cells(GridFile& g, const Options& o, std::ostream& err) {
  if (!o.outside.empty()) return outside_of_file(g, o, err);
  std::vector<std::uint8_t> outside;
  if (g.max_file) return outside;  // the maxima hold the no-data value there already
  const float no_data = o.has_nodata ? o.nodata : export_no_data;
  std::vector<float> a;
  const int bed = need_item(g, 6), level = need_item(g, 2);
  for (int it : {bed, level}) {
    if (it < 0) continue;
    read_or_fail(g, 0, it, a, err);
    if (mark_walls(a.data(), a.size(), no_data, outside)) return outside;
    outside.clear();
    // The bed levels tell for sure; water levels only when no dry cell is
    // no-data.
    if (it == bed) return outside;
    bool dry_no_data = false;
    for (float v : a) dry_no_data = dry_no_data || !std::isfinite(v) || v == no_data;
    if (!dry_no_data) return outside;
  }
  err << "quellfax-export: note: '" << g.path
      << "' cannot tell cells outside the model from dry cells ("
      << (level >= 0 ? "dry water levels are no-data" : "no bed_level or water_level")
      << "): give --outside with the bed grid or the max-value file\n";
  return outside;
}

void write_tif(const std::string& path, const Placement& p, const std::vector<Band>& bands,
               std::ostream& out, std::ostream& err) {
  std::string why;
  const bool ok = write_whole(
      path,
      [&](const std::string& part, std::string& w) {
        return write_cog(part, p, bands, export_no_data, w);
      },
      why);
  if (!ok) failed(err, "'" + path + "': " + why);
  out << " >" << path << ":";
  for (const Band& b : bands) out << " " << b.name;
  out << '\n';
}

int info(GridFile& g, std::ostream& out) {
  out << (g.max_file ? "max-value file" : "result file") << " '" << g.path << "'\n";
  out << "  title  " << trim_right(g.header.title) << '\n';
  out << "  grid   " << g.nx() << " x " << g.ny() << " cells of " << hours(g.dx) << " x "
      << hours(g.dy) << " m, first cell centre " << hours(g.header.x_origin) << " "
      << hours(g.header.y_origin) << '\n';
  out << "  items ";
  for (const ItemInfo& it : g.items) out << " " << it.name;
  out << "\n  records " << g.times.size() << ":";
  for (float t : g.times) out << " " << hours(t);
  out << " h\n";
  return export_ok;
}

int netcdf(GridFile& g, const Options& o, std::ostream& out, std::ostream& err) {
  if (g.max_file) usage(err, "netcdf takes a result file; for the maxima use geotiff");
  NetcdfRequest rq;
  rq.items = chosen_items(g, o, err);
  rq.blocks = chosen_blocks(g, o, err);
  rq.reference = o.reference;
  rq.map_no_data = o.has_nodata;
  rq.no_data_in = o.nodata;
  rq.outside = outside_cells(g, o, err);
  const Placement p = placement_of(g, projection(g, o, err));
  std::string why;
  const bool ok = write_whole(
      o.output,
      [&](const std::string& part, std::string& w) { return write_netcdf(part, g, p, rq, w); },
      why);
  if (!ok) failed(err, "'" + o.output + "': " + why);
  out << " >" << o.output << ": " << rq.items.size() << " variables, " << rq.blocks.size()
      << " times\n";
  return export_ok;
}

int geotiff(GridFile& g, const Options& o, std::ostream& out, std::ostream& err) {
  int block = static_cast<int>(g.times.size()) - 1;
  if (o.has_time) {
    block = block_at(g, o.time);
    if (block < 0) failed(err, "'" + o.input + "' has no record at " + hours(o.time) + " h");
  } else if (o.record > 0) {
    if (o.record > static_cast<long>(g.times.size()))
      failed(err, "'" + o.input + "' has " + std::to_string(g.times.size()) + " records, not " +
                      std::to_string(o.record));
    block = static_cast<int>(o.record - 1);
  }
  const std::vector<int> items = chosen_items(g, o, err);
  const std::vector<std::uint8_t> outside = outside_cells(g, o, err);
  const Placement p = placement_of(g, projection(g, o, err));
  std::vector<Band> bands;
  for (int it : items) {
    Band b;
    b.name = g.items[static_cast<std::size_t>(it)].name;
    b.unit = g.items[static_cast<std::size_t>(it)].units;
    read_or_fail(g, block, it, b.values, err);
    for (float& v : b.values) {
      if (!std::isfinite(v) || (o.has_nodata && v == o.nodata)) v = export_no_data;
    }
    mask_outside(outside, b.values);
    bands.push_back(std::move(b));
  }
  write_tif(o.output, p, bands, out, err);
  return export_ok;
}

int derived(GridFile& g, const Options& o, bool hazard, std::ostream& out, std::ostream& err) {
  if (g.max_file) usage(err, o.command + " takes a result file, not a max-value file");
  const int d = need_item(g, 1);
  const int s = need_item(g, 3);
  const int u = need_item(g, 21), v = need_item(g, 22);
  if (d < 0 || (hazard && s < 0 && (u < 0 || v < 0)))
    failed(err, "'" + o.input + "' does not carry " +
                    (hazard ? "depth and speed (or both velocities)" : "depth") +
                    ": add \"plot initial\" (or \"plot velocity\") to >>output");
  const std::vector<int> blocks = chosen_blocks(g, o, err);
  const std::vector<std::uint8_t> outside = outside_cells(g, o, err);
  const Placement p = placement_of(g, projection(g, o, err));
  const std::size_t n = static_cast<std::size_t>(g.nx()) * g.ny();
  Band band;
  band.name = hazard ? "hazard_rating" : "first_wetting_time";
  band.unit = hazard ? "1" : "h";
  band.values.assign(n, hazard ? 0.0f : export_no_data);
  std::vector<float> depth, speed, a, b;
  for (int blk : blocks) {
    read_or_fail(g, blk, d, depth, err);
    if (!hazard) {
      mark_wetting(depth.data(), n, g.times[static_cast<std::size_t>(blk)], o.threshold,
                   band.values);
      continue;
    }
    if (s >= 0) {
      read_or_fail(g, blk, s, speed, err);
    } else {
      read_or_fail(g, blk, u, a, err);
      read_or_fail(g, blk, v, b, err);
      speed_of(a.data(), b.data(), n, speed);
    }
    raise_hazard(depth.data(), speed.data(), n, o.has_nodata ? o.nodata : export_no_data,
                 band.values);
  }
  mask_outside(outside, band.values);
  write_tif(o.output, p, {band}, out, err);
  return export_ok;
}

}  // namespace

std::string export_help() {
  return R"(quellfax-export: Quellfax result files and max-value files for GIS and Python

usage:
  quellfax-export info    FILE
  quellfax-export netcdf  RESULT OUT.nc  [--items LIST] [--from H] [--to H]
                          [--reference "YYYY-MM-DD hh:mm:ss"] [--nodata V] [--crs CRS]
                          [--outside FILE]
  quellfax-export geotiff FILE OUT.tif   [--items LIST] [--time H | --record N]
                          [--nodata V] [--crs CRS] [--outside FILE]
  quellfax-export hazard  RESULT OUT.tif [--from H] [--to H] [--crs CRS] [--outside FILE]
  quellfax-export wetting RESULT OUT.tif [--threshold M] [--from H] [--to H] [--crs CRS]
                          [--outside FILE]
  quellfax-export envelope   OUT.tif|OUT.nc MAX... [--names LIST] [--crs CRS]
  quellfax-export exceedance OUT.tif|OUT.nc MAX... [--threshold M] [--probability LIST]
                          [--names LIST] [--crs CRS]

commands:
  info     the grid, the items and the record times of a file
  netcdf   records of a result file as NetCDF-4 (CF conventions): dimensions
           time, y, x; one variable per item; time in model hours (with
           --reference: hours since that date); no-data -9999
  geotiff  one record of a result file (default the last), or the maxima of a
           max-value file (max_water_level, max_depth, max_specific_flow,
           max_velocity), as a Cloud-Optimised GeoTIFF, one named band per
           item; no-data -9999
  hazard   flood hazard rating HR = d x (v + 0.5) + DF, DF = 0.5 where the
           depth d > 0.25 m, else 0; its maximum over the records (needs depth
           and speed, or depth and both velocities, as "plot initial" gives)
  wetting  model time [h] of the first record in which the depth exceeds the
           threshold (default 0.01 m); -9999 where it never does. The time is
           as fine as the result interval.
  envelope the maxima over the max-value files of several runs (scenarios):
           max_water_level, max_depth, max_specific_flow, max_velocity, and
           band "scenario": the number (from 1) of the file that gave the
           deepest water, -9999 where no run wets the cell; the band
           metadata scenario_1, scenario_2, ... name them
  exceedance  per cell the share of the runs whose maximum depth exceeds
           the threshold (default 0.01 m); with --probability (one annual
           probability per file) their summed annual probability instead.
           A cell outside the model of one run counts as not flooded there;
           -9999 where every run has it outside.

options:
  --items LIST   comma-separated item names (see "info"), default all
  --from H, --to H  only records from / up to these model times [h]
  --time H, --record N  the record of geotiff, by its time or number (from 1)
  --crs CRS      projection: EPSG:27700, a WKT text or a WKT file; default the
                 FILE.prj the simulator writes beside the file
  --nodata V     values equal to V (the "no_data" of >>output) become -9999
  --names LIST   scenario names of envelope and exceedance, one per file;
                 default the folders of the files when they all have one
                 name (q100/channel.max), else the file names
  --probability LIST  annual probability of each file's event (0.01 for
                 the 100-year flood)
  --outside FILE the bed grid or the max-value file of the run: its no-data
                 cells lie outside the model. Without it they are found from
                 the walls in bed_level or water_level where the file has
                 them. Cells outside the model are -9999 in every product.

Every file is written whole under the name OUT.part and then renamed; when
it cannot be completed (a full disk) it is removed, an earlier OUT is kept,
and the status is 1.

examples:
  quellfax-export info channel.res
  quellfax-export netcdf channel.res channel.nc
  quellfax-export netcdf valley.res valley.nc --items depth,water_level --from 5 --to 20
  quellfax-export geotiff valley.max valley-max.tif --items max_water_level,max_velocity
  quellfax-export geotiff channel.res depth-1h.tif --time 1.0 --items depth
  quellfax-export hazard valley.res hazard.tif --crs EPSG:27700 --outside valley.max
  quellfax-export wetting valley.res wetting.tif --threshold 0.05
  quellfax-export envelope envelope.tif q10/valley.max q100/valley.max q1000/valley.max
  quellfax-export exceedance flooded.nc q10/valley.max q100/valley.max q1000/valley.max \
                  --probability 0.1,0.01,0.001 --threshold 0.3
)";
}

int export_main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      out << export_help();
      return export_ok;
    }
  }
  try {
    const Options o = parse(args, err);
    GDALAllRegister();
    // Failures are reported once, with GDAL's text, by the commands.
    CPLPushErrorHandler(CPLQuietErrorHandler);
    struct PopHandler {
      ~PopHandler() { CPLPopErrorHandler(); }
    } pop;
    GridFile g = open_input(o, err);
    if (!o.inputs.empty()) {
      CombineRequest rq;
      rq.output = o.output;
      rq.inputs = o.inputs;
      rq.names = o.names;
      rq.probability = o.probability;
      rq.threshold = o.threshold;
      rq.srs = projection(g, o, err);
      return o.command == "envelope" ? envelope(rq, out, err) : exceedance(rq, out, err);
    }
    if (o.command == "info") return info(g, out);
    if (o.command == "netcdf") return netcdf(g, o, out, err);
    if (o.command == "geotiff") return geotiff(g, o, out, err);
    return derived(g, o, o.command == "hazard", out, err);
  } catch (const Failure& f) {
    return f.status;
  }
}

}  // namespace qf::exp
