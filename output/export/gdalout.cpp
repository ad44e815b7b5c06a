#include "output/export/gdalout.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "io/textio.h"
#include "output/export/derived.h"

namespace qf::exp {

void CloseDataset::operator()(GDALDataset* d) const {
  GDALClose(d);
}

namespace {

// A message of GDAL for the user (`fallback` when blank): without the place in GDAL's
// sources that some drivers add, and with the reason of the system where
// a write failed for want of room.
std::string error_text(const char* m, const std::string& fallback, int system_error = 0) {
  std::string s = m != nullptr && *m != '\0' ? std::string(m) : fallback;
  const std::size_t at = s.find("\nat (");
  if (at != std::string::npos) s.erase(at);
  while (!s.empty() && (s.back() == ' ' || s.back() == '.' || s.back() == '\n')) s.pop_back();
  const std::string reason = std::strerror(system_error);
  if ((system_error == ENOSPC || system_error == EFBIG || system_error == EDQUOT) &&
      s.find(reason) == std::string::npos)
    s += " (" + reason + ")";
  return s;
}

std::string gdal_error(const std::string& fallback) {
  return error_text(CPLGetLastErrorMsg(), fallback);
}

// Quietly keeps the first failure GDAL reports while it lives, with the
// error number of the system at that moment: the failures after it (a
// directory that cannot be fetched, a close that fails) follow from it.
class FirstError {
 public:
  FirstError() { CPLPushErrorHandlerEx(&FirstError::handle, this); }
  ~FirstError() { CPLPopErrorHandler(); }
  FirstError(const FirstError&) = delete;
  FirstError& operator=(const FirstError&) = delete;
  bool failed() const { return failed_; }
  std::string text(const std::string& fallback) const {
    return error_text(text_.c_str(), fallback, system_error_);
  }

