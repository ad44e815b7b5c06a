// Model state: the grid fields and the parameter records of one model.
//
// Grid: nx x ny real cells of dx x dy metres, padded by one ghost cell on
// every side: nxx = nx + 2 cells per row, nyy = ny + 2 rows, nn = nxx * nyy
// nodes. A field is a flat array of nn 32-bit values, x fastest. The node of
// column i (1..nxx) and row j (1..nyy) has the node index
// k = i + (j - 1) * nxx, counted from 1 as it is stored in the table storage
// and the result files; in C++ the array element is k - 1 (see `node`).
// Row j = 1 is the southern ghost row, column i = 1 the western ghost column.
// Neighbours of k: k - 1 west, k + 1 east, k - nxx south, k + nxx north.
// Every quantity is cell-centred.
//
// Units: time in hours, time step in seconds, lengths in metres, unit
// discharges q, r in m2/s, discharges in m3/s, precipitation in m/s.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qf {

// A grid has fewer nodes than a 32-bit node index can count; beyond that
// its size is limited by the memory the run may use (model/memory.h).
inline constexpr long long max_index_nodes = 2147483647LL;
inline constexpr int max_table = 100000;  // rows of the table storage
inline constexpr int max_erod = 20000;    // erodable nodes
inline constexpr int max_items = 20;      // result items
inline constexpr float table_end = -9999.0f;
// Height of the walls of the nodes outside the model above the highest real
// bed level [m].
inline constexpr float wall_height = 100.0f;

// Block type codes of the table storage.
enum BlockType : int {
  bt_waterlevel = 1,
  bt_weir = 2,
  bt_inflow = 3,
  bt_slope = 4,
  bt_tide = 5,
  bt_precipitation = 11,
  bt_discharge = 12,
  bt_load = 13,
  bt_culvert = 14,
};

// Per-node grid fields.
struct FlowValues {
  std::vector<float> h;            // flow depth [m]
  std::vector<float> q;            // unit discharge in x [m2/s]
  std::vector<float> r;            // unit discharge in y [m2/s]
  std::vector<float> c;            // tracer concentration or temperature
  std::vector<float> zb;           // bed level [m]
  std::vector<float> ks;           // roughness, meaning set by the friction law
  std::vector<float> zbr;          // bedrock level [m]; -9e20 = none
  std::vector<float> veg;          // vegetation parameter [m]; > 0 vegetated
  std::vector<float> us;           // shear velocity [m/s]
  std::vector<float> nu;           // eddy viscosity [m2/s]
  std::vector<float> af;           // wetted-area factor [-]
  std::vector<float> qq;           // x flux kept for transport [m2/s]
  std::vector<float> rr;           // y flux kept for transport [m2/s]
  std::vector<float> src;          // water source [m/s]
  std::vector<float> srcm;         // tracer or heat load per unit area
  std::vector<float> dzbx;         // bed slope in x [-]
  std::vector<float> dzby;         // bed slope in y [-]
  std::vector<float> fleak;        // leakage coefficient [1/s]
  std::vector<float> hfloat;       // draught of a float, or deck underside + 1000
  std::vector<float> qb;           // bed-load rate [m2/s]
  std::vector<float> tind;         // inundation time [h]
  std::vector<std::uint8_t> ldry;  // 1 when the node is dry (h <= hdry)
  // 1 when the node lies outside the model: its bed-level cell held the
  // grid's no-data value. Such a node is a wall (bed raised high above every
  // real bed) that is kept dry; 0 everywhere else, the ghost ring included.
  std::vector<std::uint8_t> outside;
  bool allocated = false;
};

// Model parameters.
struct Coin {
  double x_origin = 0;  // centre of the first real cell
  double y_origin = 0;
  float gravity = 9.81f;
  float viscosity = 1.01e-6f;
  float cfl = 0.7f;
  float dx = 0, dy = 0;
  float cell_area = 0;
  float time = 0;  // model time [h]
  float time_initial = 9.0e10f;
  float time_end = 9.0e10f;
  float dt = 0;  // time step [s]
  std::int32_t max_steps = -1;
  float hdry = 0.02f;
  float change_rate = 0;
  float stored_volume = 0;
  float mixing_length_sq = 0;
  float cv = 0;
  float result_interval = 9.0e10f;
  std::vector<float> table_a = std::vector<float>(max_table + 2, 0.0f);  // 1-based
  std::vector<float> table_b = std::vector<float>(max_table + 2, 0.0f);  // 1-based
  float no_data = -9.0e20f;
  float end_marker = -99.0f;
  float dt_out = 0.01f;
  // Hours between saved warm-start states (0: none).
  float checkpoint_interval = 0;
  std::array<float, 8> boundary_flow{};  // W in, W out, S in, S out, E in, E out, N in, N out
};

// Per erodable node: critical shear stress [N/m2], erosion divisor (>= 1),
// minimum depth for erosion [m], floor level [m].
struct ErodRecord {
  float tau_crit = 50;
  float divisor = 10;
  float hmin = 0;
  float floor = 0;
};

