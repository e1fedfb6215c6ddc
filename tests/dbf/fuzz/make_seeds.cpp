// SPDX-License-Identifier: MIT
// Writes the fuzz target's seeds: every fixture table with its memo file in
// the target's input layout, every fixture index file, and a few
// expressions.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

static std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  const fs::path fixtures = argv[1];
  const fs::path seeds = argv[2];
  // Made afresh, in a fixed order: a seed has the same name every time
  // (the plain driver draws its changes of an input from its name).
  fs::remove_all(seeds);
  fs::create_directories(seeds);
  int n = 0;
  const auto put = [&](const std::string& bytes) {
    std::ofstream(seeds / ("seed" + std::to_string(n++)), std::ios::binary) << bytes;
  };
  const auto sorted = [](const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
  };
  for (const auto& dir : sorted(fixtures)) {
    for (const auto& path : sorted(dir)) {
      std::string ext = path.extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext == ".cdx" || ext == ".ntx") {
        // Index files: selector 3 (CDX) or 4 (NTX), then the file.
        put(std::string(1, ext == ".cdx" ? '\x03' : '\x04') + Read(path));
        continue;
      }
      if (ext != ".dbf") continue;
      const std::string table = Read(path);
      if (table.size() > 65535) continue;
      std::string memo;
      char selector = 0;
      for (const char* m : {".dbt", ".DBT", ".FPT", ".fpt"}) {
        fs::path p = path;
        p.replace_extension(m);
        if (fs::exists(p)) {
          memo = Read(p);
          selector = (m[1] == 'F' || m[1] == 'f') ? 1 : 0;
          break;
        }
      }
      if (memo.size() > 200000) memo.resize(200000);
      std::string seed(1, selector);
      seed += static_cast<char>(table.size() & 0xFF);
      seed += static_cast<char>(table.size() >> 8);
      put(seed + table + memo);
    }
  }
  for (const char* e : {"!DELETED()", "UPPER(NAME)+DTOS(DAY)", "IIF(a->b > 3, STR(1,5,2), [x])",
                        "10/0 + VAL('1.5') * -2 ^ 2", "SUBSTR('abc', -2) $ PADC(\"x\", 9, '*')"}) {
    put(std::string(1, '\x02') + e);
  }
  std::printf("%d seeds\n", n);
  return 0;
}
