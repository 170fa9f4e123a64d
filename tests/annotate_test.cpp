// codonspace-annotate: FASTA reading, the output formats, end-to-end runs
// of the executable (parallel runs, clean-up after failures and signals,
// agreement with one-record codonspace runs, installation), and its choice
// of tables: self-trained on inputs of SELF_TRAIN_MIN_BASES or more, the
// shipped tables below, -d, --shipped-tables and -T; refused tables
// directories; inputs with nothing to find; and a record cut into pieces
// for several workers: the pieces' owned genes, merged, are the genes of
// the whole record wherever the cuts fall, and one worker writes the bytes
// of several. Last, strand symmetry: the genes found on the reverse
// complement of a sequence are the mirror images of the genes found on it,
// for the scan, codonspace and codonspace-annotate; unknown letters neither
// start nor stop a gene.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "annotate/annotate.h"
#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "annotate/record_pipeline.h"
#include "annotate/record_split.h"
#include "core/codon.h"
#include "core/genetic_code.h"
#include "io/file_io.h"
#include "training/self_training.h"
#include "stages/stages.h"
#include "test_util.h"
#include "training/orf_scan.h"

namespace fs = std::filesystem;
namespace ann = codonspace::annotate;
using ann::Gene;
using ann::Piece;
using testutil::exists;
using testutil::list_dir;
using testutil::read_file;
using testutil::write_file;

namespace {

const std::string SOURCE_DIR = CODONSPACE_SOURCE_DIR, ANNOTATE = CODONSPACE_ANNOTATE_BINARY;

using testutil::random_bases;

std::string wrapped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i += 60) out += text.substr(i, 60) + "\n";
  return out;
}

// The outputs without the scores and the start model's attributes: the
// GFF's score column as '.', its attributes up to start_type, the FASTA
// headers up to the strand.
std::string without_scores(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '>') {
      line.erase(std::min(line.find(" # ID="), line.size()));
    } else if (!line.empty() && line[0] != '#' && std::count(line.begin(), line.end(), '\t') == 8) {
      size_t score = 0;
      for (int tab = 0; tab < 5; ++tab) score = line.find('\t', score) + 1;
      line.replace(score, line.find('\t', score) - score, ".");
      const size_t type = line.find(";start_type=");
      if (type != std::string::npos) line.erase(std::min(line.find(';', type + 1), line.size()));
    }
    out += line + "\n";
  }
  return out;
}

std::vector<ann::FastaRecord> parse(const std::string& text, size_t chunk) {
  ann::FastaParser p("'test.fna'");
  for (size_t i = 0; i < text.size(); i += chunk) p.feed(text.data() + i, std::min(chunk, text.size() - i));
  return p.finish();
}

TEST(FastaParserTest, ReadsRecordsWhateverTheChunkingAndRefusesUnusableGenomes) {
  using Records = std::vector<std::pair<std::string, std::string>>;  // id, sequence
  const std::vector<std::pair<std::string, Records>> cases = {
      {">chr1\nACGT\nTTGA", {{"chr1", "ACGTTTGA"}}},  // no final line end
      {">a first contig\nACG\n>b\tsecond\nTT\nGG\n>c\nN\n", {{"a", "ACG"}, {"b", "TTGG"}, {"c", "N"}}},
      // CR LF line ends, lower case, blanks and tabs within sequence lines
      {">x desc\r\nacg t\r\nA\tC\r\n>y\r\nggg\r\n", {{"x", "ACGTAC"}, {"y", "GGG"}}},
      // blank lines before and within records, blanks after the '>'
      {"\n\n>  spaced name\nAC\n \t \nCA\n\n>z\nGT\n\n", {{"spaced", "ACCA"}, {"z", "GT"}}},
  };
  for (const auto& [text, want] : cases) {
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, text.size()}) {
      Records got;
      for (const auto& r : parse(text, chunk)) got.emplace_back(r.id, r.sequence);
      EXPECT_EQ(got, want) << text << "in chunks of " << chunk;
    }
  }
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"", "is empty"},
      {"ACGT\n>a\nAC\n", "line 1 comes before the first '>'"},
      {">a\nAC\n\n>b\nAC1T\n", "line 5 of the record 'b' holds '1'"},
      {">a\nAC\n>b\n", "the record 'b' (line 3) has no bases"},
      {">a x\nAC\n>b\nGG\n>a y\nTT\n", "name 'a' twice (headers on lines 1 and 5)"},
  };
  for (const auto& [text, message] : refused)
    testutil::expect_error([&, &text = text] { parse(text, 3); }, {"'test.fna'", message}, text);
  testutil::expect_error([] { ann::read_fasta("missing.fna"); }, {"cannot open 'missing.fna'"});
}

TEST(GeneOutputTest, PairsBasesAndTranslationTables) {
  EXPECT_EQ(ann::gene_from_pair(4, 12, 20), (Gene{4, 12, '+'}));
  EXPECT_EQ(ann::gene_from_pair(20, 9, 20), (Gene{9, 20, '-'}));
  EXPECT_THROW(ann::gene_from_pair(13, 21, 20), codonspace::Error);
  EXPECT_EQ(ann::gene_bases("AATTACGNRYCATG", Gene{3, 8, '+'}), "TTACGN");
  EXPECT_EQ(ann::gene_bases("AATTACGNRYCATG", Gene{6, 14, '-'}), "CATGRYNCG");  // IUPAC complemented
  // Bases, then the protein with table 11 and with table 4.
  const std::vector<std::tuple<std::string, std::string, std::string>> translations = {
      {"ATGAAATAA", "MK", "MK"},                  // final stop not written
      {"GTGTGGATAAGATGA", "MWIR", "MWIRW"},       // GTG start as M; ATA is I, AGA is R; final TGA a stop in 11 only
      {"CTGTGAGGGTAG", "M*G", "MWG"},             // an internal stop stays visible; TGA is W in table 4
      {"ATGANGCCNTAA", "MXX", "MXX"},             // ambiguity codes give X
  };
  for (const auto& [bases, p11, p4] : translations) {
    EXPECT_EQ(ann::translate(bases, 11), p11) << bases;
    EXPECT_EQ(ann::translate(bases, 4), p4) << bases;
  }
}

TEST(AnnotateOptionsTest, PrefixDropsGenomeExtensionsInAnyCase) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"dir/genome.fna", "genome"}, {"G.FNA", "G"},        {"a.FASTA.GZ", "a"}, {"b.Fa.gz", "b"},
      {"c.fas", "c"},               {"notes.txt", "notes.txt"}, {"d.gz", "d"},  {"-", "stdin"},
      {".fna", ".fna"},  // nothing would be left
  };
  for (const auto& [input, prefix] : cases) EXPECT_EQ(ann::default_prefix(input), prefix) << input;
}

