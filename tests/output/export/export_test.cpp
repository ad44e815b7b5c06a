// The export program on a small result file written byte by byte: the
// hazard rating and the first wetting against hand-computed values, the
// placement of the grid, and the refusal of a file that is no result file.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "io/channels.h"
#include "model/resultfile.h"
#include "output/export/cli.h"
#include "output/export/derived.h"
#include "output/export/gdalout.h"

namespace qf::exp {
namespace {

// Three cells in a row (centres 1000, 1010, 1020 at y 2000) with depth and
// speed at 0, 0.5 and 1 h.
const float kDepth[3][3] = {{0, 0.005f, 0.3f}, {0.2f, 0.02f, 0.26f}, {0.1f, 0.5f, 0}};
const float kSpeed[3][3] = {{0, 1, 2}, {1.5f, 0.5f, 0.1f}, {0, 3, 0}};

std::string scratch(const std::string& name) {
  return "/tmp/qfexp" + std::to_string(::getpid()) + "_" + name;
}

std::string write_result() {
  const std::string path = scratch("small.res");
  const std::size_t reclen = result_record_length(2, 3);
  DirectFile f;
  EXPECT_TRUE(f.open(path, reclen, 'w'));
  ResultHeader h;
  h.reclen = static_cast<std::int32_t>(reclen);
  h.nx = 3;
  h.ny = 1;
  h.title = "three cells";
  h.x_origin = 1000;
  h.y_origin = 2000;
  const auto head = header_record(h);
  f.write(1, head.data(), head.size());
  const auto labels = label_record({time_label(), item_label(1), item_label(3)});
  f.write(2, labels.data(), labels.size());
  const float xr[4] = {-1.0e10f, 0, 10, 20}, yr[4] = {-1.0e10f, 0, 0, 0};
  f.write(3, xr, sizeof xr);
  f.write(4, yr, sizeof yr);
  for (int b = 0; b < 3; ++b) {
    float rec[7] = {0.5f * b};
    for (int i = 0; i < 3; ++i) rec[1 + i] = kDepth[b][i], rec[4 + i] = kSpeed[b][i];
    f.write(5 + b, rec, sizeof rec);
  }
  const float end = -99.0f;
  f.write(8, &end, 4);
  f.write(9, &end, 4);
  EXPECT_TRUE(f.close());
  return path;
}

// Runs the program; the first band of the GeoTIFF it wrote.
std::vector<float> run_to_tif(const std::vector<std::string>& args, double gt[6]) {
  std::ostringstream out, err;
  EXPECT_EQ(export_main(args, out, err), export_ok) << err.str();
  GDALDataset* ds = GDALDataset::Open(args[2].c_str(), GDAL_OF_RASTER);
  EXPECT_NE(ds, nullptr);
  if (ds == nullptr) return {};
  std::vector<float> v(3);
  EXPECT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 3, 1, v.data(), 3, 1, GDT_Float32, 0, 0),
            CE_None);
  ds->GetGeoTransform(gt);
  GDALClose(ds);
  std::remove(args[2].c_str());
  return v;
}

TEST(Export, HazardAndFirstWettingByHand) {
  const std::string res = write_result();
  const std::string tif = scratch("out.tif");
  // HR = d (v + 0.5) + 0.5 where d > 0.25; maximum over the three records.
  struct Case {
    std::vector<std::string> extra;
    float want[3];
  };
  const Case cases[] = {
      {{"hazard"}, {0.4f, 2.25f, 1.25f}},
      {{"hazard", "--to", "0.5"}, {0.4f, 0.02f, 1.25f}},
      {{"hazard", "--from", "0.5"}, {0.4f, 2.25f, 0.656f}},
      {{"wetting"}, {0.5f, 0.5f, 0.0f}},
      {{"wetting", "--threshold", "0.25"}, {-9999.0f, 1.0f, 0.0f}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{c.extra[0], res, tif};
    args.insert(args.end(), c.extra.begin() + 1, c.extra.end());
    double gt[6] = {};
    const std::vector<float> v = run_to_tif(args, gt);
    ASSERT_EQ(v.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(v[i], c.want[i], 1e-6) << c.extra[0] << " cell " << i;
    EXPECT_EQ(std::vector<double>(gt, gt + 6), (std::vector<double>{995, 10, 0, 2005, 0, -10}));
  }
  std::remove(res.c_str());
}

TEST(Export, RefusesOtherFiles) {
  const std::string txt = scratch("notes.res");
  std::FILE* f = std::fopen(txt.c_str(), "w");
  std::fputs(std::string(300, 'x').c_str(), f);
  std::fclose(f);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"netcdf", txt, scratch("x.nc")},
       export_failed,
       "quellfax-export: '" + txt + "': not a result or max-value file (record length"},
      {{"geotiff", scratch("none.res"), scratch("x.tif")},
       export_failed,
       "quellfax-export: '" + scratch("none.res") + "': No such file or directory\n"},
      {{"geotiff", txt}, export_usage, "quellfax-export: geotiff takes an input and an output"},
      {{"netcdf", txt, txt}, export_usage, "quellfax-export: the output file would replace"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(export_main(c.args, out, err), c.status);
    EXPECT_EQ(err.str().rfind(c.message, 0), 0u) << err.str();
  }
  std::ostringstream out, err;
  EXPECT_EQ(export_main({"--help"}, out, err), export_ok);
  EXPECT_NE(out.str().find("examples:\n  quellfax-export info channel.res\n"), std::string::npos);
  std::remove(txt.c_str());
}

// The walls outside the model stand 100 m above the highest bed.
TEST(Export, WallsOfCellsOutsideTheModel) {
  const float nan = std::nanf("");
  struct Case {
    std::vector<float> level;
    std::vector<std::uint8_t> want;  // empty: no wall found
  };
  const Case cases[] = {
      {{400, 401.5f, 501.5f, 501.5f}, {0, 0, 1, 1}},  // bed levels
      {{-9999, 401.5f, 501.5f, 402}, {0, 0, 1, 0}},   // water levels, a dry cell no-data
      {{nan, 400, 500}, {0, 0, 1}},                   // not a number passed over
      {{400, 401.5f, 402, 403}, {}},                  // no cell outside
      {{400, 485, 401}, {}},                          // a hill 85 m high is no wall
      {{9999, 400, 401, 9999}, {}},                   // an unknown no-data value
      {{501.5f, 501.5f}, {}},                         // nothing inside
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> got;
    EXPECT_EQ(mark_walls(c.level.data(), c.level.size(), -9999.0f, got), !c.want.empty());
    EXPECT_EQ(got, c.want.empty() ? std::vector<std::uint8_t>(c.level.size(), 0) : c.want)
        << c.level[0] << " " << c.level[1];
  }
}

// A file that cannot be completed leaves the earlier file, no part and no
// overview scratch file of the GeoTIFF writer.
TEST(Export, FileWrittenWholeOrNotAtAll) {
  const std::string path = scratch("whole.nc");
  std::ofstream(path) << "earlier";
  for (const bool ok : {false, true}) {
    std::string why;
    EXPECT_EQ(write_whole(
                  path,
                  [&](const std::string& part, std::string& w) {
                    std::ofstream(part) << "new", std::ofstream(part + ".ovr.tmp") << "o";
                    w = ok ? "" : "No space left on device";
                    return ok;
                  },
                  why),
              ok);
    std::string text;
    std::ifstream(path) >> text;
    EXPECT_EQ(text + "/" + why, ok ? "new/" : "earlier/No space left on device");
    EXPECT_FALSE(std::ifstream(path + ".part").good() || std::ifstream(path + ".part.ovr.tmp"));
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qf::exp
