#include "test_util.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "annotate/fasta.h"
#include "core/codon.h"
#include "io/file_io.h"
#include "stages/stages.h"

namespace fs = std::filesystem;

namespace testutil {

void TempDirTest::SetUp() {
  old_cwd_ = fs::current_path().string();
  std::string templ = (fs::temp_directory_path() / "codonspace_test_XXXXXX").string();
  ASSERT_NE(mkdtemp(templ.data()), nullptr);
  dir_ = templ;
  fs::current_path(dir_);
}

void TempDirTest::TearDown() {
  fs::current_path(old_cwd_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << content;
  ASSERT_TRUE(f.good()) << "cannot write " << path;
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  EXPECT_TRUE(f.is_open()) << "cannot read " << path;
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string gzip(const std::string& content, int level) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, content.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  zs.avail_in = static_cast<uInt>(content.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void put_file(const std::string& path, const char* content) {
  if (content == nullptr)
    std::remove(path.c_str());
  else
    write_file(path, content);
}

std::string reverse_complement(const std::string& s) {
  std::string r(s.rbegin(), s.rend());
  for (char& c : r) c = codonspace::comp_base(c);
  return r;
}

std::string random_bases(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, 'A');
  for (char& c : s) c = "ACGT"[rng() % 4];
  return s;
}

std::string draft_bases(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s = random_bases(n, seed);
  for (size_t k = 0; k < n / 2000; ++k) {
    const size_t at = rng() % (n - 300);
    if (k % 3 == 0)
      s.replace(at, 1 + at % 300, 1 + at % 300, 'N');
    else
      s[at] = "NRYKMSWX"[rng() % 8];
  }
  return s;
}

std::string example_genome() {
  return codonspace::annotate::read_fasta(CODONSPACE_SOURCE_DIR "/example/ctrachomatis.fna").at(0).sequence;
}

std::string fasta(const std::string& id, const std::string& seq) {
  std::string out = ">" + id + "\n";
  for (size_t i = 0; i < seq.size(); i += 70) out += seq.substr(i, 70) + "\n";
  return out;
}

void expect_contains(const std::string& text, const std::vector<std::string>& parts, const std::string& context) {
  for (const auto& part : parts) EXPECT_NE(text.find(part), std::string::npos) << context << ": " << text;
}

void expect_error(const std::function<void()>& f, const std::vector<std::string>& parts,
                  const std::string& context) {
  std::string what;
  try {
    f();
    ADD_FAILURE() << context << ": no Error thrown";
  } catch (const codonspace::Error& e) {
    what = e.what();
  }
  expect_contains(what, parts, context);
}

std::string expect_missing_input(const std::function<int()>& stage, const std::string& file) {
  testing::internal::CaptureStdout();
  expect_error([&] { stage(); }, {"cannot open '" + file + "'"}, file);
  return testing::internal::GetCapturedStdout();
}

void write_tables(const Tables& t) {
  // All 64 codons, one "CODON value" pair per line, in decreasing index order.
  const auto codon_values = [](const std::map<std::string, float>& values) {
    std::ostringstream s;
    for (int i = 63; i >= 0; --i) {
      const auto it = values.find(codonspace::str_rep(i));
      s << codonspace::str_rep(i) << ' ' << (it == values.end() ? 0.0f : it->second) << '\n';
    }
    return s.str();
  };
  fs::create_directories("data");
  write_file("data/HBondEnergies_MDmapped3.dat", codon_values(t.x));
  write_file("data/StackingEnergies_MD.dat", codon_values(t.y));
  std::ostringstream z;
  for (float v : t.z) z << v << '\n';
  write_file("data/z.dat", z.str());
  write_file("data/best_plane_fixed.dat", t.plane);
}

std::vector<std::string> result_files() {
  std::vector<std::string> names = {codonspace::GENE_SEQUENCES};
  names.insert(names.end(), std::begin(codonspace::FRAME_FILES), std::end(codonspace::FRAME_FILES));
  return names;
}

const std::vector<std::string> PlantedGenome::CODING_CODONS = {"GCC", "GAA", "AAG", "CTG", "ACC",
                                                               "GAC", "ATC", "CGC", "AAC", "CAC"};

PlantedGenome::PlantedGenome(unsigned seed, size_t length) : rng_(seed) { seq = random(length); }

std::string PlantedGenome::random(size_t n) {
  std::string s(n, 'A');
  for (char& c : s) c = "ACGT"[rng_() % 4];
  return s;
}

codonspace::Gene PlantedGenome::plant(long start, int codons, char strand, bool coding) {
  std::string g = (coding ? "AGGAGG" + random(7) : random(13)) + "ATG";
  while (static_cast<int>(g.size()) < 13 + 3 * (codons - 1)) {
    const std::string c = coding ? CODING_CODONS[rng_() % CODING_CODONS.size()] : random(3);
    if (c != "TAA" && c != "TAG" && c != "TGA") g += c;
  }
  g += "TAA";
  const long len = 3L * codons;
  if (strand == '+') {
    seq.replace(static_cast<size_t>(start - 14), g.size(), g);
    return {start, start + len - 1, '+'};
  }
  seq.replace(static_cast<size_t>(start - len), g.size(), reverse_complement(g));
  return {start - len + 1, start, '-'};
}

SpawnIo in_child(std::function<void()> before_exec, SpawnIo io) {
  io.before_exec = std::move(before_exec);
  return io;
}

namespace {
// Forks; the child takes its streams from io (out_fd and err_fd, when not
// negative, for standard output and error), runs io.before_exec and then
// binary.
pid_t start(const std::string& binary, std::vector<std::string> args, const SpawnIo& io, int out_fd, int err_fd) {
  args.insert(args.begin(), binary);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (!io.tmpdir.empty()) setenv("TMPDIR", io.tmpdir.c_str(), 1);
  const auto open_out = [](const std::string& path) {
    return open(path.empty() ? "/dev/null" : path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  };
  dup2(open(io.in.c_str(), O_RDONLY | O_CLOEXEC), STDIN_FILENO);
  dup2(out_fd >= 0 ? out_fd : open_out(io.out), STDOUT_FILENO);
  dup2(err_fd >= 0 ? err_fd : open_out(io.err), STDERR_FILENO);
  if (io.before_exec) io.before_exec();
  execv(argv[0], argv.data());
  _exit(127);
}

void drain(int fd, std::string& sink) {
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) sink.append(buf, static_cast<size_t>(n));
  close(fd);
}
}  // namespace

pid_t spawn(const std::string& binary, std::vector<std::string> args, const SpawnIo& io) {
  return start(binary, std::move(args), io, -1, -1);
}

int wait_status(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0) ADD_FAILURE() << "fork or wait failed";
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A pipe for each stream not given in io, drained by threads of their own
// so that neither can fill and block.
RunResult run(const std::string& binary, const std::vector<std::string>& args, const SpawnIo& io) {
  RunResult r;
  int pipes[2][2] = {{-1, -1}, {-1, -1}};
  for (int i = 0; i < 2; ++i)
    if ((i == 0 ? io.out : io.err).empty() && pipe2(pipes[i], O_CLOEXEC) != 0) ADD_FAILURE() << "pipe failed";
  const pid_t pid = start(binary, args, io, pipes[0][1], pipes[1][1]);
  std::vector<std::thread> readers;
  for (int i = 0; i < 2; ++i) {
    if (pipes[i][0] < 0) continue;
    close(pipes[i][1]);
    readers.emplace_back(drain, pipes[i][0], std::ref(i == 0 ? r.out : r.err));
  }
  for (auto& t : readers) t.join();
  r.status = wait_status(pid);
  return r;
}

RunResult run_binary(const std::vector<std::string>& args, const SpawnIo& io) {
  return run(CODONSPACE_BINARY, args, io);
}

std::function<void()> file_size_limit(long bytes) {
  return [bytes] {
    const struct rlimit lim = {static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    setrlimit(RLIMIT_FSIZE, &lim);
  };
}

}  // namespace testutil