// Each test has synthetic tables in data/ (some ORFs pass the plane, some do
// not) and genome.fna: four records of different lengths, the second in
// lower case with CR LF line ends and a name that GFF escapes.
class AnnotateRunTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    testutil::Tables t;
    for (int i = 0; i < 64; ++i) {
      t.x[codonspace::str_rep(i)] = 1.0f;
      t.z[static_cast<size_t>(i)] = i % 3 == 0 ? 1.0f : -0.4f;
    }
    t.plane = "0 0 1 -0.05\n";
    testutil::write_tables(t);
    tmp_ = dir_ + "/tmp";
    fs::create_directory(tmp_);
    const size_t lengths[] = {30000, 12000, 45000, 7000};
    for (unsigned r = 0; r < 4; ++r) {
      records_.emplace_back(r == 1 ? "contig;2" : "contig_" + std::to_string(r + 1), random_bases(lengths[r], r + 3));
      const std::string eol = r == 1 ? "\r\n" : "\n";
      fasta_ += ">" + records_[r].first + " synthetic contig" + eol;
      for (size_t i = 0; i < lengths[r]; i += 70) {
        std::string line = records_[r].second.substr(i, 70);
        if (r == 1)
          for (char& c : line) c = static_cast<char>(c | 0x20);  // lower case
        fasta_ += line + eol;
      }
    }
    write_file("genome.fna", fasta_);
  }
  // Arguments of a run on input with the synthetic tables, outputs in outdir.
  static std::vector<std::string> args(const std::string& input, const std::string& outdir,
                                       std::vector<std::string> extra = {}) {
    std::vector<std::string> a = {"-q", "-d", "data", "-l", "150", "-s", "ATG,GTG", "-o", outdir, "-p", "g"};
    a.insert(a.end(), extra.begin(), extra.end());
    a.push_back(input);
    return a;
  }
  static void copy_tables_but_z(const std::string& dir) {
    fs::create_directory(dir);
    for (const char* t : {"HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "best_plane_fixed.dat"})
      fs::copy_file(std::string("data/") + t, dir + "/" + t);
  }
  // The outputs, the GFF without the lines naming the input, outputs and tables.
  static std::string outputs(const std::string& outdir, const std::string& prefix = "g") {
    const std::string path = outdir + "/" + prefix;
    return without_command(read_file(path + ".gff"), "\n# Model Data: ") + read_file(path + ".faa") +
           read_file(path + ".ffn");
  }
  // The GFF without its "# Command:" line (and another line given).
  static std::string without_command(std::string gff, const std::string& also = "\n# Command: ") {
    for (const std::string& start : {std::string("\n# Command: "), also}) {
      const size_t at = gff.find(start);
      if (at != std::string::npos) gff.erase(at + 1, gff.find('\n', at + 1) - at);
    }
    return gff;
  }
  // Runs codonspace-annotate with its temporary directories under tmp_,
  // which every run must leave empty.
  testutil::RunResult run(const std::vector<std::string>& args, const std::string& stdin_file = "/dev/null") const {
    return finished(testutil::spawn(ANNOTATE, args, {stdin_file, "out.txt", "err.txt", tmp_}));
  }
  // The run's status and standard error. Standard output stays empty (the
  // workers' stage messages must not reach it), and so does tmp_.
  testutil::RunResult finished(pid_t pid) const {
    testutil::RunResult r;
    r.status = testutil::wait_status(pid);
    r.err = read_file("err.txt");
    EXPECT_EQ(read_file("out.txt"), "");
    fs::remove("out.txt");
    EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
    return r;
  }
  std::string tmp_, fasta_;
  std::vector<std::pair<std::string, std::string>> records_;  // id, bases
};

// The expected outputs are computed from one-record codonspace runs of each
// contig; every worker count and input form (plain, gzip content under a
// plain name, gzip on standard input) gives them.
TEST_F(AnnotateRunTest, SameGenesAsOneRecordRunsForEveryMethodWorkerCountAndInput) {
  testutil::write_file("gzip_content.fna", testutil::gzip(fasta_));
  for (const char* method : {"1", "2"}) {
    auto gff_id = [](std::string id) {
      if (const size_t semicolon = id.find(';'); semicolon != std::string::npos) id.replace(semicolon, 1, "%3B");
      return id;
    };
    const std::string version = CODONSPACE_VERSION;
    std::string gff = "##gff-version 3\n# Program: codonspace-annotate " + version +
                      "\n# Model Data: version=codonspace_v" + version + ";method=" + method +
                      ";min_length=150;start_codons=ATG,GTG;transl_table=11;tables=given:" +
                      (fs::current_path() / "data").string() + "\n";
    std::string faa, fna;
    for (const auto& [id, bases] : records_)
      gff += "##sequence-region " + gff_id(id) + " 1 " + std::to_string(bases.size()) + "\n";
    for (size_t k = 0; k < records_.size(); ++k) {
      const auto& [id, bases] = records_[k];
      char data[200];
      std::snprintf(data, sizeof data, "# Sequence Data: seqnum=%zu;seqlen=%zu;seqid=%s;gc_cont=%.2f\n", k + 1,
                    bases.size(), gff_id(id).c_str(),
                    100.0 * static_cast<double>(std::count(bases.begin(), bases.end(), 'G') +
                                                std::count(bases.begin(), bases.end(), 'C')) /
                        static_cast<double>(bases.size()));
      gff += data;
      write_file("contig.fna", ">" + id + "\n" + bases + "\n");
      const auto r = testutil::run_binary({"contig.fna", "150", method, "ATG", "GTG"});
      ASSERT_EQ(r.status, 0) << r.err;
      std::vector<std::tuple<long, long, char>> genes;
      for (const char* f : codonspace::FRAME_FILES) {
        std::istringstream in(read_file(f));
        std::string frame;
        long b1, b2;
        while (in >> frame >> b1 >> b2) genes.emplace_back(std::min(b1, b2), std::max(b1, b2), b1 < b2 ? '+' : '-');
      }
      std::sort(genes.begin(), genes.end());
      int n = 0;
      for (const auto& [s, e, strand] : genes) {
        const std::string name = id + "_" + std::to_string(++n), from = std::to_string(s), to = std::to_string(e);
        const std::string forward = bases.substr(s - 1, e - s + 1);
        const std::string gene = strand == '+' ? forward : testutil::reverse_complement(forward);
        gff += gff_id(id) + "\tcodonspace_v" + version + "\tCDS\t" + from + "\t" + to + "\t.\t" + strand + "\t0\tID=" + gff_id(name) +
               ";partial=00;start_type=" + gene.substr(0, 3) + "\n";
        const std::string header = ">" + name + " # " + from + " # " + to + " # " + (strand == '+' ? "1" : "-1") + "\n";
        faa += header + wrapped(ann::translate(gene, 11));
        fna += header + wrapped(gene);
      }
    }
    ASSERT_GT(std::count(gff.begin(), gff.end(), '\n'), 25) << "the synthetic tables should let genes through";

    const std::vector<std::tuple<std::string, std::string, std::string>> variants = {
        {"genome.fna", "1", "/dev/null"}, {"gzip_content.fna", "2", "/dev/null"}, {"-", "2", "gzip_content.fna"}};
    for (size_t v = 0; v < variants.size(); ++v) {
      const auto& [input, threads, in] = variants[v];
      SCOPED_TRACE(std::string("method ") + method + ", " + input + " on standard input " + in + ", -t " + threads);
      const std::string out = "out_m" + std::string(method) + "_" + std::to_string(v);
      // --longest-orf: the one-record runs keep the longest ORF per stop;
      // -c: they call no genes that run off a record's end.
      const testutil::RunResult r = run(args(input, out, {"-m", method, "-t", threads, "--longest-orf", "-c"}), in);
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string got = read_file(out + "/g.gff");
      EXPECT_EQ(without_scores(without_command(got)), gff);
      // The settings in full; -t and -q, which do not change the outputs, left out.
      EXPECT_NE(got.find("\n# Command: codonspace-annotate -m " + std::string(method) + " -l 150 -s ATG,GTG -g 11 -d data --longest-orf -c -o " +
                         out + " -p g " + input + "\n"),
                std::string::npos)
          << got.substr(0, 300);
      EXPECT_EQ(without_scores(read_file(out + "/g.faa")), faa);
      EXPECT_EQ(without_scores(read_file(out + "/g.ffn")), fna);
    }
  }
}

TEST_F(AnnotateRunTest, FailuresLeaveNoOutputsAndNoTemporaryDirectories) {
  write_file("dup.fna", ">a\nACGT\n>b\nACGT\n>a\nACGT\n");
  write_file("text.fna", "this is not a genome\n");
  write_file("genome.ffn", fasta_);
  fs::create_directory("old");
  write_file("old/g.gff", "earlier results\n");  // written by a previous run: must survive
  // Earlier outputs, the last of them a directory: the last rename fails and
  // the others must be put back as they were.
  fs::create_directories("blocked/g.ffn");
  write_file("blocked/g.gff", "earlier gff\n");
  write_file("blocked/g.faa", "earlier faa\n");
  copy_tables_but_z("bad_tables");
  write_file("bad_tables/z.dat", "1 2 3 not-a-number\n");  // found by a worker's stage
  std::string poly;
  for (int i = 0; i < 133333; ++i) poly += "ATG";
  write_file("poly.fna", ">polyATG\n" + poly + "TAA\n");
  // Arguments, message, lines of standard error (usage errors add a hint).
  const std::vector<std::tuple<std::vector<std::string>, std::string, long>> cases = {
      {args("dup.fna", "old"), "'dup.fna' holds the sequence name 'a' twice", 1},
      {args("text.fna", "old"), "'text.fna' is not a usable FASTA file", 1},
      {args("genome.fna", "old", {"-d", "bad_tables", "-t", "2"}), "z.dat", 1},
      {args("genome.fna", "new_dir", {"-d", "bad_tables"}), "z.dat", 1},
      {args("genome.fna", "blocked"), "cannot replace 'blocked/g.ffn'", 1},
      {{"-q", "-d", "data", "-o", ".", "-p", "genome", "genome.ffn"},
       "the output file './genome.ffn' is the input genome 'genome.ffn'", 1},
      {{"-m", "4", "genome.fna"}, "the method (-m) must be 1, 2 or 3", 2},
      {{"-g", "2", "genome.fna"}, "the genetic code (-g) must be 11", 2},
      {{"-s", "ATG,TAA", "genome.fna"}, "the start codons (-s) must be", 2},  // a stop codon
      // A run of ATG before one stop would need some 27 GB of working files.
      {args("poly.fna", "old", {"-t", "2"}), "record 'polyATG' (400002 bases) would need 26", 1},
      {{"-q"}, "no genome file given", 2},
  };
  for (const auto& [arguments, message, lines] : cases) {
    const testutil::RunResult r = run(arguments);
    EXPECT_EQ(r.status, 1) << message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), lines) << r.err;
    EXPECT_EQ(list_dir("old"), std::vector<std::string>{"g.gff"}) << message;
    EXPECT_EQ(read_file("old/g.gff"), "earlier results\n") << message;
    EXPECT_FALSE(exists("new_dir")) << "an output directory made by a failed run stays";
  }
  EXPECT_EQ(list_dir("blocked"), (std::vector<std::string>{"g.faa", "g.ffn", "g.gff"}));
  EXPECT_EQ(read_file("blocked/g.gff") + read_file("blocked/g.faa"), "earlier gff\nearlier faa\n");
  EXPECT_TRUE(read_file("genome.ffn") == fasta_);
}