 private:
  static void CPL_STDCALL handle(CPLErr e, CPLErrorNum, const char* msg) {
    const int system_error = errno;
    auto* self = static_cast<FirstError*>(CPLGetErrorHandlerUserData());
    if (e < CE_Failure || self->failed_) return;
    self->failed_ = true;
    self->text_ = msg != nullptr ? msg : "";
    self->system_error_ = system_error;
  }
  bool failed_ = false;
  std::string text_;
  int system_error_ = 0;
};

bool set_srs(OGRSpatialReference& sr, const std::string& text) {
  sr.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return sr.SetFromUserInput(text.c_str()) == OGRERR_NONE;
}

using Attr = std::shared_ptr<GDALAttribute>;

bool text_attribute(GDALMDArray& a, const char* name, const std::string& value) {
  Attr at = a.CreateAttribute(name, {}, GDALExtendedDataType::CreateString());
  return at && at->Write(value.c_str());
}

bool text_attribute(GDALGroup& g, const char* name, const std::string& value) {
  Attr at = g.CreateAttribute(name, {}, GDALExtendedDataType::CreateString());
  return at && at->Write(value.c_str());
}

bool number_attribute(GDALMDArray& a, const std::string& name, const std::vector<double>& v,
                      GDALDataType type) {
  Attr at = a.CreateAttribute(name, {v.size()}, GDALExtendedDataType::Create(type));
  return at && at->Write(v.data(), v.size());
}

// Attributes of one variable: texts and numbers, in order.
struct AttrList {
  std::vector<std::pair<std::string, std::string>> text;
  std::vector<std::pair<std::string, double>> number;
};

bool write_attributes(const AttrList& l, GDALMDArray& to) {
  for (const auto& [n, v] : l.text) {
    if (!text_attribute(to, n.c_str(), v)) return false;
  }
  for (const auto& [n, v] : l.number) {
    if (!number_attribute(to, n, {v}, GDT_Float64)) return false;
  }
  return true;
}

// Every attribute but GDAL's own GeoTransform.
AttrList read_attributes(const GDALMDArray& from) {
  AttrList l;
  // GDAL gives the units of a variable apart from its attributes.
  if (!from.GetUnit().empty()) l.text.emplace_back("units", from.GetUnit());
  for (const auto& at : from.GetAttributes()) {
    const std::string& n = at->GetName();
    if (n == "GeoTransform") continue;
    if (at->GetDataType().GetClass() == GEDTC_STRING) {
      const char* s = at->ReadAsString();
      l.text.emplace_back(n, s ? s : "");
    } else {
      const std::vector<double> v = at->ReadAsDoubleArray();
      if (!v.empty()) l.number.emplace_back(n, v[0]);
    }
  }
  return l;
}

// The CF grid mapping of a projection and the attributes of its x and y
// coordinates.
struct GridMapping {
  std::string name;  // variable name of the mapping; blank: none
  AttrList mapping, x, y;
};

// As GDAL's raster writer of the NetCDF driver makes them: a small grid
// with the projection is written to a scratch file and read back. False
// when the writer cannot map the projection.
bool gdal_mapping(const OGRSpatialReference& sr, GridMapping& gm) {
  char tmpl[] = "/tmp/quellfax-export-XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) return false;
  close(fd);
  const std::string scratch = tmpl;
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  GDALDriver* nc = GetGDALDriverManager()->GetDriverByName("netCDF");
  bool ok = false;
  if (mem != nullptr && nc != nullptr) {
    Dataset small(mem->Create("", 2, 2, 1, GDT_Byte, nullptr));
    double gt[6] = {0, 1, 0, 2, 0, -1};
    small->SetGeoTransform(gt);
    small->SetSpatialRef(&sr);
    CPLPushErrorHandler(CPLQuietErrorHandler);
    Dataset(nc->CreateCopy(scratch.c_str(), small.get(), FALSE, nullptr, nullptr, nullptr)).reset();
    Dataset ds(GDALDataset::Open(scratch.c_str(), GDAL_OF_MULTIDIM_RASTER));
    CPLPopErrorHandler();
    auto root = ds ? ds->GetRootGroup() : nullptr;
    auto band = root ? root->OpenMDArray("Band1") : nullptr;
    auto ref = band ? band->GetAttribute("grid_mapping") : nullptr;
    const char* name = ref ? ref->ReadAsString() : nullptr;
    auto mapping = name ? root->OpenMDArray(name) : nullptr;
    if (mapping) {
      gm.name = name;
      gm.mapping = read_attributes(*mapping);
      for (const char* xn : {"x", "lon"}) {
        if (auto a = root->OpenMDArray(xn)) gm.x = read_attributes(*a);
      }
      for (const char* yn : {"y", "lat"}) {
        if (auto a = root->OpenMDArray(yn)) gm.y = read_attributes(*a);
      }
      ok = true;
    }
  }
  std::remove(scratch.c_str());
  return ok;
}

// Units of the map coordinates of a projection in UDUNITS form.
std::string linear_unit(const OGRSpatialReference& sr) {
  const char* name = nullptr;
  const double metres = sr.GetLinearUnits(&name);
  const std::string n = name ? name : "";
  if (std::fabs(metres - 1.0) < 1e-12) return "m";
  if (n.find("US survey foot") != std::string::npos) return "US_survey_foot";
  if (std::fabs(metres - 0.3048) < 1e-12) return "ft";
  const std::string f = fmt_f(metres, 20, 10);
  return f.substr(f.find_first_not_of(' ')) + " m";
}

// A projection the raster writer cannot map: the CF oblique Mercator for
// the Hotine projections (the Swiss grids), else the WKT alone.
void own_mapping(const OGRSpatialReference& sr, GridMapping& gm) {
  gm.name = "crs";
  char* wkt = nullptr;
  sr.exportToWkt(&wkt);
  const std::string w = wkt ? wkt : "";
  CPLFree(wkt);
  const char* proj = sr.GetAttrValue("PROJECTION");
  const std::string p = proj ? proj : "";
  if (p == SRS_PT_HOTINE_OBLIQUE_MERCATOR_AZIMUTH_CENTER || p == SRS_PT_HOTINE_OBLIQUE_MERCATOR) {
    gm.mapping.text.emplace_back("grid_mapping_name", "oblique_mercator");
    gm.mapping.number.emplace_back("azimuth_of_central_line", sr.GetProjParm(SRS_PP_AZIMUTH));
    gm.mapping.number.emplace_back("latitude_of_projection_origin",
                                   sr.GetProjParm(SRS_PP_LATITUDE_OF_CENTER));
    gm.mapping.number.emplace_back("longitude_of_projection_origin",
                                   sr.GetProjParm(SRS_PP_LONGITUDE_OF_CENTER));
    gm.mapping.number.emplace_back("scale_factor_at_projection_origin",
                                   sr.GetProjParm(SRS_PP_SCALE_FACTOR, 1.0));
    gm.mapping.number.emplace_back("false_easting", sr.GetProjParm(SRS_PP_FALSE_EASTING));
    gm.mapping.number.emplace_back("false_northing", sr.GetProjParm(SRS_PP_FALSE_NORTHING));
    gm.mapping.number.emplace_back("semi_major_axis", sr.GetSemiMajor());
    gm.mapping.number.emplace_back("inverse_flattening", sr.GetInvFlattening());
    gm.mapping.number.emplace_back("longitude_of_prime_meridian", sr.GetPrimeMeridian());
  }
  gm.mapping.text.emplace_back("crs_wkt", w);
  gm.mapping.text.emplace_back("spatial_ref", w);
  const bool geo = sr.IsGeographic() != 0;
  const std::string unit = geo ? "" : linear_unit(sr);
  gm.x.text = {{"standard_name", geo ? "longitude" : "projection_x_coordinate"},
               {"long_name", geo ? "longitude" : "x coordinate of projection"},
               {"units", geo ? "degrees_east" : unit}};
  gm.y.text = {{"standard_name", geo ? "latitude" : "projection_y_coordinate"},
               {"long_name", geo ? "latitude" : "y coordinate of projection"},
               {"units", geo ? "degrees_north" : unit}};
}

bool grid_mapping(const std::string& srs, GridMapping& gm, std::string& why) {
  OGRSpatialReference sr;
  if (!set_srs(sr, srs)) {
    why = "projection '" + srs.substr(0, 80) + "' is not known to GDAL";
    return false;
  }
  if (!gdal_mapping(sr, gm)) own_mapping(sr, gm);
  return true;
}

}  // namespace

Placement placement_of(const GridFile& g, const std::string& srs) {
  Placement p;
  p.nx = g.nx();
  p.ny = g.ny();
  p.dx = g.dx;
  p.dy = g.dy;
  // The origin is the centre of the south-west cell.
  p.west = g.header.x_origin - 0.5 * g.dx;
  p.north = g.header.y_origin + (g.ny() - 0.5) * g.dy;
  p.srs = srs;
  return p;
}

bool check_srs(const std::string& srs, std::string& why) {
  OGRSpatialReference sr;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool ok = set_srs(sr, srs);
  CPLPopErrorHandler();
  if (!ok) why = "projection '" + srs.substr(0, 80) + "' is not known to GDAL";
  return ok;
}

bool write_whole(const std::string& path, const FileWriter& write, std::string& why) {
  const std::string part = path + ".part";
  // The COG writer keeps its overviews in scratch files beside the file.
  const std::string scratch[] = {part, part + ".ovr.tmp", part + ".msk.ovr.tmp", part + ".aux.xml"};
  auto remove_all = [&] {
    for (const std::string& f : scratch) VSIUnlink(f.c_str());
  };
  remove_all();
  if (!write(part, why)) {
    remove_all();
    return false;
  }
  if (std::rename(part.c_str(), path.c_str()) != 0) {
    why = std::string("cannot take the place of the file: ") + std::strerror(errno);
    remove_all();
    return false;
  }
  remove_all();
  return true;
}

bool write_cog(const std::string& path, const Placement& p, const std::vector<Band>& bands,
               float no_data, std::string& why) {
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  GDALDriver* cog = GetGDALDriverManager()->GetDriverByName("COG");
  if (mem == nullptr || cog == nullptr) {
    why = "GDAL has no MEM or COG driver";
    return false;
  }
  Dataset ds(mem->Create("", p.nx, p.ny, static_cast<int>(bands.size()), GDT_Float32, nullptr));
  if (!ds) {
    why = gdal_error("no memory for the grid");
    return false;
  }
  double gt[6] = {p.west, p.dx, 0, p.north, 0, -p.dy};
  ds->SetGeoTransform(gt);
  if (!p.srs.empty()) {
    OGRSpatialReference sr;
    if (!set_srs(sr, p.srs)) {
      why = "projection '" + p.srs.substr(0, 80) + "' is not known to GDAL";
      return false;
    }
    ds->SetSpatialRef(&sr);
  }
  for (std::size_t b = 0; b < bands.size(); ++b) {
    GDALRasterBand* rb = ds->GetRasterBand(static_cast<int>(b) + 1);
    rb->SetDescription(bands[b].name.c_str());
    rb->SetNoDataValue(no_data);
    if (!bands[b].unit.empty()) rb->SetUnitType(bands[b].unit.c_str());
    for (const auto& [key, value] : bands[b].metadata)
      rb->SetMetadataItem(key.c_str(), value.c_str());
    std::vector<float> v = bands[b].values;
    if (rb->RasterIO(GF_Write, 0, 0, p.nx, p.ny, v.data(), p.nx, p.ny, GDT_Float32, 0, 0) !=
        CE_None) {
      why = gdal_error("grid not written");
      return false;
    }
  }
  const char* opts[] = {"COMPRESS=DEFLATE", "PREDICTOR=YES", nullptr};
  FirstError first;
  Dataset out(
      cog->CreateCopy(path.c_str(), ds.get(), FALSE, const_cast<char**>(opts), nullptr, nullptr));
  const bool created = out != nullptr;
  out.reset();
  if (first.failed() || !created) {
    why = first.text("cannot be written");
    return false;
  }
  return true;
}

namespace {

// The cell centres of x and y (y from south to north) with their
// attributes, and the grid mapping variable when there is a projection.
bool write_xy(GDALGroup& root, const std::shared_ptr<GDALDimension>& dy,
              const std::shared_ptr<GDALDimension>& dx, const Placement& p, const GridMapping& gm) {
  const auto f64 = GDALExtendedDataType::Create(GDT_Float64);
  auto vy = root.CreateMDArray("y", {dy}, f64);
  auto vx = root.CreateMDArray("x", {dx}, f64);
  if (!vy || !vx) return false;
  GUInt64 start[1] = {0};
  std::size_t count[1] = {0};
  bool ok = true;
  // Cell centres, y from south to north.
  std::vector<double> xs(static_cast<std::size_t>(p.nx)), ys(static_cast<std::size_t>(p.ny));
  for (int i = 0; i < p.nx; ++i) xs[static_cast<std::size_t>(i)] = p.west + (i + 0.5) * p.dx;
  for (int j = 0; j < p.ny; ++j)
    ys[static_cast<std::size_t>(j)] = p.north - (p.ny - j - 0.5) * p.dy;
  if (!gm.name.empty()) {
    ok = ok && write_attributes(gm.x, *vx) && write_attributes(gm.y, *vy);
  } else {
    ok = ok && text_attribute(*vx, "long_name", "x coordinate") &&
         text_attribute(*vy, "long_name", "y coordinate") && text_attribute(*vx, "units", "m") &&
         text_attribute(*vy, "units", "m");
  }
  ok = ok && text_attribute(*vx, "axis", "X") && text_attribute(*vy, "axis", "Y");
  count[0] = static_cast<std::size_t>(p.nx);
  ok = ok && vx->Write(start, count, nullptr, nullptr, f64, xs.data());
  count[0] = static_cast<std::size_t>(p.ny);
  ok = ok && vy->Write(start, count, nullptr, nullptr, f64, ys.data());
  if (!gm.name.empty()) {
    auto vm = root.CreateMDArray(gm.name, {}, GDALExtendedDataType::Create(GDT_Int32));
    ok = ok && vm && write_attributes(gm.mapping, *vm);
    std::int32_t zero = 0;
    ok = ok && vm->Write(nullptr, nullptr, nullptr, nullptr,
                         GDALExtendedDataType::Create(GDT_Int32), &zero);
  }
  return ok;
}

// The dimensions, coordinates and variables of the NetCDF file. Every GDAL
// object made here is released on return, so that the dataset can then be
// closed (and its last flush checked).
bool fill_netcdf(GDALDataset& ds, GridFile& g, const Placement& p, const NetcdfRequest& rq,
                 const GridMapping& gm, std::string& why) {
  auto root = ds.GetRootGroup();
  const auto nt = rq.blocks.size();
  const auto f64 = GDALExtendedDataType::Create(GDT_Float64);
  const auto f32 = GDALExtendedDataType::Create(GDT_Float32);
  auto dt = root->CreateDimension("time", GDAL_DIM_TYPE_TEMPORAL, "", nt);
  auto dy = root->CreateDimension("y", GDAL_DIM_TYPE_HORIZONTAL_Y, "", p.ny);
  auto dx = root->CreateDimension("x", GDAL_DIM_TYPE_HORIZONTAL_X, "", p.nx);
  auto vt = root->CreateMDArray("time", {dt}, f64);
  if (!dt || !dy || !dx || !vt) {
    why = gdal_error("dimensions not written");
    return false;
  }
  bool ok = text_attribute(*root, "Conventions", "CF-1.8") &&
            text_attribute(*root, "title", std::string(trim_right(g.header.title))) &&
            text_attribute(*root, "source", "Quellfax result file " + g.path);
  // Time: model hours, referred to the start of the run when it is given.
  ok = ok && text_attribute(*vt, "standard_name", "time") &&
       text_attribute(*vt, "long_name", "model time") &&
       text_attribute(*vt, "units",
                      rq.reference.empty() ? "hours" : "hours since " + rq.reference) &&
       text_attribute(*vt, "axis", "T");
  std::vector<double> tv;
  for (int b : rq.blocks) tv.push_back(g.times[static_cast<std::size_t>(b)]);
  GUInt64 start[3] = {0, 0, 0};
  std::size_t count[3] = {nt, 0, 0};
  ok = ok && vt->Write(start, count, nullptr, nullptr, f64, tv.data());
  ok = ok && write_xy(*root, dy, dx, p, gm);
  if (!ok) {
    why = gdal_error("coordinates not written");
    return false;
  }

  std::vector<std::shared_ptr<GDALMDArray>> vars;
  for (int it : rq.items) {
    const ItemInfo& info = g.items[static_cast<std::size_t>(it)];
    // One chunk per time and item, compressed: most of a flood plain is
    // dry or outside the model most of the time.
    const std::string chunks = "BLOCKSIZE=1," + std::to_string(p.ny) + "," + std::to_string(p.nx);
    const char* vopts[] = {"COMPRESS=DEFLATE", "ZLEVEL=4", chunks.c_str(), nullptr};
    auto v = root->CreateMDArray(info.name, {dt, dy, dx}, f32, const_cast<char**>(vopts));
    double fill = export_no_data;
    ok = v && v->SetNoDataValue(fill) && text_attribute(*v, "long_name", info.long_name) &&
         (info.units.empty() || text_attribute(*v, "units", info.units)) &&
         (info.standard_name.empty() || text_attribute(*v, "standard_name", info.standard_name)) &&
         (gm.name.empty() || text_attribute(*v, "grid_mapping", gm.name));
    if (!ok) {
      why = gdal_error("variable " + info.name + " not written");
      return false;
    }
    vars.push_back(v);
  }
  std::vector<float> a, south(static_cast<std::size_t>(p.nx) * p.ny);
  for (std::size_t t = 0; t < nt; ++t) {
    for (std::size_t n = 0; n < rq.items.size(); ++n) {
      if (!read_array(g, rq.blocks[t], rq.items[n], a)) {
        why = "record at " + std::to_string(g.times[static_cast<std::size_t>(rq.blocks[t])]) +
              " h cannot be read from " + g.path;
        return false;
      }
      mask_outside(rq.outside, a);
      for (int j = 0; j < p.ny; ++j) {
        const float* src = a.data() + static_cast<std::size_t>(p.ny - 1 - j) * p.nx;
        float* dst = south.data() + static_cast<std::size_t>(j) * p.nx;
        for (int i = 0; i < p.nx; ++i) {
          const float v = src[i];
          dst[i] = (rq.map_no_data && v == rq.no_data_in) ? export_no_data : v;
        }
      }
      GUInt64 st3[3] = {t, 0, 0};
      std::size_t c3[3] = {1, static_cast<std::size_t>(p.ny), static_cast<std::size_t>(p.nx)};
      if (!vars[n]->Write(st3, c3, nullptr, nullptr, f32, south.data())) {
        why = gdal_error("values not written");
        return false;
      }
    }
  }
  return true;
}

}  // namespace

namespace {

// Creates a NetCDF-4 file, fills it and closes it; closing writes the rest
// of the file, so a failure there is a failure of the whole file.
template <class Fill>
bool netcdf_file(const std::string& path, const std::string& srs, std::string& why, Fill fill) {
  GridMapping gm;
  if (!srs.empty() && !grid_mapping(srs, gm, why)) return false;
  GDALDriver* nc = GetGDALDriverManager()->GetDriverByName("netCDF");
  if (nc == nullptr) {
    why = "GDAL has no netCDF driver";
    return false;
  }
  const char* opts[] = {"FORMAT=NC4", nullptr};
  FirstError first;
  Dataset ds(nc->CreateMultiDimensional(path.c_str(), nullptr, const_cast<char**>(opts)));
  if (!ds) {
    why = first.text("cannot be created");
    return false;
  }
  const bool filled = fill(*ds, gm);
  ds.reset();
  if (first.failed()) {
    why = first.text("not completed");
    return false;
  }
  return filled;
}

}  // namespace

bool write_netcdf(const std::string& path, GridFile& g, const Placement& p, const NetcdfRequest& rq,
                  std::string& why) {
  return netcdf_file(path, p.srs, why, [&](GDALDataset& ds, const GridMapping& gm) {
    return fill_netcdf(ds, g, p, rq, gm, why);
  });
}

namespace {

bool fill_grids(GDALDataset& ds, const Placement& p, const std::vector<Band>& bands,
                const std::string& title, const GridMapping& gm, std::string& why) {
  auto root = ds.GetRootGroup();
  const auto f32 = GDALExtendedDataType::Create(GDT_Float32);
  auto dy = root->CreateDimension("y", GDAL_DIM_TYPE_HORIZONTAL_Y, "", p.ny);
  auto dx = root->CreateDimension("x", GDAL_DIM_TYPE_HORIZONTAL_X, "", p.nx);
  if (!dy || !dx || !text_attribute(*root, "Conventions", "CF-1.8") ||
      !text_attribute(*root, "title", title) || !write_xy(*root, dy, dx, p, gm)) {
    why = gdal_error("coordinates not written");
    return false;
  }
  std::vector<float> south(static_cast<std::size_t>(p.nx) * p.ny);
  for (const Band& b : bands) {
    const std::string chunks = "BLOCKSIZE=" + std::to_string(p.ny) + "," + std::to_string(p.nx);
    const char* vopts[] = {"COMPRESS=DEFLATE", "ZLEVEL=4", chunks.c_str(), nullptr};
    auto v = root->CreateMDArray(b.name, {dy, dx}, f32, const_cast<char**>(vopts));
    double fill = export_no_data;
    bool ok = v && v->SetNoDataValue(fill) &&
              (b.unit.empty() || text_attribute(*v, "units", b.unit)) &&
              (gm.name.empty() || text_attribute(*v, "grid_mapping", gm.name));
    for (const auto& [key, value] : b.metadata) ok = ok && text_attribute(*v, key.c_str(), value);
    for (int j = 0; j < p.ny; ++j) {
      const float* src = b.values.data() + static_cast<std::size_t>(p.ny - 1 - j) * p.nx;
      std::copy(src, src + p.nx, south.data() + static_cast<std::size_t>(j) * p.nx);
    }
    GUInt64 st[2] = {0, 0};
    std::size_t c[2] = {static_cast<std::size_t>(p.ny), static_cast<std::size_t>(p.nx)};
    if (!ok || !v->Write(st, c, nullptr, nullptr, f32, south.data())) {
      why = gdal_error("variable " + b.name + " not written");
      return false;
    }
  }
  return true;
}

}  // namespace

bool write_netcdf_grids(const std::string& path, const Placement& p, const std::vector<Band>& bands,
                        const std::string& title, std::string& why) {
  return netcdf_file(path, p.srs, why, [&](GDALDataset& ds, const GridMapping& gm) {
    return fill_grids(ds, p, bands, title, gm, why);
  });
}

}  // namespace qf::exp
