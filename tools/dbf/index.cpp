// SPDX-License-Identifier: MIT
// tags and keys: what an index file holds, read without its table; and
// the order part of check.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>

#include "dbf/areas.h"
#include "dbf/cdx.h"
#include "dbf/commands.h"
#include "dbf/date.h"
#include "dbf/index_key.h"
#include "dbf/ntx.h"
#include "dbf/orders.h"

namespace talvi::dbf::tool {
namespace {

struct IndexFile {
  std::unique_ptr<CdxFile> cdx;
  std::unique_ptr<NtxFile> ntx;
};

// Opens an index file of either format, told by its first page.
bool OpenIndex(const std::string& path, IndexFile& f) {
  int oscode = 0;
  auto probe = os::SharedFile::Open(path, os::SharedMode(true), oscode);
  if (!probe) {
    std::fprintf(stderr, "talvi-dbf: cannot open %s (system error %d)\n", path.c_str(), oscode);
    return false;
  }
  unsigned char b[1024] = {};
  const std::int64_t got = probe->ReadAt(0, b, sizeof b);
  probe.reset();
  if (got > 0 && CdxFile::LooksLikeCdx(b, static_cast<std::size_t>(got))) {
    f.cdx = CdxFile::Open(path, true, true);
    return f.cdx != nullptr;
  }
  f.ntx = NtxFile::Open(path, true, true);
  return f.ntx != nullptr;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Trimmed(const std::string& s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? "" : s.substr(0, end + 1);
}

// A key as text: numbers and dates of CDX files decoded, other keys as
// their bytes without trailing blanks.
std::string KeyText(const std::string& key, char type) {
  if (type == 'N' && key.size() == 8) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", FromOrderedDouble(key));
    return buf;
  }
  if (type == 'D' && key.size() == 8) {
    const double jd = FromOrderedDouble(key);
    return jd == 0 ? "" : Dtos(static_cast<std::int32_t>(std::lround(jd)));
  }
  return Trimmed(key);
}

int PrintKeys(IndexTree& tree, char type, std::ostream& out) {
  const bool ok = tree.Walk([&](const IndexEntry& e) {
    out << e.recno << "\t" << KeyText(e.key, type) << "\n";
    return true;
  });
  return ok ? 0 : 1;
}

}  // namespace

int Tags(const std::string& path, std::ostream& out) {
  IndexFile f;
  if (!OpenIndex(path, f)) return 2;
  if (f.ntx) {
    const NtxHeader& h = f.ntx->header();
    out << "NTX " << (h.name.empty() ? "-" : h.name) << " key=" << h.key_expr
        << " for=" << h.for_expr << " unique=" << (h.unique ? 1 : 0)
        << " descending=" << (h.descending ? 1 : 0) << " keylength=" << h.key_size << "\n";
    return 0;
  }
  for (const auto& t : f.cdx->tags()) {
    const CdxTagInfo& i = t->info();
    out << "CDX " << i.name << " key=" << i.keyExpr << " for=" << i.forExpr
        << " unique=" << (i.unique ? 1 : 0) << " descending=" << (i.descending ? 1 : 0)
        << " keylength=" << i.keyLength << "\n";
  }
  return 0;
}

int Keys(const std::string& path, const std::string& tag, std::ostream& out) {
  IndexFile f;
  if (!OpenIndex(path, f)) return 2;
  if (f.ntx) return PrintKeys(*f.ntx, 'C', out);
  int status = 0;
  bool any = false;
  for (const auto& t : f.cdx->tags()) {
    if (!tag.empty() && !SameName(t->info().name, tag)) continue;
    if (tag.empty() && f.cdx->tags().size() > 1) out << "tag " << t->info().name << "\n";
    any = true;
    status = std::max(status, PrintKeys(*t, t->info().type, out));
  }
  if (!any && !tag.empty()) {
    std::fprintf(stderr, "talvi-dbf: no tag %s in %s\n", tag.c_str(), path.c_str());
    return 1;
  }
  return status;
}

int CheckOrders(const std::string& table, const std::vector<std::string>& indexes,
                std::ostream& out) {
  Areas& w = Workspace();
  if (!w.Use(table, "", {.shared = true, .read_only = true})) return 2;
  Orders& o = w.Current().orders();
  int status = 0;
  // The table stays usable in record order without its structural index,
  // but its orders are then unknown: not consistent.
  if (!o.structural_failure().empty()) {
    out << "problem: the structural index " << o.structural_failure() << " will not open\n";
    status = 1;
  }
  for (const auto& i : indexes) {
    if (!o.Open(i)) return 2;
  }
  for (int n = 1; n <= o.count(); ++n) {
    std::vector<std::string> problems, notes;
    std::uint32_t keys = 0;
    o.Check(n, problems, notes, keys);
    for (const auto& p : problems) out << "problem: " << p << "\n";
    for (const auto& p : notes) out << "note: " << p << "\n";
    out << "order " << o.At(n)->name << " (" << o.At(n)->bag_name << "): " << keys << " keys, "
        << (problems.empty() ? "consistent" : "inconsistent") << "\n";
    if (!problems.empty()) status = 1;
  }
  w.CloseAll();
  return status;
}

}  // namespace talvi::dbf::tool