// A file-size limit just below the largest output: writing it fails (at the
// latest when it is closed), the run ends with status 1 naming it, and no
// output or output directory is left.
TEST_F(AnnotateRunTest, OutputCutShortByTheFileSizeLimitLeavesNoOutputs) {
  // Many short records: every working file stays far smaller than the outputs.
  std::string many;
  for (unsigned i = 0; i < 60; ++i) many += ">r" + std::to_string(i) + "\n" + random_bases(2000, 100 + i) + "\n";
  write_file("many.fna", many);
  ASSERT_EQ(run(args("many.fna", "full")).status, 0);
  std::string largest;
  for (const char* ext : {".gff", ".faa", ".ffn"})
    if (largest.empty() || fs::file_size("full/g" + std::string(ext)) > fs::file_size("full/g" + largest)) largest = ext;
  const auto limit = testutil::file_size_limit(static_cast<long>(fs::file_size("full/g" + largest)) - 1);
  const testutil::RunResult r = finished(
      testutil::spawn(ANNOTATE, args("many.fna", "cut"), testutil::in_child(limit, {"/dev/null", "out.txt", "err.txt", tmp_})));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write 'cut/g" + largest + "': " + std::strerror(EFBIG)), std::string::npos) << r.err;
  EXPECT_FALSE(exists("cut"));
}

TEST_F(AnnotateRunTest, SignalsStopTheWorkersAndCleanUp) {
  // A z table that is a FIFO holds every worker in its first stage.
  copy_tables_but_z("slow_tables");
  ASSERT_EQ(mkfifo("slow_tables/z.dat", 0600), 0);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1}) {
    const pid_t pid = testutil::spawn(ANNOTATE, args("genome.fna", "sig", {"-d", "slow_tables", "-t", "2"}),
                                      {"/dev/null", "/dev/null", "err.txt", tmp_});
    bool started = false;  // once both workers have their directories
    for (int i = 0; i < 500 && !started; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      for (const auto& name : list_dir(tmp_)) started = started || exists(tmp_ + "/" + name + "/worker1/data");
    }
    ASSERT_TRUE(started);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, sig);
    EXPECT_EQ(testutil::wait_status(pid), 128 + sig) << read_file("err.txt");
    EXPECT_NE(read_file("err.txt").find("interrupted by signal"), std::string::npos) << sig;
    EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
    EXPECT_FALSE(exists("sig")) << "output directory left behind";
  }
}

