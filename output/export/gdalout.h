// Writing through GDAL: Cloud-Optimised GeoTIFF (named bands, no-data,
// projection) and CF NetCDF of the records of a result file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "output/export/gridfile.h"

class GDALDataset;

namespace qf::exp {

// A GDAL dataset closed when it goes.
struct CloseDataset {
  void operator()(GDALDataset* d) const;
};
using Dataset = std::unique_ptr<GDALDataset, CloseDataset>;

// Placement of a grid on the map.
struct Placement {
  int nx = 0, ny = 0;
  double west = 0, north = 0;  // outer corner of the north-west cell
  double dx = 1, dy = 1;
  std::string srs;  // WKT or "EPSG:<number>" as GDAL takes it; blank: none
};
Placement placement_of(const GridFile& g, const std::string& srs);

struct Band {
  std::string name;           // band description
  std::string unit;           // UDUNITS form ("m s-1"); blank when none
  std::vector<float> values;  // nx * ny, north row first
  // Band metadata items (GeoTIFF) or variable attributes (NetCDF).
  std::vector<std::pair<std::string, std::string>> metadata;
};

// Checks that `srs` is a projection GDAL knows; false with the reason.
bool check_srs(const std::string& srs, std::string& why);

// Writes a file whole or not at all: `write` makes it under the temporary
// name "<path>.part" in the same folder, which is renamed to `path` when
// the writer succeeded. Otherwise what the writer left is removed and an
// earlier file named `path` stays as it was. False with the reason in `why`.
using FileWriter = std::function<bool(const std::string& part, std::string& why)>;
bool write_whole(const std::string& path, const FileWriter& write, std::string& why);

// One COG file with the bands; false with the reason in `why`.
bool write_cog(const std::string& path, const Placement& p, const std::vector<Band>& bands,
               float no_data, std::string& why);

struct NetcdfRequest {
  std::vector<int> items;    // indices into g.items
  std::vector<int> blocks;   // indices into g.times
  std::string reference;     // start of the run as "YYYY-MM-DD hh:mm:ss"; blank: none
  bool map_no_data = false;  // values equal to no_data_in become the fill value
  float no_data_in = 0;
  std::vector<std::uint8_t> outside;  // non-zero: cell outside the model (map order)
};

// NetCDF-4 file following the CF conventions: dimensions time, y, x, one
// variable per item (float, _FillValue -9999) and the grid mapping.
bool write_netcdf(const std::string& path, GridFile& g, const Placement& p, const NetcdfRequest& rq,
                  std::string& why);

// NetCDF-4 file of grids without time (CF conventions): dimensions y, x,
// one float variable per band (_FillValue -9999) and the grid mapping.
bool write_netcdf_grids(const std::string& path, const Placement& p, const std::vector<Band>& bands,
                        const std::string& title, std::string& why);

}  // namespace qf::exp
