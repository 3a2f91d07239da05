#include "app/generate.h"

#include <array>
#include <charconv>
#include <cmath>
#include <random>
#include <stdexcept>
#include <vector>

namespace pierhost {

std::pair<double, double> ParsePair(const std::string& text, const std::string& what) {
  const auto x = text.find_first_of("xX");
  double a = 0, b = 0;
  const auto parse = [](const std::string& s, double& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size() && std::isfinite(v) && v > 0;
  };
  if (x == std::string::npos || !parse(text.substr(0, x), a) || !parse(text.substr(x + 1), b)) {
    throw std::invalid_argument(what + " expects two positive numbers like 4x5, got '" + text +
                                "'");
  }
  return {a, b};
}

namespace {
std::string Num(double v) {
  char buf[32];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, std::round(v * 10) / 10);
  return std::string(buf, p);
}
std::string Letters(int i) {
  std::string s;
  for (++i; i > 0; i = (i - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (i - 1) % 26));
  return s;
}
}  // namespace

std::string GenerateBuilding(const GenerateOptions& o) {
  if (o.storeys < 1 || o.grid_x < 1 || o.grid_y < 1) {
    throw std::invalid_argument(
        "a building needs at least one storey and one column in each direction");
  }
  if (static_cast<double>(o.storeys) * o.grid_x * o.grid_y > 1e6) {
    throw std::invalid_argument("more than a million columns is beyond what the generator writes");
  }
  std::mt19937 rng(o.seed);
  std::uniform_real_distribution<double> unit(0, 1);
  std::string out;
  out.reserve(static_cast<std::size_t>(o.storeys * o.grid_x * o.grid_y) * 130 + 200);
  out += "{\n  \"format\": \"pier-model\",\n  \"version\": 1,\n  \"name\": \"" + o.name +
         "\",\n  \"columns\": [";
  bool first = true;
  // Offsets of each grid column's current section centre, carried up.
  std::vector<double> shift_x(static_cast<std::size_t>(o.grid_x * o.grid_y), 0.0);
  std::vector<double> shift_y(shift_x.size(), 0.0);
  double w = o.width, l = o.length;
  for (int s = 0; s < o.storeys; ++s) {
    const double bottom = s * (o.storey_height + o.slab);
    const double top = bottom + o.storey_height;
    // Every third storey the sections shrink by 50 mm on every side.
    const double w_below = w;
    if (s > 0 && s % 3 == 0) {
      w = std::max(250.0, w - 100);
      l = std::max(250.0, l - 100);
    }
    for (int i = 0; i < o.grid_x; ++i) {
      for (int j = 0; j < o.grid_y; ++j) {
        const auto k = static_cast<std::size_t>(i * o.grid_y + j);
        // Some columns are missing; some stand offset on the one below,
        // staying inside it: an offset changes by 40 mm at most, where the
        // section shrank by 80 mm or more.
        if (s > 0 && unit(rng) < 0.03) continue;
        if (w_below - w >= 80 && unit(rng) < 0.3) shift_x[k] = std::round((unit(rng) - 0.5) * 40);
        const double cx = i * o.bay + shift_x[k], cy = j * o.bay + shift_y[k];
        const double x0 = cx - w / 2, y0 = cy - l / 2, x1 = cx + w / 2, y1 = cy + l / 2;
        // Corners listed from any corner, in either sense, as drawing
        // programs do.
        std::array<std::pair<double, double>, 4> c{{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
        const int start = static_cast<int>(unit(rng) * 4) % 4;
        const bool clockwise = unit(rng) < 0.5;
        out += first ? "\n" : ",\n";
        first = false;
        out += "    { \"id\": \"S" + std::string(s < 9 ? "0" : "") + std::to_string(s + 1) + "-" +
               Letters(i) + std::to_string(j + 1) + "\", \"corners\": [";
        for (int m = 0; m < 4; ++m) {
          const int idx = clockwise ? (start - m + 4) % 4 : (start + m) % 4;
          out += (m ? ", [" : "[") + Num(c[static_cast<std::size_t>(idx)].first) + ", " +
                 Num(c[static_cast<std::size_t>(idx)].second) + "]";
        }
        out += "], \"bottom\": " + Num(bottom) + ", \"top\": " + Num(top) + " }";
      }
    }
  }
  out += "\n  ]\n}\n";
  return out;
}

}  // namespace pierhost