// Standard error a pipe that nobody reads, SIGPIPE at its default (as a
// shell starts it): the first progress message is a write error, reported
// by the exit status, and the run cleans up.
TEST_F(AnnotateRunTest, ClosedStandardErrorIsAWriteErrorNotADeath) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  std::vector<std::string> a = args("genome.fna", "piped");
  a.erase(a.begin());  // progress messages on
  const auto to_pipe = [&] {
    signal(SIGPIPE, SIG_DFL);
    dup2(fds[1], STDERR_FILENO);
  };
  const pid_t pid = testutil::spawn(ANNOTATE, a, testutil::in_child(to_pipe, {"/dev/null", "", "", tmp_}));
  close(fds[1]);
  EXPECT_EQ(testutil::wait_status(pid), 1);
  EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
  EXPECT_FALSE(exists("piped"));
}

// Tables that pass every ORF, and genes of exactly 150 bases on both strands
// in a sequence without other ORFs: -l counts bases, stop codon included;
// -g 4 reads TGA as tryptophan; -d takes the directory codonspace-train
// writes (tables in data/ below it).
TEST_F(AnnotateRunTest, MinimumLengthGeneticCodeAndTrainedTablesDirectory) {
  fs::create_directories("trained/data");
  copy_tables_but_z("trained/data");
  std::string z;
  for (int i = 0; i < 64; ++i) z += "1.0\n";
  write_file("trained/data/z.dat", z);
  write_file("trained/data/best_plane_fixed.dat", "0 0 1 0\n");
  std::string gcc20;
  for (int i = 0; i < 20; ++i) gcc20 += "GCC";
  const std::string gcc27 = gcc20 + gcc20.substr(0, 21), filler(30, 'G');
  auto genome = [&](const std::string& g) {
    return ">r\n" + filler + g + filler + testutil::reverse_complement(g) + filler + "\n";
  };
  write_file("plain.fna", genome("ATG" + gcc20 + "GCC" + gcc27 + "TAA"));  // 150 bases
  write_file("tga.fna", genome("ATG" + gcc20 + "TGA" + gcc27 + "TAA"));    // TGA at codon 22
  const std::string a20(20, 'A'), a27(27, 'A');
  // Input, extra arguments, the protein of the gene on each strand (none: no gene).
  const std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> cases = {
      {"plain.fna", {"-l", "150"}, "M" + a20 + "A" + a27},
      {"plain.fna", {"--min-length", "151"}, ""},
      {"tga.fna", {"-l", "90", "-g", "4"}, "M" + a20 + "W" + a27},
      {"tga.fna", {"-l", "90"}, ""},  // table 11: the ORFs end at TGA, 66 bases, without a start after it
  };
  for (const auto& [input, extra, protein] : cases) {
    std::vector<std::string> a = {"-q", "-d", "trained", "-s", "ATG", "-c", "-o", "lg", "-p", "g"};
    a.insert(a.end(), extra.begin(), extra.end());
    a.push_back(input);
    const testutil::RunResult r = run(a);
    SCOPED_TRACE(input + " " + extra[1] + " " + std::to_string(extra.size()));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string faa = ">r_1 # 31 # 180 # 1\n" + wrapped(protein) + ">r_2 # 211 # 360 # -1\n" + wrapped(protein);
    EXPECT_EQ(without_scores(read_file("lg/g.faa")), protein.empty() ? "" : faa);
  }
}

// With the synthetic tables installed under the prefix, the installed copy
// predicts without -d what the build predicts with -d data. Run without -o
// or -p, with a relative TMPDIR (the workers run in directories of their
// own), it writes beside the genome, which stays as it was.
TEST_F(AnnotateRunTest, InstalledProgramFindsItsTables) {
  const std::string build = fs::path(CODONSPACE_BINARY).parent_path().string(), prefix = dir_ + "/prefix";
  const std::string cmd = "cmake --install '" + build + "' --prefix '" + prefix + "' >install.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file("install.log");
  const std::string installed = prefix + "/bin/codonspace-annotate", tables = prefix + "/share/codonspace/data";
  ASSERT_TRUE(exists(prefix + "/bin/codonspace"));
  for (const auto& t : fs::directory_iterator("data"))
    fs::copy_file(t.path(), tables + "/" + t.path().filename().string(), fs::copy_options::overwrite_existing);
  const pid_t pid = testutil::spawn(installed, {"-q", "-l", "150", "-s", "ATG,GTG", "genome.fna"},
                                    {"/dev/null", "/dev/null", "err.txt", "tmp"});
  ASSERT_EQ(testutil::wait_status(pid), 0) << read_file("err.txt");
  EXPECT_TRUE(list_dir(tmp_).empty());
  EXPECT_TRUE(read_file("genome.fna") == fasta_);
  ASSERT_EQ(run(args("genome.fna", "built", {"-p", "genome"})).status, 0);
  EXPECT_EQ(outputs(".", "genome"), outputs("built", "genome"));
}

// The Snakemake workflow on a genome under a .fa name and a gzip-compressed
// two-record one, beside a file that is not a genome: the outputs
// of direct runs, and a summary of records and genes.
TEST_F(AnnotateRunTest, WorkflowAnnotatesEveryGenomeOfADirectory) {
  if (std::system("command -v snakemake >/dev/null 2>&1") != 0) GTEST_SKIP() << "snakemake is not installed";
  const std::map<std::string, std::pair<std::string, std::vector<size_t>>> genomes = {
      {"first", {"first.fa", {0}}}, {"second", {"second.fna.gz", {1, 2}}}};
  fs::create_directory("genomes");
  for (const auto& [name, file] : genomes) {
    std::string text;
    for (size_t r : file.second) text += ">" + records_[r].first + "\n" + records_[r].second + "\n";
    write_file("genomes/" + file.first, file.first.ends_with(".gz") ? testutil::gzip(text) : text);
  }
  write_file("genomes/notes.txt", "not a genome\n");
  const std::string cmd = "snakemake -s '" + SOURCE_DIR + "/workflow/Snakefile' --cores 2 --quiet --config " +
                          "input_dir=genomes tables=data min_length=150 start_codons=ATG,GTG annotate='" +
                          ANNOTATE + "' >snakemake.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file("snakemake.log");
  std::string want = "genome\trecords\tgenes\n";
  for (const auto& [name, file] : genomes) {
    ASSERT_EQ(run(args("genomes/" + file.first, "direct_" + name)).status, 0);
    for (const char* ext : {".gff", ".faa", ".ffn"})
      EXPECT_TRUE(without_command(read_file("results/" + name + "/" + name + ext)) ==
                  without_command(read_file("direct_" + name + "/g" + ext)))
          << name << ext;
    const std::string fna = read_file("direct_" + name + "/g.ffn");
    want += name + "\t" + std::to_string(file.second.size()) + "\t" +
            std::to_string(std::count(fna.begin(), fna.end(), '>')) + "\n";
  }
  // The summary's genome, record and gene columns.
  std::istringstream summary(read_file("results/summary.tsv"));
  std::string got, f[5];
  for (std::string line; std::getline(summary, line);) {
    std::istringstream fields(line);
    for (std::string& w : f) std::getline(fields, w, '\t');
    got += f[0] + "\t" + f[1] + "\t" + f[4] + "\n";
  }
  EXPECT_EQ(got, want);
}

