// Envelope and exceedance of three hand-made max-value files of five cells
// against hand-computed values, in GeoTIFF and NetCDF.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "io/channels.h"
#include "model/resultfile.h"
#include "output/export/cli.h"

namespace qf::exp {
namespace {

constexpr float X = -9999.0f;  // outside the model

std::string scratch(const std::string& name) {
  return "/tmp/qfcomb" + std::to_string(::getpid()) + "_" + name;
}

// A max-value file of one row of five cells of 10 m; level = depth + 100.
std::string write_max(const std::string& name, const std::vector<float>& depth, float speed) {
  const std::string path = scratch(name);
  const int nx = 5;
  DirectFile f;
  EXPECT_TRUE(f.open(path, max_record_length(nx), 'w'));
  ResultHeader h;
  h.reclen = static_cast<std::int32_t>(max_record_length(nx));
  h.nx = nx, h.ny = 1, h.x_origin = 1000, h.y_origin = 2000;
  const auto head = header_record(h);
  f.write(1, head.data(), head.size());
  const auto labels = label_record({time_label(), " WWaterlevel [m]", " FFlowdepth [m]",
                                    " SSpecific Flow [m2/s]", " VFlow Velocity [m/s]"});
  f.write(2, labels.data(), labels.size());
  std::vector<float> xr{0, 0, 10, 20, 30, 40}, yr(6, 0.0f), rec{2.0f};
  f.write(3, xr.data(), 4 * xr.size());
  f.write(4, yr.data(), 4 * yr.size());
  for (float d : depth) rec.push_back(d == X ? X : d + 100);
  rec.insert(rec.end(), depth.begin(), depth.end());
  for (float d : depth) rec.push_back(d == X ? X : d * speed);
  for (float d : depth) rec.push_back(d == X ? X : speed);
  f.write(5, rec.data(), 4 * rec.size());
  const float end = -99.0f;
  f.write(6, &end, 4);
  f.write(7, &end, 4);
  EXPECT_TRUE(f.close());
  return path;
}

std::vector<float> band_of(const std::string& path, int band, std::string* meta = nullptr) {
  GDALDataset* ds = GDALDataset::Open(path.c_str(), GDAL_OF_RASTER);
  EXPECT_NE(ds, nullptr) << path;
  if (ds == nullptr) return {};
  std::vector<float> v(5);
  GDALRasterBand* b = ds->GetRasterBand(band);
  EXPECT_EQ(b->RasterIO(GF_Read, 0, 0, 5, 1, v.data(), 5, 1, GDT_Float32, 0, 0), CE_None);
  if (meta != nullptr) {
    const char* m = b->GetMetadataItem("scenario_2");
    *meta = std::string(b->GetDescription()) + "|" + (m ? m : "") + "|" +
            (ds->GetSpatialRef() ? ds->GetSpatialRef()->GetName() : "");
  }
  GDALClose(ds);
  return v;
}

TEST(Combine, EnvelopeAndExceedanceByHand) {
  const std::string a = write_max("q10.max", {0, 0.005f, 0.5f, 0, X}, 1.0f),
                    b = write_max("q100.max", {0.2f, X, 0.3f, 0, X}, 2.0f),
                    c = write_max("q1000.max", {0.02f, 0.4f, X, 0, X}, 0.5f);
  const std::string tif = scratch("out.tif"), nc = scratch("out.nc");
  struct Case {
    std::vector<std::string> args;
    std::string read;  // the file or subdataset read back
    int band;
    std::vector<float> want;
    std::string meta;  // band name | scenario_2 | projection
  };
  const Case cases[] = {
      {{"envelope", tif, a, b, c, "--crs", "EPSG:2056"}, tif, 2, {0.2f, 0.4f, 0.5f, 0, X}, ""},
      {{"envelope", tif, a, b, c}, tif, 4, {2, 1, 2, 2, X}, ""},
      {{"envelope", tif, a, b, c, "--crs", "EPSG:2056"},
       tif,
       5,
       {2, 3, 1, X, X},
       "scenario|qfcomb" + std::to_string(::getpid()) + "_q100|CH1903+ / LV95"},
      {{"exceedance", tif, a, b, c}, tif, 1, {2 / 3.f, 1 / 3.f, 2 / 3.f, 0, X}, ""},
      {{"exceedance", tif, a, b, c, "--threshold", "0.3", "--names", "x,y,z"},
       tif,
       1,
       {0, 1 / 3.f, 1 / 3.f, 0, X},
       "exceedance_share|y|"},
      {{"exceedance", nc, a, b, c, "--probability", "0.1,0.01,0.001"},
       "NETCDF:\"" + nc + "\":annual_exceedance_probability",
       1,
       {0.011f, 0.001f, 0.11f, 0, X},
       ""},
      {{"envelope", nc, a, b, c}, "NETCDF:\"" + nc + "\":scenario", 1, {2, 3, 1, X, X}, ""},
  };
  for (const Case& k : cases) {
    std::ostringstream out, err;
    ASSERT_EQ(export_main(k.args, out, err), export_ok) << err.str();
    std::string meta;
    const std::vector<float> got = band_of(k.read, k.band, &meta);
    for (std::size_t i = 0; i < k.want.size() && i < got.size(); ++i)
      EXPECT_NEAR(got[i], k.want[i], 1e-6) << k.args[0] << " " << k.band << " cell " << i;
    if (!k.meta.empty()) {
      EXPECT_EQ(meta, k.meta);
    }
  }
  // Files that cannot be combined.
  const std::string wide = scratch("wide.max");
  std::rename(write_max("w.max", {0, 0, 0, 0, 0}, 1).c_str(), wide.c_str());
  {
    DirectFile f;  // the same grid shifted by one cell
    ASSERT_TRUE(f.open(wide, max_record_length(5), 'u'));
    ResultHeader h;
    h.reclen = static_cast<std::int32_t>(max_record_length(5));
    h.nx = 5, h.ny = 1, h.x_origin = 1010, h.y_origin = 2000;
    const auto head = header_record(h);
    f.write(1, head.data(), head.size());
    f.close();
  }
  struct Bad {
    std::vector<std::string> args;
    std::string message;
  };
  const Bad bad[] = {
      {{"envelope", tif, a, wide},
       "quellfax-export: '" + wide +
           "': 5 x 1 cells of 10.0000 m from 1005.0000 2005.0000, not the 5 x 1 cells of "
           "10.0000 m from 995.0000 2005.0000 of '" +
           a + "'\n"},
      {{"exceedance", tif, a, b, "--probability", "0.1"},
       "quellfax-export: --probability: 1 values for 2 files\n"},
      {{"envelope", scratch("x.asc"), a},
       "quellfax-export: '" + scratch("x.asc") + "': the output of envelope ends in .tif or .nc\n"},
      {{"envelope", tif, a, tif},
       "quellfax-export: the output file would replace the input "
       "file '" +
           tif + "'\n"},
  };
  for (const Bad& k : bad) {
    std::ostringstream out, err;
    EXPECT_NE(export_main(k.args, out, err), export_ok);
    EXPECT_NE(err.str().find(k.message), std::string::npos) << err.str();
  }
  for (const std::string& f : {a, b, c, wide, tif, nc}) std::remove(f.c_str());
}

}  // namespace
}  // namespace qf::exp
