#include <cmath>
#include <filesystem>
#include <ostream>

#include "io/textio.h"
#include "output/export/cli.h"
#include "output/export/combine.h"
#include "output/export/derived.h"

namespace qf::exp {

namespace {

std::string coord(double v) {
  return bare(fmt_f(v, 16, 4));
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string bare_real(double v) {
  std::string s = bare(fmt_f(v, 24, 6));
  while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
  return s;
}

void raise_envelope(const std::vector<float>& v, int scenario, std::vector<float>& env,
                    std::vector<float>* which) {
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (!std::isfinite(v[k]) || v[k] == export_no_data) continue;
    if (env[k] != export_no_data && v[k] <= env[k]) continue;
    env[k] = v[k];
    if (which != nullptr) (*which)[k] = static_cast<float>(scenario);
  }
}

std::vector<std::string> scenario_names(const std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  bool one_name = inputs.size() > 1;
  for (const std::string& f : inputs)
    one_name = one_name && fs::path(f).filename() == fs::path(inputs[0]).filename();
  std::vector<std::string> names;
  for (const std::string& f : inputs) {
    const fs::path p = fs::absolute(f).lexically_normal();
    names.push_back(one_name ? p.parent_path().filename().string() : p.stem().string());
  }
  return names;
}

bool open_scenarios(const std::vector<std::string>& inputs, std::vector<GridFile>& files,
                    std::ostream& err) {
  files.clear();
  files.resize(inputs.size());
  for (std::size_t s = 0; s < inputs.size(); ++s) {
    GridFile& g = files[s];
    std::string why;
    if (!open_grid_file(inputs[s], g, why)) {
      err << "quellfax-export: '" << inputs[s] << "': " << why << '\n';
      return false;
    }
    if (!g.max_file) {
      err << "quellfax-export: '" << inputs[s]
          << "': a result file; envelope and exceedance combine the max-value files of the "
             "runs\n";
      return false;
    }
    const Placement a = placement_of(files[0], ""), b = placement_of(g, "");
    if (b.nx != a.nx || b.ny != a.ny || std::fabs(b.west - a.west) > 0.5 * a.dx ||
        std::fabs(b.north - a.north) > 0.5 * a.dy || std::fabs(b.dx - a.dx) > 1e-3 * a.dx) {
      err << "quellfax-export: '" << inputs[s] << "': " << b.nx << " x " << b.ny << " cells of "
          << coord(b.dx) << " m from " << coord(b.west) << " " << coord(b.north) << ", not the "
          << a.nx << " x " << a.ny << " cells of " << coord(a.dx) << " m from " << coord(a.west)
          << " " << coord(a.north) << " of '" << inputs[0] << "'\n";
      return false;
    }
  }
  return true;
}

bool write_combined(const std::string& path, const Placement& p, const std::vector<Band>& bands,
                    const std::string& title, std::ostream& out, std::ostream& err) {
  const bool nc = ends_with(path, ".nc");
  std::string why;
  const bool ok = write_whole(
      path,
      [&](const std::string& part, std::string& w) {
        return nc ? write_netcdf_grids(part, p, bands, title, w)
                  : write_cog(part, p, bands, export_no_data, w);
      },
      why);
  if (!ok) {
    err << "quellfax-export: '" << path << "': " << why << '\n';
    return false;
  }
  out << " >" << path << ":";
  for (const Band& b : bands) out << " " << b.name;
  out << '\n';
  return true;
}

int envelope(const CombineRequest& rq, std::ostream& out, std::ostream& err) {
  std::vector<GridFile> files;
  if (!open_scenarios(rq.inputs, files, err)) return export_failed;
  const std::vector<std::string> names = rq.names.empty() ? scenario_names(rq.inputs) : rq.names;
  const std::size_t n = static_cast<std::size_t>(files[0].nx()) * files[0].ny();
  // The four maxima in the order of the max-value file, then the scenario.
  std::vector<Band> bands;
  for (const ItemInfo& it : files[0].items) {
    Band b;
    b.name = it.name;
    b.unit = it.units;
    b.values.assign(n, export_no_data);
    bands.push_back(std::move(b));
  }
  Band which;
  which.name = "scenario";
  which.values.assign(n, export_no_data);
  const int depth = files[0].find("max_depth");
  std::vector<float> v;
  for (std::size_t s = 0; s < files.size(); ++s) {
    for (std::size_t i = 0; i < bands.size(); ++i) {
      if (!read_array(files[s], 0, files[s].find(bands[i].name), v)) {
        err << "quellfax-export: '" << rq.inputs[s] << "': the maxima cannot be read\n";
        return export_failed;
      }
      raise_envelope(v, static_cast<int>(s) + 1, bands[i].values,
                     static_cast<int>(i) == depth ? &which.values : nullptr);
    }
    which.metadata.emplace_back("scenario_" + std::to_string(s + 1), names[s]);
  }
  // Where no scenario wets a cell, none gave its depth.
  const std::vector<float>& d = bands[static_cast<std::size_t>(depth)].values;
  for (std::size_t k = 0; k < n; ++k) {
    if (!(d[k] > 0)) which.values[k] = export_no_data;
  }
  bands.push_back(std::move(which));
  const Placement p = placement_of(files[0], rq.srs);
  return write_combined(rq.output, p, bands,
                        "envelope of " + std::to_string(files.size()) + " scenarios", out, err)
             ? export_ok
             : export_failed;
}

}  // namespace qf::exp