// -T predicts with tables trained on the input itself: the same outputs as
// a run with tables trained on those records beforehand.
TEST_F(AnnotateRunTest, SelfTrainingUsesTablesTrainedOnTheInput) {
  const std::string seq = testutil::example_genome();
  write_file("two.fna", ">a\n" + seq.substr(0, 150000) + "\n>b\n" + seq.substr(150000, 100000) + "\n");
  codonspace::self_train({seq.substr(0, 150000), seq.substr(150000, 100000)}, SOURCE_DIR + "/data", "trained",
                         {240, {"ATG", "GTG"}});
  const std::vector<std::string> common = {"-q", "-l", "240", "-s", "ATG,GTG", "-t", "2", "-p", "g"};
  std::vector<std::string> self = common, given = common;
  for (const char* a : {"-T", "-o", "self", "two.fna"}) self.push_back(a);
  for (const char* a : {"-d", "trained", "-o", "given", "two.fna"}) given.push_back(a);
  ASSERT_EQ(run(self).status, 0);
  ASSERT_EQ(run(given).status, 0);
  EXPECT_TRUE(outputs("self") == outputs("given"));
  EXPECT_GT(read_file("self/g.gff").size(), 5000u);
}

testutil::RunResult annotate(const std::vector<std::string>& args) { return testutil::run(ANNOTATE, args); }

// The header line of the GFF that starts with the prefix, without it.
std::string header(const std::string& gff, const std::string& prefix) {
  std::istringstream in(gff);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(prefix)) return line.substr(prefix.size());
  return "<no " + prefix + "line>";
}

// The gene lines (nine fields) of a GFF.
size_t gene_lines(const std::string& gff) {
  size_t n = 0;
  std::istringstream in(gff);
  for (std::string line; std::getline(in, line);) n += !line.starts_with("#") && std::count(line.begin(), line.end(), '\t') == 8;
  return n;
}

using testutil::fasta;

class AnnotateTablesTest : public testutil::TempDirTest {
 protected:
  // The bundled example genome, about 1 Mb.
  const std::string genome_ = testutil::example_genome();
};

