// SPDX-License-Identifier: MIT
// Pack and zap killed at every point where they change a file: a real
// process runs the pack (or zap) and is killed (SIGKILL) just before its
// n-th write, truncation, flush or rename, for every n until it gets
// through. After each kill the table and its memo file, under their own
// names, are either the old pair or the packed (zapped) one: the engine
// reads them so and finds them consistent, Debian's python3-dbfread reads
// the same (when installed), and packing (zapping) again finishes the work.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "command_output.h"
#include "dbf/table.h"
#include "dbf_support.h"
#include "os/shared_file.h"
#include "table_content.h"

namespace talvi::dbf {
namespace {

namespace fs = std::filesystem;
using talvi::testing::ReadBytes;
using testing::Content;
using testing::Read;

// Kills its process just before the n-th call that changes a file.
class KillAt : public os::FileOps {
 public:
  explicit KillAt(int n) : n_(n), was_(os::SetFileOps(this)) {}
  ~KillAt() override { os::SetFileOps(was_); }
  KillAt(const KillAt&) = delete;
  KillAt& operator=(const KillAt&) = delete;

  std::int64_t WriteAt(os::NativeFile file, std::uint64_t offset, const void* data,
                       std::size_t size, int& oscode) override {
    Tick();
    return FileOps::WriteAt(file, offset, data, size, oscode);
  }
  bool Truncate(os::NativeFile file, std::uint64_t size, int& oscode) override {
    Tick();
    return FileOps::Truncate(file, size, oscode);
  }
  bool Flush(os::NativeFile file, bool to_disk, int& oscode) override {
    Tick();
    return FileOps::Flush(file, to_disk, oscode);
  }
  bool Rename(const std::string& from, const std::string& to, int& oscode) override {
    Tick();
    return FileOps::Rename(from, to, oscode);
  }

 private:
  void Tick() {
    if (++calls_ == n_) ::raise(SIGKILL);
  }
  int n_;
  int calls_ = 0;
  os::FileOps* was_;
};

// The same through python3-dbfread, sorted (it lists deleted records
// apart); empty when it is not installed.
constexpr const char* kDbfread = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding='latin-1', load=True, char_decode_errors='strict')
memos = [f.name for f in t.fields if f.type == 'M']
def hexof(v):
    if v is None: return ''
    return (v if isinstance(v, bytes) else v.encode('latin-1')).hex()
for flag, rows in ((' ', t.records), ('*', t.deleted)):
    for r in rows:
        print('|'.join([flag, r[sys.argv[2]]] + [hexof(r[m]) for m in memos]))
)";

bool HaveDbfread() {
  return std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") == 0;
}

