#include <cmath>
#include <ostream>

#include "io/textio.h"
#include "output/export/cli.h"
#include "output/export/combine.h"
#include "output/export/derived.h"

namespace qf::exp {

void add_exceedance(const std::vector<float>& depth, float threshold, double weight,
                    std::vector<double>& sum, std::vector<std::uint8_t>& seen) {
  for (std::size_t k = 0; k < depth.size(); ++k) {
    const float d = depth[k];
    if (!std::isfinite(d) || d == export_no_data) continue;
    seen[k] = 1;
    if (d > threshold) sum[k] += weight;
  }
}

int exceedance(const CombineRequest& rq, std::ostream& out, std::ostream& err) {
  std::vector<GridFile> files;
  if (!open_scenarios(rq.inputs, files, err)) return export_failed;
  const std::vector<std::string> names = rq.names.empty() ? scenario_names(rq.inputs) : rq.names;
  const std::size_t n = static_cast<std::size_t>(files[0].nx()) * files[0].ny();
  const bool annual = !rq.probability.empty();
  std::vector<double> sum(n, 0.0);
  std::vector<std::uint8_t> seen(n, 0);
  std::vector<float> depth;
  Band b;
  for (std::size_t s = 0; s < files.size(); ++s) {
    if (!read_array(files[s], 0, files[s].find("max_depth"), depth)) {
      err << "quellfax-export: '" << rq.inputs[s] << "': the maxima cannot be read\n";
      return export_failed;
    }
    // Every scenario counts once; a cell outside the model of a scenario
    // is not flooded in it.
    add_exceedance(depth, rq.threshold, annual ? rq.probability[s] : 1.0, sum, seen);
    b.metadata.emplace_back("scenario_" + std::to_string(s + 1),
                            annual ? names[s] + " " + bare_real(rq.probability[s]) : names[s]);
  }
  b.name = annual ? "annual_exceedance_probability" : "exceedance_share";
  b.unit = annual ? "a-1" : "1";
  b.metadata.emplace_back("threshold_m", bare_real(rq.threshold));
  b.values.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double v = annual ? sum[k] : sum[k] / static_cast<double>(files.size());
    b.values[k] = seen[k] != 0 ? static_cast<float>(v) : export_no_data;
  }
  const Placement p = placement_of(files[0], rq.srs);
  return write_combined(rq.output, p, {b},
                        "depth above " + bare_real(rq.threshold) + " m in " +
                            std::to_string(files.size()) + " scenarios",
                        out, err)
             ? export_ok
             : export_failed;
}

}  // namespace qf::exp