// The tables of each choice as the GFF header names them, the note on
// standard error, and a Command line whose options choose the same tables.
TEST_F(AnnotateTablesTest, DefaultSelfTrainsLargeInputsAndOptionsChooseTheTables) {
  const long threshold = ann::SELF_TRAIN_MIN_BASES;
  write_file("large.fna", fasta("large", genome_.substr(0, static_cast<size_t>(threshold))));
  write_file("small.fna", fasta("small", genome_.substr(0, static_cast<size_t>(threshold - 1))));
  write_file("tiny.fna", fasta("tiny", genome_.substr(0, 20000)));  // too few long ORFs to fit
  fs::create_directory("given");
  for (const auto& t : fs::directory_iterator(SOURCE_DIR + "/data"))
    fs::copy_file(t.path(), "given" / t.path().filename());
  const std::string given = fs::absolute("given").lexically_normal().string();
  const std::string small_note = std::to_string(threshold - 1) + " bases, fewer than the " + std::to_string(threshold);
  struct Case {
    std::vector<std::string> options;
    std::string input, tables, command, err;  // err: "" = nothing on standard error
  };
  const std::vector<Case> cases = {
      {{}, "large", "self-trained", " -T ", "training the tables on the input"},
      {{}, "small", "shipped (" + small_note + " of self-training)", " --shipped-tables ",
       "the input holds " + small_note},
      {{"--shipped-tables"}, "large", "shipped", " --shipped-tables ", "read 1 record"},
      {{"-d", "given"}, "large", "given:" + given, " -d given ", "read 1 record"},
      {{"-T"}, "small", "self-trained", " -T ", "training the tables"},
      {{"-d", "given", "-T"}, "small", "self-trained from given:" + given, " -d given -T ", "training the tables"},
      {{"-T"}, "tiny", "shipped (self-training fell back: too few long ORFs for a reliable fit (", " -T ",
       "self-training fell back to the shipped tables: too few long ORFs"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    for (const char* a : {"-o", "first", "-p", "g"}) args.push_back(a);
    args.push_back(c.input + ".fna");
    std::string context = c.input;
    for (const std::string& o : c.options) context += " " + o;
    SCOPED_TRACE(context);
    const testutil::RunResult r = annotate(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("training the tables") != std::string::npos, c.command.ends_with("-T ")) << r.err;
    const std::string gff = read_file("first/g.gff");
    const std::string model = header(gff, "# Model Data: ");
    EXPECT_NE(model.find(";tables=" + c.tables), std::string::npos) << model;
    EXPECT_GT(gene_lines(gff), c.input == "tiny" ? 5u : 100u);
    // The Command line chooses the same tables again, by options rather than by the input's size.
    std::string command(" ");
    command.append(header(gff, "# Command: ")).append(" ");
    EXPECT_NE(command.find(c.command), std::string::npos) << command;
    fs::remove_all("first");
  }
  // Options that choose different tables are refused.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--shipped-tables", "-d", "given", "small.fna"},
        std::vector<std::string>{"-T", "--shipped-tables", "small.fna"}}) {
    const testutil::RunResult r = annotate(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.err.find("--shipped-tables"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(testutil::exists("small.gff"));
}

// A tables directory that is missing or lacks tables is refused before
// anything is written, with every table it lacks named.
TEST_F(AnnotateTablesTest, IncompleteTablesDirectoryIsRefusedNamingEveryMissingTable) {
  write_file("small.fna", fasta("small", genome_.substr(0, 30000)));
  fs::create_directories("partial");
  fs::create_directories("empty");
  fs::copy_file(SOURCE_DIR + "/data/HBondEnergies_MDmapped3.dat", "partial/HBondEnergies_MDmapped3.dat");
  fs::copy_file(SOURCE_DIR + "/data/z.dat", "partial/z.dat");
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> named, not_named;
  };
  const std::vector<Case> cases = {
      {{"-d", "missing"}, {"'missing'", "does not exist"}, {}},
      {{"-d", "partial"},
       {"'partial'", "2 of the 4 tables of method 1", "StackingEnergies_MD.dat", "best_plane_fixed.dat"},
       {"z.dat", "HBondEnergies", "codon1"}},
      {{"-d", "empty", "-m", "3"},
       {"'empty'", "5 of the 5 tables of method 3", "HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "z.dat",
        "best_plane_fixed.dat", "codon1"},
       {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    for (const char* a : {"-o", "out", "small.fna"}) args.push_back(a);
    const testutil::RunResult r = annotate(args);
    SCOPED_TRACE(c.options[1]);
    EXPECT_EQ(r.status, 1);
    for (const std::string& part : c.named) EXPECT_NE(r.err.find(part), std::string::npos) << part << "\n" << r.err;
    for (const std::string& part : c.not_named) EXPECT_EQ(r.err.find(part), std::string::npos) << part << "\n" << r.err;
    EXPECT_FALSE(testutil::exists("out"));
  }
  EXPECT_EQ(testutil::list_dir(), (std::vector<std::string>{"empty", "partial", "small.fna"}));
}

// Inputs with nothing to find: records of unknown bases, records shorter
// than a gene, too small to train on; by default and with -T. The run
// succeeds and writes outputs with every record and no gene in them.
TEST_F(AnnotateTablesTest, RecordsWithoutGenesGiveEmptyOutputs) {
  const std::string ns(static_cast<size_t>(ann::SELF_TRAIN_MIN_BASES) + 1000, 'N');
  struct Case {
    std::string name, text;
    std::vector<std::string> options;
  };
  const std::vector<Case> cases = {
      {"all_n_large", fasta("n", ns), {}},  // self-trained by default: falls back
      {"short", fasta("a", "ATGAAATAA") + fasta("b", "A") + fasta("c", genome_.substr(0, 140)), {}},
      {"mixed", fasta("n", ns.substr(0, 700)) + fasta("s", "ATGTAA") + fasta("m", "ACGTNNNNACGT"), {"-T"}},
  };
  for (const Case& c : cases) {
    write_file(c.name + ".fna", c.text);
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-t", "2", "-o", "out", c.name + ".fna"});
    const testutil::RunResult r = annotate(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string gff = read_file("out/" + c.name + ".gff");
    EXPECT_TRUE(gff.starts_with("##gff-version 3\n")) << gff;
    EXPECT_EQ(gene_lines(gff), 0u) << gff;
    size_t regions = 0;
    for (size_t p = 0; (p = gff.find("##sequence-region ", p)) != std::string::npos; ++p) ++regions;
    EXPECT_EQ(regions, static_cast<size_t>(std::count(c.text.begin(), c.text.end(), '>')));
    EXPECT_EQ(read_file("out/" + c.name + ".faa") + read_file("out/" + c.name + ".ffn"), "");
    fs::remove_all("out");
  }
}

// A genome of random layout: stretches of the example genome (genes and
// what lies between them) of 2 to 8 kb taken from random places, each on
// either strand, with random bases, runs of N and single other letters
// between them.
std::string mosaic(const std::string& example, size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    const size_t len = 2000 + rng() % 6000, at = rng() % (example.size() - len);
    const std::string part = example.substr(at, len);
    s += rng() % 2 == 0 ? part : testutil::reverse_complement(part);
    s += testutil::draft_bases(500, static_cast<unsigned>(rng())).substr(0, rng() % 500);
    if (rng() % 3 == 0) s += std::string(1 + rng() % 200, 'N');
  }
  s.resize(n);
  return s;
}

// Random C and A: no stop codon on either strand, in any frame.
std::string stopless(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, 'A');
  for (char& c : s) c = "CA"[rng() % 2];
  return s;
}

ann::PredictOptions options(int method, int min_length, const std::vector<std::string>& starts = {"ATG", "GTG", "TTG"}) {
  ann::PredictOptions o;
  o.method = method;
  o.min_length = min_length;
  o.start_codons = starts;
  return o;
}

// The ORFs of a scan, grouped by their stop (the scan's second number),
// shifted by offset.
std::map<long, std::vector<long>> scan(const std::string& seq, const ann::PredictOptions& o, long offset = 0) {
  std::map<long, std::vector<long>> by_stop;
  for (const auto& orf : codonspace::training::scan_orfs(seq, o.min_length, o.start_codons, o.stop_codons).orfs)
    by_stop[orf.b2 + offset].push_back(orf.b1 + offset);
  return by_stop;
}

// The lowest base (0-based) of the stop codon of a scan's stop number: the
// last base of the codon on the direct strand, its lowest on the other.
long stop_base(long stop, const std::vector<long>& starts) { return starts.front() < stop ? stop - 3 : stop - 1; }

// Cut sets of a record: even ones, cuts inside genes of either strand, at
// and next to stop codons of either strand, and next to the record's ends.
std::vector<std::pair<std::string, std::vector<long>>> cut_sets(long n, const std::vector<Gene>& genes) {
  const Gene* plus = nullptr;
  const Gene* minus = nullptr;
  for (const Gene& g : genes) {
    if (g.start < n / 3) continue;
    if (plus == nullptr && g.strand == '+') plus = &g;
    if (minus == nullptr && g.strand == '-') minus = &g;
  }
  std::vector<std::pair<std::string, std::vector<long>>> sets = {
      {"two even pieces", ann::even_cuts(n, 2)},
      {"seven even pieces", ann::even_cuts(n, 7)},
      {"next to the ends", {1, 2, n - 2, n - 1}},
      {"a codon from the ends", {3, 4, n - 4, n - 3}},
  };
  if (plus != nullptr && minus != nullptr) {
    const long p = plus->end - 3, m = minus->start - 1;  // lowest bases of their stop codons
    sets.push_back({"inside genes of both strands",
                    {(plus->start + plus->end) / 2, (plus->start + plus->end) / 2 + 1, (minus->start + minus->end) / 2,
                     (minus->start + minus->end) / 2 + 2}});
    sets.push_back({"at a direct stop codon", {p - 1, p, p + 1, p + 3, n - 100}});
    sets.push_back({"at a complementary stop codon", {m - 2, m, m + 1, m + 3, n - 50}});
    sets.push_back({"at the starts", {plus->start - 1, plus->start + 2, minus->end - 3, minus->end}});
  }
  for (auto& [name, cuts] : sets) {
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [n](long c) { return c <= 0 || c >= n; }), cuts.end());
  }
  return sets;
}

// The scan of every piece gives each stop the piece owns exactly the ORFs
// the scan of the whole record gives it, and the owned stops of the pieces
// are all the record's stops: the scan's rules at a piece's ends (starts
// before a frame's first direct stop, complementary starts after its last
// complementary stop, unknown letters) reach no owned stop.
TEST(RecordSplitTest, EveryOwnedStopSeesAllOfItsOrfs) {
  struct Case {
    std::string name, sequence;
    ann::PredictOptions o;
  };
  const std::string example = testutil::example_genome().substr(0, 200000);
  std::vector<Case> cases = {
      {"example, ATG only, short ORFs", example, options(1, 20, {"ATG"})},
      {"random with N runs, genetic code 4", testutil::draft_bases(60000, 8), options(1, 30)},
      // Pieces reach far where stops are rare, and to the record's ends
      // where a frame has none before or after a cut.
      {"a long run of N", testutil::draft_bases(500, 4) + std::string(8000, 'N') + testutil::draft_bases(500, 5), options(1, 30)},
      {"no stop in the first half", stopless(3000, 1) + testutil::draft_bases(3000, 6), options(1, 30, {"ATG", "CAC"})},
      {"no stop in the second half", testutil::draft_bases(3000, 7) + stopless(3000, 2), options(1, 30, {"ATG", "CAC"})},
  };
  cases[1].o.stop_codons = ann::stop_codons(4);
  for (const Case& c : cases) {
    const long n = static_cast<long>(c.sequence.size());
    const std::map<long, std::vector<long>> whole = scan(c.sequence, c.o);
    ASSERT_GT(whole.size(), 2u) << c.name;
    std::vector<Gene> genes;  // an ORF per stop, to place cuts by
    for (const auto& [stop, starts] : whole) genes.push_back(ann::gene_from_pair(starts.front(), stop, n));
    ann::sort_genes(genes);
    for (const auto& [name, cuts] : cut_sets(n, genes)) {
      std::map<long, std::vector<long>> merged;
      for (const Piece& p : ann::plan_pieces(c.sequence, cuts, c.o)) {
        EXPECT_EQ(p.begin % 3, 0) << c.name << ", " << name;
        for (const auto& [stop, starts] :
             scan(c.sequence.substr(static_cast<size_t>(p.begin), static_cast<size_t>(p.end - p.begin)), c.o, p.begin)) {
          const long base = stop_base(stop, starts);
          if (p.own_begin <= base && base < p.own_end) {
            EXPECT_TRUE(merged.emplace(stop, starts).second);
          }
        }
      }
      EXPECT_EQ(merged, whole) << c.name << ", cuts " << name;
    }
  }
}