std::vector<std::string> Dbfread(const std::string& path, const std::string& key,
                                 const std::string& script) {
  std::vector<std::string> lines;
  const std::string out =
      testing::RunCommand("/usr/bin/python3 '" + script + "' '" + path + "' " + key + " 2>&1").out;
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t nl = out.find('\n', at);
    lines.push_back(out.substr(at, nl - at));
    at = nl == std::string::npos ? out.size() : nl + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The engine's lines as dbfread prints them: a text field without its
// trailing blanks, FPT types left out.
std::vector<std::string> AsDbfread(const Content& c) {
  std::vector<std::string> lines;
  for (const std::string& l : c.lines) {
    std::string out;
    std::size_t at = 0;
    for (int col = 0; at <= l.size(); ++col) {
      const std::size_t bar = std::min(l.find('|', at), l.size());
      std::string cell = l.substr(at, bar - at);
      if (col == 1) cell.erase(cell.find_last_not_of(' ') + 1);
      if (col >= 2 && cell.find(':') != std::string::npos) cell.erase(0, cell.find(':') + 1);
      out += (col ? "|" : "") + cell;
      at = bar + 1;
    }
    lines.push_back(out);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

class PackCrashTest : public ::testing::Test {
 protected:
  // Copies of the files before the pack, and what the table holds before
  // and after it.
  void Keep(const std::vector<std::string>& files) {
    for (const std::string& f : files) {
      const std::string copy = f + ".orig";
      fs::copy_file(f, copy, fs::copy_options::overwrite_existing);
      files_.emplace_back(f, copy);
    }
    before_ = Read(table_, key_);
    ASSERT_TRUE(before_.problems.empty()) << before_.problems.front();
    for (const std::string& l : before_.lines)
      if (l[0] != '*') after_.lines.push_back(l);
  }
  void MakeDbt() {
    table_ = dir_ / "PACK.DBF";
    memo_ = dir_ / "PACK.DBT";
    key_ = "NAME";
    ASSERT_TRUE(
        Table::Create(table_, {{"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}, {"MORE", 'M', 10, 0}}));
    auto t = Table::Open(table_, {.shared = false});
    ASSERT_NE(t, nullptr);
    for (int i = 1; i <= 8; ++i) {
      std::string r = t->BlankRecord();
      ASSERT_TRUE(t->PutValue(r, 0, Value::Character("r" + std::to_string(i))));
      ASSERT_TRUE(
          t->PutValue(r, 1, Value::Character(std::string(100, static_cast<char>('a' + i)))));
      // Grown: the first copy stays behind, dead.
      ASSERT_TRUE(t->PutValue(r, 1,
                              Value::Character(std::string(static_cast<std::size_t>(i) * 250,
                                                           static_cast<char>('a' + i)))));
      if (i % 3 != 0) {
        ASSERT_TRUE(t->PutValue(r, 2, Value::Character("more of " + std::to_string(i))));
      }
      if (i == 6) {
        ASSERT_TRUE(t->PutValue(r, 1, Value::Character("")));
      }
      if (i == 2 || i == 5 || i == 7) r[0] = '*';
      std::uint32_t n = 0;
      ASSERT_TRUE(t->AppendRecord(r, n));
    }
  }
  void Restore() {
    for (const auto& [f, copy] : files_)
      fs::copy_file(copy, f, fs::copy_options::overwrite_existing);
    std::error_code ec;
    fs::remove(table_ + ".pack", ec);
  }

  // Kills `work` (pack or zap) at every point in turn; gives the number of
  // points.
  int KillEverywhere(bool (Table::*work)() = &Table::Pack) {
    const bool dbfread = HaveDbfread();
    const std::string script = dir_ / "read.py";
    talvi::testing::WriteBytes(script, kDbfread);
    bool packed_seen = false;
    int n = 1;
    for (;; ++n) {
      Restore();
      const pid_t pid = ::fork();
      if (pid == 0) {
        testing::ErrorLog quiet;
        auto t = Table::Open(table_, {.shared = false});
        if (!t) ::_exit(10);
        KillAt kill(n);
        ::_exit(((*t).*work)() ? 0 : 11);
      }
      int status = 0;
      ::waitpid(pid, &status, 0);
      if (WIFEXITED(status)) {
        EXPECT_EQ(WEXITSTATUS(status), 0) << "through without a kill";
        break;
      }
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
      const Content now = Read(table_, key_);
      EXPECT_TRUE(now.problems.empty()) << "killed at " << n << ": " << now.problems.front();
      const bool old = now.lines == before_.lines;
      const bool packed = now.lines == after_.lines;
      EXPECT_TRUE(old || packed) << "killed at " << n << ": neither the old nor the packed table";
      // Once the packed table has the name, it keeps it.
      EXPECT_FALSE(packed_seen && !packed) << "killed at " << n << ": the old table came back";
      packed_seen = packed_seen || packed;
      if (dbfread) {
        EXPECT_EQ(Dbfread(table_, key_, script), AsDbfread(now)) << "killed at " << n;
      }
      // Packing (zapping) again finishes the work.
      {
        auto t = Table::Open(table_, {.shared = false});
        EXPECT_TRUE(t && ((*t).*work)()) << "killed at " << n;
      }
      const Content again = Read(table_, key_);
      EXPECT_EQ(again.lines, after_.lines) << "killed at " << n;
      EXPECT_TRUE(again.problems.empty());
      EXPECT_EQ(fs::file_size(memo_), packed_memo_size_) << "killed at " << n;
      if (n > 500) break;
    }
    EXPECT_TRUE(packed_seen);
    return n - 1;
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string table_;
  std::string memo_;
  std::string key_;
  std::uintmax_t packed_memo_size_ = 0;
  Content before_;
  Content after_;
  std::vector<std::pair<std::string, std::string>> files_;
};

TEST_F(PackCrashTest, DbtTableKilledAtEveryStepIsTheOldOrThePackedPair) {
  MakeDbt();
  // Records 1 3 4 6 8 stay: NOTE of 250, 750, 1000, none, 2000 bytes and
  // MORE of one block for 1 4 8: 1 + 1 + 2 + 2 + 4 + 3 blocks after the header.
  packed_memo_size_ = (1 + 1 + 1 + 2 + 2 + 1 + 4 + 1) * 512u;
  Keep({table_, memo_});
  const int points = KillEverywhere();
  EXPECT_GE(points, 12) << "every step of the pack changes a file at least once";
  EXPECT_TRUE(log_.empty());
}

TEST_F(PackCrashTest, FptTableKilledAtEveryStepKeepsEachMemosType) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-vfp-contacts");
  table_ = d + "/contacts.dbf";
  memo_ = d + "/contacts.FPT";
  key_ = "FIRST_NAME";
  {
    auto t = Table::Open(table_, {.shared = false});
    ASSERT_NE(t, nullptr);
    const int notes = t->FieldIndex("NOTES");
    std::string r;
    for (std::uint32_t n : {3u, 4u, 5u}) {
      ASSERT_TRUE(t->ReadRecord(n, r));
      ASSERT_TRUE(t->PutValue(r, notes, Value::Character("short " + std::to_string(n))));
      // Grown past its blocks: moves to the end.
      ASSERT_TRUE(t->PutValue(r, notes, Value::Character(std::string(300 * n, 'x'))));
      if (n == 4) r[0] = '*';
      ASSERT_TRUE(t->WriteRecord(n, r));
    }
    ASSERT_TRUE(t->ReadRecord(2, r));
    r[0] = '*';
    ASSERT_TRUE(t->WriteRecord(2, r));
    // Record 1's memo becomes a picture (type 0), as FoxPro stores one.
    ASSERT_TRUE(t->ReadRecord(1, r));
    std::uint32_t block = 0;
    ASSERT_TRUE(MemoPointer(t->RawValue(r, notes), block));
    ASSERT_NE(block, 0u);
    t.reset();
    std::string fpt = ReadBytes(memo_);
    const std::uint32_t bs = static_cast<std::uint32_t>(static_cast<unsigned char>(fpt[6]) << 8 |
                                                        static_cast<unsigned char>(fpt[7]));
    StoreBe32(fpt.data() + std::size_t{block} * bs, 0);
    talvi::testing::WriteBytes(memo_, fpt);
  }
  Keep({table_, memo_});
  ASSERT_EQ(before_.lines.front().substr(0, 2), " |");
  ASSERT_NE(before_.lines.front().find("|0:"), std::string::npos) << "record 1's memo is a picture";
  // Header, then record 1's picture and records 3 and 5 (900 and 1500
  // bytes), each with its 8-byte block header, in 64-byte blocks.
  {
    auto t = Table::Open(table_, {.shared = true, .read_only = true});
    std::string r;
    ASSERT_TRUE(t->ReadRecord(1, r));
    std::string one;
    ASSERT_TRUE(t->ReadMemo(r, t->FieldIndex("NOTES"), one));
    const auto blocks = [](std::size_t data) { return (data + 8 + 63) / 64; };
    packed_memo_size_ = (8 + blocks(one.size()) + blocks(900) + blocks(1500)) * 64;
  }
  const int points = KillEverywhere();
  EXPECT_GE(points, 12);
  EXPECT_TRUE(log_.empty());
}

TEST_F(PackCrashTest, ZapKilledAtEveryStepIsTheOldOrTheEmptyTable) {
  MakeDbt();
  packed_memo_size_ = 512;
  Keep({table_, memo_});
  after_.lines.clear();
  const int points = KillEverywhere(&Table::Zap);
  EXPECT_GE(points, 4);
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
