#include "test_util.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/codon.h"
#include "io/file_io.h"

namespace fs = std::filesystem;

namespace testutil {

const std::vector<std::string> WORKING_FILES = {
    "processed_genome", "prediction_orfs", "longest_orf_sequences", "unit_gene_vectors.dat",
    "signal",           "longest_orfs",    "main_strand",           "complementary_strand"};
const std::vector<std::string> RESULT_FILES = {"gene_sequences",      "1main_orfs",          "2main_orfs",
                                               "3main_orfs",          "1complementary_orfs", "2complementary_orfs",
                                               "3complementary_orfs"};

namespace {
const std::string STARS = "         ***************************      \n";
}  // namespace
const std::string REPORT_BANNER = "\n\n\n\n\n\n" + STARS + "       Welcome to Orvelle  \n" + STARS + "\n\n";

std::string report_counts(long files, long shorts, long stops, long skipped, long analyzed, long proteins) {
  return "  Total Number of Files = " + std::to_string(files) + "\n  Number of short proteins = " +
         std::to_string(shorts) + "\n  Number of Files Skipped due to stops= " + std::to_string(stops) +
         "\n  Total Number of Files Skipped = " + std::to_string(skipped) + "\n  Number of files analyzed =  " +
         std::to_string(analyzed) + "\n  Number of Proteins Found =  " + std::to_string(proteins) + "\n" + STARS;
}

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

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  EXPECT_TRUE(f.is_open()) << "cannot read " << path;
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
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

void expect_error(const std::function<void()>& f, std::initializer_list<std::string> parts,
                  const std::string& context) {
  std::string what;
  try {
    f();
    ADD_FAILURE() << context << ": no Error thrown";
  } catch (const codonspace::Error& e) {
    what = e.what();
  }
  for (const auto& part : parts) EXPECT_NE(what.find(part), std::string::npos) << context << ": " << what;
}

StageRun run_captured(const std::function<int()>& stage) {
  StageRun r;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  try {
    r.status = stage();
  } catch (...) {
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    throw;
  }
  r.out = testing::internal::GetCapturedStdout();
  r.err = testing::internal::GetCapturedStderr();
  return r;
}

StageRun expect_missing_input(const std::function<int()>& stage, const std::string& file) {
  StageRun r;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  expect_error([&] { r.status = stage(); }, {"cannot open '" + file + "'"}, file);
  r.out = testing::internal::GetCapturedStdout();
  r.err = testing::internal::GetCapturedStderr();
  return r;
}

std::string codon_value_list(const std::map<std::string, float>& values) {
  std::ostringstream s;
  for (int i = 63; i >= 0; --i) {
    const std::string codon = codonspace::str_rep(i);
    auto it = values.find(codon);
    s << codon << ' ' << (it == values.end() ? 0.0f : it->second) << '\n';
  }
  return s.str();
}

void write_tables(const Tables& t) {
  fs::create_directories("data");
  write_file("data/HBondEnergies_MDmapped3.dat", codon_value_list(t.x));
  write_file("data/StackingEnergies_MD.dat", codon_value_list(t.y));
  std::ostringstream z;
  for (float v : t.z) z << v << '\n';
  write_file("data/z.dat", z.str());
  write_file("data/best_plane_fixed.dat", t.plane);
}

RunResult run_binary(const std::vector<std::string>& args, long fsize_limit, const char* stdout_file) {
  RunResult r;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    ADD_FAILURE() << "pipe failed";
    return r;
  }
  std::vector<std::string> argv_s = {CODONSPACE_BINARY};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    if (fsize_limit >= 0) {
      const struct rlimit lim = {static_cast<rlim_t>(fsize_limit), static_cast<rlim_t>(fsize_limit)};
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    dup2(stdout_file != nullptr ? open(stdout_file, O_WRONLY) : out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  // Both pipes are drained together, so that neither can fill and block.
  struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&r.out, &r.err};
  for (int open_fds = 2; open_fds > 0;) {
    if (poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0) ADD_FAILURE() << "fork failed";
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

pid_t spawn(const std::string& binary, std::vector<std::string> args, const SpawnIo& io) {
  args.insert(args.begin(), binary);
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!io.tmpdir.empty()) setenv("TMPDIR", io.tmpdir.c_str(), 1);
    dup2(open(io.in.c_str(), O_RDONLY), STDIN_FILENO);
    dup2(open(io.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
    dup2(open(io.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int wait_status(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0) ADD_FAILURE() << "fork or wait failed";
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testutil
