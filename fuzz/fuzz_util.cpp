#include "fuzz_util.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/defaults.h"
#include "io/file_io.h"

namespace codonspace::fuzz {

namespace {
std::string private_dir;

void remove_private_dir() {
  if (private_dir.empty()) return;
  std::error_code ec;
  std::filesystem::current_path("/", ec);
  std::filesystem::remove_all(private_dir, ec);
}
}  // namespace

void fail(const std::string& reason) {
  std::fprintf(stderr, "fuzz check failed: %s\n", reason.c_str());
  std::fflush(stderr);
  std::abort();
}

void enter_private_dir() {
  if (!private_dir.empty()) return;
  namespace fs = std::filesystem;
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
  std::string templ = base + "/codonspace-fuzz-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) fail("cannot make a temporary directory under " + base);
  private_dir = templ;
  std::atexit(remove_private_dir);

  std::error_code ec;
  const fs::path tables = default_tables_dir();
  fs::create_directory(fs::path(private_dir) / "data", ec);
  if (ec) fail("cannot make data/ in " + private_dir + ": " + ec.message());
  for (const auto& entry : fs::directory_iterator(tables, ec)) {
    if (!entry.is_regular_file() || entry.path().filename() == "README.md") continue;
    fs::copy_file(entry.path(), fs::path(private_dir) / "data" / entry.path().filename(), ec);
    if (ec) fail("cannot copy " + entry.path().string() + ": " + ec.message());
  }
  if (ec) fail("cannot list the tables in " + tables.string() + ": " + ec.message());
  if (chdir(private_dir.c_str()) != 0) fail("cannot enter " + private_dir);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) fail("cannot send standard output to /dev/null");
}

void write_file(const char* name, std::string_view bytes) {
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) fail(std::string("cannot create ") + name);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) fail(std::string("cannot write ") + name);
}

std::string read_file(const char* name, bool* found) {
  std::string text;
  FILE* f = std::fopen(name, "rb");
  if (found != nullptr) *found = f != nullptr;
  if (f == nullptr) return text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) fail(std::string("cannot read ") + name);
  return text;
}

std::string fasta_outcome(const std::function<std::vector<annotate::FastaRecord>()>& read) {
  try {
    std::string s;
    for (const auto& r : read()) s += r.id + " line " + std::to_string(r.line) + "\n" + r.sequence + "\n";
    return s;
  } catch (const Error& e) {
    return std::string("error: ") + e.what();
  }
}

std::vector<std::string_view> split_input(const uint8_t* data, size_t size, size_t parts) {
  std::vector<std::string_view> out;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (out.size() + 1 < parts) {
    const size_t nul = rest.find('\0');
    if (nul == std::string_view::npos) break;
    out.push_back(rest.substr(0, nul));
    rest.remove_prefix(nul + 1);
  }
  out.push_back(rest);
  out.resize(parts);
  return out;
}

}  // namespace codonspace::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  codonspace::fuzz::enter_private_dir();
  return 0;
}