TEST(RecordSplitTest, PieceCountsJobOrderAndBadCuts) {
  struct Case {
    long length, total;
    int workers;
    long min_piece;
    size_t pieces;
  };
  const Case cases[] = {
      {4133097, 4133097, 3, 300000, 9},   // three pieces a worker
      {1000000, 1000000, 8, 300000, 3},   // no piece below the minimum
      {9000000, 40000000, 4, 300000, 2},  // a long one: about a twelfth of the genome a piece
  };
  for (const Case& c : cases)
    EXPECT_EQ(ann::piece_count(c.length, c.total, c.workers, c.min_piece), c.pieces)
        << c.length << " of " << c.total << " bases, " << c.workers << " workers";

  std::vector<ann::FastaRecord> records = {{"short", testutil::draft_bases(5000, 1), 1},
                                           {"long", testutil::draft_bases(40000, 2), 3},
                                           {"middle", testutil::draft_bases(9000, 3), 5}};
  const std::vector<ann::Job> jobs = ann::plan_jobs(records, 2, 8000, options(1, 152));
  std::map<size_t, long> owned;  // bases owned per record
  for (size_t k = 0; k < jobs.size(); ++k) {
    if (k > 0) {
      EXPECT_GE(jobs[k - 1].range.end - jobs[k - 1].range.begin, jobs[k].range.end - jobs[k].range.begin);
    }
    owned[jobs[k].record] += jobs[k].range.own_end - jobs[k].range.own_begin;
  }
  EXPECT_EQ(jobs.size(), 1u + 4u + 1u);  // the long record in pieces of a sixth of the genome
  EXPECT_EQ(owned, (std::map<size_t, long>{{0, 5000}, {1, 40000}, {2, 9000}}));
  const std::string& seq = records[0].sequence;
  EXPECT_EQ(ann::plan_pieces(seq, {}, options(1, 152)), (std::vector<Piece>{{0, 5000, 0, 5000}}));
  EXPECT_THROW(ann::plan_pieces(seq, {500, 200}, options(1, 152)), codonspace::Error);
}

// The methods with the repository's tables: the merged genes of every cut
// set are the whole record's genes.
class RecordSplitPipelineTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fs::create_directory_symlink(SOURCE_DIR + "/data", "data");
  }
};

TEST_F(RecordSplitPipelineTest, MergedGenesOfAnySplitAreTheRecordsGenes) {
  struct Case {
    std::string name;
    ann::FastaRecord record;
    ann::PredictOptions o;
  };
  const std::string example = testutil::example_genome();
  const std::vector<Case> cases = {
      {"example, method 1", {"example", example, 1}, options(1, 152)},
      {"example, method 3", {"example", example.substr(300000, 400000), 1}, options(3, 152)},
      {"mosaic, method 2", {"mosaic", mosaic(example, 200000, 12), 1}, options(2, 92, {"ATG", "GTG"})},
  };
  for (const Case& c : cases) {
    const std::vector<Gene> whole = ann::predict_record(c.record, c.o);
    ASSERT_GT(whole.size(), 20u) << c.name;
    for (const auto& [name, cuts] : cut_sets(static_cast<long>(c.record.sequence.size()), whole)) {
      std::vector<std::vector<Gene>> owned;
      for (const Piece& p : ann::plan_pieces(c.record.sequence, cuts, c.o))
        owned.push_back(ann::owned_genes(ann::predict_record(ann::piece_record(c.record, p), c.o), p));
      EXPECT_EQ(ann::merge_pieces(owned), whole) << c.name << ", cuts " << name;
    }
  }
}

// End to end: a record cut into pieces for three workers gives the bytes of
// a run with one worker.
TEST_F(RecordSplitPipelineTest, AnnotateWritesTheSameBytesWithOneWorkerAndThree) {
  testutil::write_file("genome.fna", ">example\n" + testutil::example_genome() + "\n");
  const std::vector<std::vector<std::string>> settings = {{"-l", "90"}, {"-m", "3", "--longest-orf"}};
  testutil::SpawnIo io;
  io.out = "out.txt";
  io.err = "err.txt";
  ASSERT_EQ(setenv("CODONSPACE_MIN_PIECE_BASES", "60000", 1), 0);  // nine pieces for three workers
  for (const std::vector<std::string>& extra : settings) {
    std::map<std::string, std::string> first;
    for (const char* threads : {"1", "3"}) {
      // Standard error of the run with three workers names the pieces.
      std::vector<std::string> args = {"-t", threads, "-o", "out", "-p", "g"};
      if (threads == std::string("1")) args.insert(args.begin(), "-q");
      args.insert(args.end(), extra.begin(), extra.end());
      args.push_back("genome.fna");
      ASSERT_EQ(testutil::wait_status(testutil::spawn(ANNOTATE, args, io)), 0)
          << read_file("err.txt");
      if (threads == std::string("3")) {
        EXPECT_NE(read_file("err.txt").find("cutting 1 record into 9 pieces for 3 workers"), std::string::npos)
            << read_file("err.txt");
      }
      for (const char* ext : {".gff", ".faa", ".ffn"}) {
        const std::string bytes = read_file(std::string("out/g") + ext);
        if (first.count(ext) == 0) {
          EXPECT_GT(bytes.size(), 10000u) << ext;
          first[ext] = bytes;
        } else {
          EXPECT_TRUE(bytes == first[ext]) << ext << " differs with -t 3";
        }
      }
      fs::remove_all("out");
    }
  }
  for (const char* bad : {"0", "12kb"}) {
    ASSERT_EQ(setenv("CODONSPACE_MIN_PIECE_BASES", bad, 1), 0);
    EXPECT_EQ(testutil::wait_status(testutil::spawn(ANNOTATE, {"-q", "-t", "2", "-o", "out", "genome.fna"}, io)),
              1);
    EXPECT_NE(read_file("err.txt").find("CODONSPACE_MIN_PIECE_BASES"), std::string::npos) << read_file("err.txt");
    EXPECT_FALSE(fs::exists("out"));
  }
  unsetenv("CODONSPACE_MIN_PIECE_BASES");
}

}  // namespace