// A gauge: a named point at which depth, water level and speed are written
// at every time-series tick. k is the 1-based node index of its cell, 0 when
// the point lies outside the grid or on a cell outside the model.
struct Gauge {
  std::string name;
  double x = 0, y = 0;  // map coordinates as given
  int k = 0;
  int i = 0, j = 0;  // column and row of the cell, counted from the first real cell
};

// Geometry, counters, lists and file channels.
struct Coin1 {
  // 1 .. nxx and 1 .. nyy, relative to the origin: the grid section sizes
  // them to its grid; the default room serves models set up without one.
  std::vector<float> xc = std::vector<float>(20001, 0.0f);
  std::vector<float> yc = std::vector<float>(20001, 0.0f);
  std::vector<ErodRecord> erod;  // in order of erod_node
  std::int32_t nx = 0, ny = 0;
  std::int32_t nwet = 0;
  std::int32_t nxx = -1, nyy = -1;
  std::int32_t nn = 0;
  std::int32_t item_count = 0;
  std::array<std::int32_t, max_items> item_code{};
  std::array<std::int32_t, 2> cfl_cell{};
  std::int32_t friction_law = 0;
  std::int32_t result_count = 0;
  std::int32_t nerod = 0;
  std::int32_t ch_command = 8, ch_listing = 9, ch_result = 10, ch_aux = 11;
  std::int32_t word_size = 4;
  std::vector<std::int32_t> erod_node;  // node indices (1-based)
  std::vector<Gauge> gauges;            // in the order given
};

// Text parameters (stored trimmed; the fixed length is the limit).
struct Cochar {
  std::string title;                  // up to 64 characters
  std::string result_file = "dares";  // up to 32
  std::string max_value_file;
  std::string initial_file;
  std::string max_depth_file;
  std::string max_flow_file;
  // Map projection: an EPSG code ("EPSG:27700") or the name of a file that
  // holds its WKT text, as given by "crs"; blank when none was given.
  std::string crs;
  // The file the bed levels were read from (blank when they stood in the
  // command file); a projection file beside it gives the run its projection.
  std::string bed_grid_file;
};

struct Csed {
  float d30 = 0;
  float d50 = 0;
  float d90 = 0.1f;
  float rel_density = 1.65f;
  float theta_crit = 0.05f;
  float time_factor = 1.0f;
};

struct Clog {
  bool steady = false;
  bool mobile_bed = false;
  bool second_order = false;
  bool no_data_set = false;
  bool second_order_boundary = false;
  bool transport = false;
  bool leakage = false;
  bool warm_started = false;
  bool turbulence = false;
  bool series_due = false;
  bool quiet = false;
};

// Extension record of the module sections.
struct Comn1 {
  std::int32_t module_int = 0;
  float module_real = 0;
  std::string module_text;
};

struct Model {
  FlowValues f;
  Coin coin;
  Coin1 coin1;
  Cochar cochar;
  Csed csed;
  Clog clog;
  Comn1 comn1;

  // Array element of the node in column i, row j (both from 1).
  int node(int i, int j) const { return (i - 1) + (j - 1) * coin1.nxx; }
};

// Result item codes and their 32-character header labels.
bool item_known(int code);
// The label is a blank, the key letter (or a blank) and the title, padded to
// 32: " DFlow Depth [m]". Unknown codes give 32 blanks.
std::string item_label(int code);
std::string time_label();  // "Time[h]" padded to 32

class Messages;

// Advances the model time `time` [h] by dth hours. A 32-bit time cannot
// take short steps late in a long run (from 256 h on a step under 0.055 s
// would not advance it at all) and rounds a fixed step the same way every
// time, so the steps are summed in double in `clock`, which follows `time`
// whenever someone else has set it.
inline void advance_clock(double& clock, float& time, float dth) {
  if (static_cast<float>(clock) != time) clock = time;
  clock += static_cast<double>(dth);
  time = static_cast<float>(clock);
}

// Allocates every field with n entries (nothing when n is 0) and zeroes h,
// q, r, c, zb, hfloat and tind (in fact every field starts at zero, and no
// node is outside). A failed
// or impossible allocation (n < 0, no memory) throws Stop(1) whose what() is
// "*** Trouble allocating flow values(g)***"; the caller prints it.
void alloc_flow(Model& m, long n);
void dealloc_flow(Model& m);
// Wetted-area factor of node k (1-based): 1 + side-wall area / plan area.
float area(const Model& m, int k);
// Cell of a point (x, y relative to the origin). i and j are the column and
// row counted from the first real cell (0 when outside); k the 1-based node
// index (0 when outside, with the warning "position out of model domain").
void getpos(const Model& m, float x, float y, int& i, int& j, int& k, Messages* msg, int listing);
void mmove(const float* a, float* b, long n);
void mmset(float* a, long n, float v);

}  // namespace qf