using testutil::fasta;
using testutil::reverse_complement;

namespace {
using Pair = std::pair<long, long>;

// A pair of a sequence of n bases as seen on its reverse complement.
Pair mirror(const Pair& p, long n) { return {n + 1 - p.first, n + 1 - p.second}; }

// The CDS lines of a GFF text: seqid, start, end, strand.
using Cds = std::tuple<std::string, long, long, char>;
std::vector<Cds> gff_cds(const std::string& gff) {
  std::vector<Cds> cds;
  std::istringstream in(gff);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string w; std::getline(fields, w, '\t');) f.push_back(w);
    if (f.size() == 9 && f[2] == "CDS") cds.emplace_back(f[0], std::stol(f[3]), std::stol(f[4]), f[6][0]);
  }
  return cds;
}

// The genes of a codonspace run: pair -> bases in reading direction.
std::map<Pair, std::string> genes_of_run() {
  std::map<Pair, std::string> genes;
  std::istringstream in(read_file("gene_sequences"));
  Pair current{0, 0};
  for (std::string line; std::getline(in, line);) {
    if (line[0] == '>') {
      std::istringstream h(line);
      std::string w;
      h >> w >> w >> w >> w >> current.first >> w >> w >> current.second;
    }
    genes[current] += line[0] == '>' ? "" : line;
  }
  return genes;
}
}  // namespace

// Every ORF of the scan, of any length, on random drafts of every length
// modulo 3, with both start lists.
TEST(MirrorTest, ScanListsMirrorImagesOnTheReverseComplement) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const std::string seq = testutil::draft_bases(30000 + seed, seed);
    const std::string rc = reverse_complement(seq);
    const long n = static_cast<long>(seq.size());
    for (const auto& starts : {std::vector<std::string>{"ATG"}, std::vector<std::string>{"ATG", "GTG", "TTG"}}) {
      std::set<Pair> forward, mirrored;
      for (const auto& o : codonspace::training::scan_orfs(seq, 0, starts).orfs) forward.insert({o.b1, o.b2});
      for (const auto& o : codonspace::training::scan_orfs(rc, 0, starts).orfs)
        mirrored.insert(mirror({o.b1, o.b2}, n));
      EXPECT_GT(forward.size(), 500U);
      EXPECT_TRUE(forward == mirrored) << "seed " << seed << ": " << forward.size() << " against "
                                       << mirrored.size() << " ORFs";
      // No ORF starts or stops on a triplet with an unknown letter.
      for (const auto& [b1, b2] : forward) {
        const long low = std::min(b1, b2);
        const std::string first = seq.substr(static_cast<size_t>(low - 1), 3);
        const std::string last = seq.substr(static_cast<size_t>(std::max(b1, b2) - 3), 3);
        EXPECT_EQ(first.find_first_not_of("ACGT"), std::string::npos) << b1 << " " << b2;
        EXPECT_EQ(last.find_first_not_of("ACGT"), std::string::npos) << b1 << " " << b2;
      }
    }
  }
}

class MirrorRunTest : public testutil::TempDirTest {};

// Method 1 with the repository's tables on the example genome and on a gene
// holding unknown letters: the same genes, mirrored, with the same bases.
TEST_F(MirrorRunTest, CodonspaceCallsMirrorImages) {
  // The first gene of the example (154..1176) with two N inside, at the top
  // end of the complementary strand: no complementary stop lies beyond its
  // start. The genome holds R there, whose complement is written N.
  std::string gene = testutil::example_genome().substr(153, 1023);
  gene[30] = 'N';
  gene[34] = 'N';
  std::string with_r = "CC" + reverse_complement(gene);
  with_r[2 + 1022 - 34] = 'R';
  const std::string cases[] = {testutil::example_genome(), with_r};
  for (const std::string& seq : cases) {
    const long n = static_cast<long>(seq.size());
    write_file("forward.fna", fasta("f", seq));
    write_file("reverse.fna", fasta("r", reverse_complement(seq)));
    ASSERT_EQ(testutil::run_binary({"forward.fna", "150", "1", "ATG", "GTG", "TTG"}).status, 0);
    const auto forward = genes_of_run();
    ASSERT_EQ(testutil::run_binary({"reverse.fna", "150", "1", "ATG", "GTG", "TTG"}).status, 0);
    std::map<Pair, std::string> mirrored;
    for (const auto& [p, bases] : genes_of_run()) mirrored[mirror(p, n)] = bases;
    EXPECT_GT(forward.size(), 0U);
    EXPECT_TRUE(forward == mirrored) << forward.size() << " genes against " << mirrored.size();
    // The gene on the complementary strand shows its unknown letters as they are.
    if (seq.size() < 2000) {
      EXPECT_EQ(forward, (std::map<Pair, std::string>{{{1025, 3}, gene}}));
    }
  }
}

// codonspace-annotate on a multi-record draft and on its reverse complement.
TEST_F(MirrorRunTest, AnnotateCallsMirrorImages) {
  const std::string example = testutil::example_genome();
  const std::vector<std::pair<std::string, std::string>> records = {
      {"one", example.substr(0, 150000)},
      {"two", example.substr(150000, 100000) + std::string(300, 'N') + example.substr(250000, 100001)},
      {"three", testutil::draft_bases(40000, 9) + example.substr(400000, 50002)}};
  std::string forward_text, reverse_text;
  for (const auto& [id, seq] : records) {
    forward_text += fasta(id, seq);
    reverse_text += fasta(id, reverse_complement(seq));
  }
  write_file("forward.fa", forward_text);
  write_file("reverse.fa", reverse_text);
  std::map<std::string, long> lengths;
  for (const auto& [id, seq] : records) lengths[id] = static_cast<long>(seq.size());
  // The calls on input, mirrored when asked.
  auto calls = [&](const std::string& input, bool mirrored) {
    EXPECT_EQ(testutil::run(CODONSPACE_ANNOTATE_BINARY, {"-q", "-o", "out", "-p", input, input + ".fa"}).status, 0);
    std::set<Cds> out;
    for (auto [id, start, end, strand] : gff_cds(read_file("out/" + input + ".gff"))) {
      const long n = lengths[id];
      out.insert(mirrored ? Cds{id, n + 1 - end, n + 1 - start, strand == '+' ? '-' : '+'}
                          : Cds{id, start, end, strand});
    }
    return out;
  };
  const auto forward = calls("forward", false);
  const auto reverse = calls("reverse", true);
  EXPECT_GT(forward.size(), 100U);
  EXPECT_TRUE(forward == reverse) << forward.size() << " calls against " << reverse.size();
}
