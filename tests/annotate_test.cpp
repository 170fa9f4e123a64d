// codonspace-annotate: FASTA reading, the output formats, and end-to-end
// runs of the executable (parallel runs, clean-up after failures and
// signals, agreement with one-record codonspace runs, installation).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "codon.h"
#include "defaults.h"
#include "file_io.h"
#include "test_util.h"

#if __has_include("self_training.h")
#include "self_training.h"
#define ANNOTATE_TEST_SELF_TRAINING 1
#endif

namespace fs = std::filesystem;
using codonspace::annotate::FastaParser;
using codonspace::annotate::FastaRecord;
using codonspace::annotate::Gene;
using testutil::exists;
using testutil::list_dir;
using testutil::read_file;
using testutil::write_file;

#ifndef CODONSPACE_ANNOTATE_BINARY
#define CODONSPACE_ANNOTATE_BINARY ""
#endif

namespace {

std::string annotate_binary() {
  const std::string configured = CODONSPACE_ANNOTATE_BINARY;
  if (!configured.empty()) return configured;
  return (fs::path(CODONSPACE_BINARY).parent_path() / "codonspace-annotate").string();
}

// ---------------------------------------------------------------------------
// FASTA parsing

std::vector<FastaRecord> parse(const std::string& text, size_t chunk) {
  FastaParser p("'test.fna'");
  for (size_t i = 0; i < text.size(); i += chunk) p.feed(text.data() + i, std::min(chunk, text.size() - i));
  return p.finish();
}

struct ParseCase {
  const char* what;
  std::string text;
  std::vector<std::pair<std::string, std::string>> records;  // id, sequence
};

TEST(FastaParserTest, ReadsRecordsWhateverTheChunking) {
  const std::vector<ParseCase> cases = {
      {"one record, no final line end", ">chr1\nACGT\nTTGA", {{"chr1", "ACGTTTGA"}}},
      {"multi-record, descriptions dropped from the id",
       ">a first contig\nACG\n>b\tsecond\nTT\nGG\n>c\nN\n",
       {{"a", "ACG"}, {"b", "TTGG"}, {"c", "N"}}},
      {"CRLF line ends, lower case, blanks and tabs in sequence lines",
       ">x desc\r\nacg t\r\nA\tC\r\n>y\r\nggg\r\n",
       {{"x", "ACGTAC"}, {"y", "GGG"}}},
      {"blank lines before and between records, blank after the '>'",
       "\n\n>  spaced name\nAC\n\n>z\nGT\n\n",
       {{"spaced", "AC"}, {"z", "GT"}}},
      {"a line of blanks inside a record", ">h\nAC\n \t \nGT\n", {{"h", "ACGT"}}},
  };
  for (const ParseCase& c : cases) {
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, c.text.size()}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      const auto records = parse(c.text, chunk);
      ASSERT_EQ(records.size(), c.records.size());
      for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].id, c.records[i].first);
        EXPECT_EQ(records[i].sequence, c.records[i].second);
      }
    }
  }
}

TEST(FastaParserTest, RefusesWhatIsNotAUsableGenome) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "'test.fna' is empty"},
      {"\n  \n", "'test.fna' holds no FASTA record"},
      {"ACGT\n>a\nAC\n", "line 1 comes before the first '>' header line"},
      {"##gff-version 3\n", "line 1 comes before the first '>' header line"},
      {">a\nAC\n\n>b\nAC1T\n", "line 5 of the record 'b' holds '1'"},
      {">a\nAC\x01\n", "holds byte 0x01"},
      {">a\nAC>GT\n", "line 2 of the record 'a' holds '>'"},
      {">\nACGT\n", "the header on line 1 has no sequence name"},
      {">a\n>b\nAC\n", "the record 'a' (line 1) has no bases"},
      {">a\nAC\n>b\n", "the record 'b' (line 3) has no bases"},
      {">a x\nAC\n>b\nGG\n>a y\nTT\n", "holds the sequence name 'a' twice (headers on lines 1 and 5)"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    try {
      parse(text, 3);
      ADD_FAILURE() << "accepted";
    } catch (const codonspace::Error& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("'test.fna'"), std::string::npos) << e.what();
    }
  }
}

void write_gzip(const std::string& path, const std::string& content) {
  gzFile gz = gzopen(path.c_str(), "wb");
  ASSERT_NE(gz, nullptr);
  ASSERT_EQ(gzwrite(gz, content.data(), static_cast<unsigned>(content.size())), static_cast<int>(content.size()));
  ASSERT_EQ(gzclose(gz), Z_OK);
}

class FastaFileTest : public testutil::TempDirTest {};

TEST_F(FastaFileTest, GzipIsRecognisedByContentAndDamageIsReported) {
  std::string text;
  for (int r = 0; r < 3; ++r) {
    text += ">rec" + std::to_string(r) + "\n";
    for (int i = 0; i < 20000; ++i) text += "ACGTTGCA"[(i * 7 + r) % 8];
    text += "\n";
  }
  write_file("plain.fna", text);
  write_gzip("packed.fna.gz", text);
  write_gzip("misnamed.fna", text);  // gzip content under a plain name
  const auto plain = codonspace::annotate::read_fasta("plain.fna");
  for (const char* name : {"packed.fna.gz", "misnamed.fna"}) {
    const auto packed = codonspace::annotate::read_fasta(name);
    ASSERT_EQ(packed.size(), 3u) << name;
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(packed[i].sequence, plain[i].sequence) << name;
  }

  std::string gz = read_file("packed.fna.gz");
  write_file("truncated.gz", gz.substr(0, gz.size() / 2));
  std::string corrupt = gz;
  for (size_t i = 20; i < 60; ++i) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
  write_file("corrupt.gz", corrupt);
  fs::create_directory("adir");
  const std::vector<std::pair<std::string, std::string>> failures = {
      {"truncated.gz", "'truncated.gz' is a damaged gzip stream"},
      {"corrupt.gz", "'corrupt.gz' is a damaged gzip stream"},
      {"missing.fna", "cannot open 'missing.fna': No such file or directory"},
      {"adir", "cannot read 'adir': Is a directory"},
  };
  for (const auto& [name, message] : failures) {
    try {
      codonspace::annotate::read_fasta(name);
      ADD_FAILURE() << name << " accepted";
    } catch (const codonspace::Error& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

// ---------------------------------------------------------------------------
// Genes and the output formats

TEST(GeneOutputTest, PairsBecomeGenesWithinTheSequence) {
  EXPECT_EQ(codonspace::annotate::gene_from_pair(4, 12, 20), (Gene{4, 12, '+'}));
  EXPECT_EQ(codonspace::annotate::gene_from_pair(20, 9, 20), (Gene{9, 20, '-'}));
  for (auto [b1, b2] : std::vector<std::pair<long, long>>{{0, 8}, {13, 21}, {5, 5}, {1, 5}, {9, 2}}) {
    EXPECT_THROW(codonspace::annotate::gene_from_pair(b1, b2, 20), codonspace::Error) << b1 << " " << b2;
  }
}

TEST(GeneOutputTest, Table11TranslationStartsWithMethionine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ATGAAATAA", "MK"},                 // final stop not written
      {"GTGTGGATAAGATGA", "MWIR"},         // GTG start as M; ATA is I and AGA is R in table 11
      {"TTGCCC", "MP"},                    // no final stop: nothing dropped
      {"CTGTGAGGGTAG", "M*G"},             // an internal stop stays visible
      {"ATGANGCCNTAA", "MXX"},             // ambiguity codes give X
      {"ATGTTTTTA", "MFL"},                // a trailing partial codon is ignored below
      {"ATGTTTTTAC", "MFL"},
  };
  for (const auto& [bases, protein] : cases) EXPECT_EQ(codonspace::annotate::translate_table11(bases), protein) << bases;
}

TEST(GeneOutputTest, ComplementaryGenesAreReverseComplemented) {
  const std::string seq = "AATTACGNRYCATG";
  EXPECT_EQ(codonspace::annotate::gene_bases(seq, Gene{3, 8, '+'}), "TTACGN");
  EXPECT_EQ(codonspace::annotate::gene_bases(seq, Gene{6, 14, '-'}), "CATGRYNCG");
}

TEST(GeneOutputTest, WritesGffProteinAndGeneFasta) {
  // 30 bases: a direct gene 1..9 (ATG AAA TAA) and a complementary gene
  // 13..30, read from position 30 down.
  const std::string seq = "ATGAAATAACCCTCATTTTTTTTTGGGCAA";
  std::vector<FastaRecord> records(2);
  records[0].id = "ctg;1";  // ';' must be escaped in the GFF attribute and seqid
  records[0].sequence = seq;
  records[1].id = "empty";
  records[1].sequence = "ACGTACGT";
  std::vector<std::vector<Gene>> genes = {{{1, 9, '+'}, {13, 30, '-'}}, {}};
  // The complementary gene reads TTGCCCAAAAAAAAATGA: TTG start, then P K K K stop.
  ASSERT_EQ(codonspace::annotate::gene_bases(seq, genes[0][1]), "TTGCCCAAAAAAAAATGA");

  auto capture = [&](auto writer) {
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    writer(f);
    std::fclose(f);
    std::string s(buf, size);
    std::free(buf);
    return s;
  };
  codonspace::annotate::AnnotationSettings settings;
  settings.method = 2;
  using namespace codonspace::annotate;
  EXPECT_EQ(capture([&](FILE* f) {
              write_gff_header(f, records);
              for (size_t i = 0; i < records.size(); ++i) write_gff_genes(f, records[i], genes[i], settings);
            }),
            "##gff-version 3\n"
            "##sequence-region ctg%3B1 1 30\n"
            "##sequence-region empty 1 8\n"
            "ctg%3B1\tcodonspace\tCDS\t1\t9\t.\t+\t0\tID=ctg%3B1_1;start_codon=ATG;method=2\n"
            "ctg%3B1\tcodonspace\tCDS\t13\t30\t.\t-\t0\tID=ctg%3B1_2;start_codon=TTG;method=2\n");
  EXPECT_EQ(capture([&](FILE* f) { write_faa_genes(f, records[0], genes[0]); }),
            ">ctg;1_1 # 1 # 9 # 1\nMK\n>ctg;1_2 # 13 # 30 # -1\nMPKKK\n");
  EXPECT_EQ(capture([&](FILE* f) { write_fna_genes(f, records[0], genes[0]); }),
            ">ctg;1_1 # 1 # 9 # 1\nATGAAATAA\n>ctg;1_2 # 13 # 30 # -1\nTTGCCCAAAAAAAAATGA\n");

  // Long sequences wrap at the line width.
  records.resize(1);
  std::string longseq = "ATG";
  for (int i = 0; i < 70; ++i) longseq += "GCT";
  longseq += "TAA";
  records[0].sequence = longseq;
  genes = {{{1, static_cast<long>(longseq.size()), '+'}}};
  const std::string faa = capture([&](FILE* f) { write_faa_genes(f, records[0], genes[0]); });
  EXPECT_EQ(faa, ">ctg;1_1 # 1 # 216 # 1\nM" + std::string(59, 'A') + "\n" + std::string(11, 'A') + "\n");
}

// ---------------------------------------------------------------------------
// The executable

struct AnnotateRun {
  int status = -1;
  std::string err;
};

struct Io {
  std::string in = "/dev/null", out = "/dev/null", err = "/dev/null";
  std::string tmpdir;  // TMPDIR of the child when not empty
};

pid_t spawn(const std::string& binary, const std::vector<std::string>& args, const Io& io) {
  std::vector<std::string> argv_s = {binary};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
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
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs codonspace-annotate in the current directory; standard error is
// returned, standard output discarded.
AnnotateRun run_annotate(const std::vector<std::string>& args, const std::string& stdin_file = "/dev/null",
                 const std::string& tmpdir = "") {
  Io io;
  io.in = stdin_file;
  io.err = "stderr.txt";
  io.tmpdir = tmpdir;
  AnnotateRun r;
  r.status = wait_status(spawn(annotate_binary(), args, io));
  r.err = read_file("stderr.txt");
  std::remove("stderr.txt");
  return r;
}

// Deterministic pseudo-random bases.
std::string random_bases(size_t n, unsigned seed) {
  std::string s(n, 'A');
  unsigned x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = "ACGT"[(x >> 16) & 3];
  }
  return s;
}

// Synthetic tables under which some ORFs pass the plane and some do not.
void write_synthetic_tables() {
  testutil::Tables t;
  for (int i = 0; i < 64; ++i) {
    t.x[codonspace::str_rep(i)] = 1.0f;
    t.z[static_cast<size_t>(i)] = i % 3 == 0 ? 1.0f : -0.4f;
  }
  t.plane = "0 0 1 -0.05\n";
  testutil::write_tables(t);
}

// A four-record genome: mixed case and CR LF in one record, different lengths.
struct Genome {
  std::vector<std::pair<std::string, std::string>> records;  // id, bases
  std::string fasta() const {
    std::string s;
    for (size_t r = 0; r < records.size(); ++r) {
      const std::string eol = r == 1 ? "\r\n" : "\n";
      s += ">" + records[r].first + " synthetic contig" + eol;
      for (size_t i = 0; i < records[r].second.size(); i += 70) {
        std::string line = records[r].second.substr(i, 70);
        if (r == 1 && (i / 70) % 2 == 1)
          for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        s += line + eol;
      }
    }
    return s;
  }
};

Genome synthetic_genome() {
  Genome g;
  const size_t lengths[] = {30000, 12000, 45000, 7000};
  for (unsigned r = 0; r < 4; ++r) g.records.emplace_back("contig_" + std::to_string(r + 1), random_bases(lengths[r], r + 3));
  return g;
}

// GFF CDS lines per seqid as "start end strand".
std::map<std::string, std::vector<std::string>> gff_genes(const std::string& gff) {
  std::map<std::string, std::vector<std::string>> genes;
  std::istringstream in(gff);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    std::string seqid, source, type, start, end, score, strand;
    f >> seqid >> source >> type >> start >> end >> score >> strand;
    genes[seqid].push_back(start + " " + end + " " + strand);
  }
  return genes;
}

class AnnotateRunTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    write_synthetic_tables();
    fs::create_directory("tmp");
    tmp_ = dir_ + "/tmp";
    genome_ = synthetic_genome();
    write_file("genome.fna", genome_.fasta());
  }
  // Arguments of a run on input with the synthetic tables, outputs in outdir.
  std::vector<std::string> args(const std::string& input, const std::string& outdir,
                                std::vector<std::string> extra = {}) const {
    std::vector<std::string> a = {"-q", "-d", "data", "-l", "150", "-s", "ATG,GTG", "-o", outdir, "-p", "g"};
    a.insert(a.end(), extra.begin(), extra.end());
    a.push_back(input);
    return a;
  }
  std::string outputs(const std::string& outdir) const {
    return read_file(outdir + "/g.gff") + read_file(outdir + "/g.faa") + read_file(outdir + "/g.fna");
  }
  std::string tmp_;
  Genome genome_;
};

TEST_F(AnnotateRunTest, SameGenesAsOneRecordRunsForEveryMethodAndWorkerCount) {
  for (const char* method : {"1", "2"}) {
    // One-record codonspace runs, one directory per contig.
    std::map<std::string, std::vector<std::string>> expected;
    for (const auto& [id, bases] : genome_.records) {
      const std::string d = dir_ + "/single_m" + method + "_" + id;
      fs::create_directory(d);
      fs::create_directory_symlink(dir_ + "/data", d + "/data");
      write_file(d + "/contig.fna", ">" + id + "\n" + bases + "\n");
      fs::current_path(d);
      const auto r = testutil::run_binary({"contig.fna", "150", method, "ATG", "GTG"});
      ASSERT_EQ(r.status, 0) << r.err;
      std::vector<std::tuple<long, long, char>> genes;
      for (const auto& f : testutil::RESULT_FILES) {
        if (f == "gene_sequences") continue;
        std::istringstream in(read_file(f));
        std::string frame;
        long b1, b2;
        while (in >> frame >> b1 >> b2) genes.emplace_back(std::min(b1, b2), std::max(b1, b2), b1 < b2 ? '+' : '-');
      }
      std::sort(genes.begin(), genes.end());
      for (auto& [s, e, st] : genes) expected[id].push_back(std::to_string(s) + " " + std::to_string(e) + " " + st);
      fs::current_path(dir_);
    }
    size_t total = 0;
    for (auto& [id, g] : expected) total += g.size();
    ASSERT_GT(total, 20u) << "the synthetic tables should let genes through";

    std::string first;
    for (const char* threads : {"1", "2", "3"}) {
      SCOPED_TRACE(std::string("method ") + method + ", -t " + threads);
      const std::string out = std::string("out_m") + method + "_t" + threads;
      const AnnotateRun r = run_annotate(args("genome.fna", out, {"-m", method, "-t", threads}), "/dev/null", tmp_);
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(gff_genes(read_file(out + "/g.gff")), expected);
      if (first.empty())
        first = outputs(out);
      else
        EXPECT_EQ(outputs(out), first) << "outputs differ with the number of workers";
      EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
    }
  }
}

TEST_F(AnnotateRunTest, GzipAndStandardInputGiveTheSameOutputs) {
  ASSERT_EQ(run_annotate(args("genome.fna", "plain", {"-t", "2"})).status, 0);
  write_gzip("genome.fna.gz", genome_.fasta());
  const AnnotateRun gz = run_annotate(args("genome.fna.gz", "gz"));
  ASSERT_EQ(gz.status, 0) << gz.err;
  const AnnotateRun in = run_annotate(args("-", "stdin", {"-t", "2"}), "genome.fna.gz");
  ASSERT_EQ(in.status, 0) << in.err;
  EXPECT_EQ(outputs("gz"), outputs("plain"));
  EXPECT_EQ(outputs("stdin"), outputs("plain"));
  // IDs agree across the three files and there is one CDS line per gene.
  std::istringstream gff(read_file("plain/g.gff"));
  std::vector<std::string> gff_ids, faa_ids, fna_ids;
  std::string line;
  while (std::getline(gff, line))
    if (line[0] != '#') gff_ids.push_back(line.substr(line.find("ID=") + 3, line.find(';') - line.find("ID=") - 3));
  for (auto [file, ids] : {std::pair{"plain/g.faa", &faa_ids}, std::pair{"plain/g.fna", &fna_ids}}) {
    std::istringstream f(read_file(file));
    while (std::getline(f, line))
      if (line[0] == '>') ids->push_back(line.substr(1, line.find(' ') - 1));
  }
  EXPECT_GT(gff_ids.size(), 20u);
  EXPECT_EQ(faa_ids, gff_ids);
  EXPECT_EQ(fna_ids, gff_ids);
}

TEST_F(AnnotateRunTest, FailuresLeaveNoOutputsAndNoTemporaryDirectories) {
  write_file("dup.fna", ">a\nACGT\n>b\nACGT\n>a\nACGT\n");
  write_file("text.fna", "this is not a genome\n");
  write_file("empty.fna", "");
  fs::create_directory("old");
  write_file("old/g.gff", "earlier results\n");  // written by a previous run: must survive
  fs::create_directories("bad_tables");
  for (const char* t : {"HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "best_plane_fixed.dat"})
    fs::copy_file(std::string("data/") + t, std::string("bad_tables/") + t);
  write_file("bad_tables/z.dat", "1 2 3 not-a-number\n");  // found by a worker's stage

  struct Case {
    std::vector<std::string> args;
    std::string message;
    long lines;  // of standard error: usage errors add a hint
  };
  const std::vector<Case> cases = {
      {args("dup.fna", "old"), "'dup.fna' holds the sequence name 'a' twice", 1},
      {args("text.fna", "old"), "'text.fna' is not a usable FASTA file", 1},
      {args("empty.fna", "old"), "'empty.fna' is empty", 1},
      {args("missing.fna", "old"), "cannot open 'missing.fna'", 1},
      {{"-q", "-d", "bad_tables", "-t", "2", "-o", "old", "-p", "g", "genome.fna"}, "z.dat", 1},
      {{"-q", "-d", "nowhere", "-o", "old", "-p", "g", "genome.fna"}, "the tables directory 'nowhere", 1},
      {args("genome.fna", "new_dir", {"-d", "bad_tables"}), "z.dat", 1},
      {{"-q", "-d", "data", "-o", ".", "-p", "genome", "genome.fna"},
       "the output file './genome.fna' is the input genome 'genome.fna'", 1},
      {{"-m", "4", "genome.fna"}, "the method (-m) must be 1, 2 or 3", 2},
      {{"-s", "ATG,XYZ", "genome.fna"}, "the start codons (-s)", 2},
      {{"-t", "0", "genome.fna"}, "the number of workers (-t)", 2},
      {{"-q"}, "no genome file given", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const AnnotateRun r = run_annotate(c.args, "/dev/null", tmp_);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.lines) << r.err;
    EXPECT_EQ(list_dir("old"), std::vector<std::string>{"g.gff"});
    EXPECT_EQ(read_file("old/g.gff"), "earlier results\n");
    EXPECT_FALSE(exists("new_dir")) << "an output directory made by a failed run stays";
    EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
  }
  EXPECT_TRUE(read_file("genome.fna") == genome_.fasta());
  EXPECT_FALSE(exists("genome.gff"));
}

TEST_F(AnnotateRunTest, SignalsStopTheWorkersAndCleanUp) {
  // A z table that is a FIFO holds every worker in its first stage until the
  // signal arrives.
  fs::create_directories("slow_tables");
  for (const char* t : {"HBondEnergies_MDmapped3.dat", "StackingEnergies_MD.dat", "best_plane_fixed.dat"})
    fs::copy_file(std::string("data/") + t, std::string("slow_tables/") + t);
  ASSERT_EQ(mkfifo("slow_tables/z.dat", 0600), 0);
  for (auto [sig, expected] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
    SCOPED_TRACE(sig);
    Io io;
    io.err = "err.txt";
    io.tmpdir = tmp_;
    const pid_t pid = spawn(annotate_binary(), {"-q", "-d", "slow_tables", "-t", "2", "-o", "sig", "genome.fna"}, io);
    // Wait until both workers have their directories.
    bool started = false;
    for (int i = 0; i < 500 && !started; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      for (const auto& name : list_dir(tmp_))
        if (exists(tmp_ + "/" + name + "/worker1/data")) started = true;
    }
    ASSERT_TRUE(started);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, sig);
    EXPECT_EQ(wait_status(pid), expected) << read_file("err.txt");
    EXPECT_NE(read_file("err.txt").find("interrupted by signal"), std::string::npos);
    EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
    EXPECT_FALSE(exists("sig")) << "output directory left behind";
  }
}

TEST_F(AnnotateRunTest, HelpShowsTheDefaults) {
  Io io;
  io.out = "help.txt";
  ASSERT_EQ(wait_status(spawn(annotate_binary(), {"-h"}, io)), 0);
  const std::string help = read_file("help.txt");
  std::string starts;
  for (const char* s : codonspace::DEFAULT_START_CODONS) starts += (starts.empty() ? "" : ",") + std::string(s);
  EXPECT_NE(help.find("(default " + std::to_string(codonspace::DEFAULT_MIN_LENGTH) + ")"), std::string::npos) << help;
  EXPECT_NE(help.find("(default " + starts + ")"), std::string::npos) << help;
  EXPECT_NE(help.find(std::string(CODONSPACE_SOURCE_DIR) + "/data"), std::string::npos) << help;
}

TEST_F(AnnotateRunTest, InstalledProgramFindsItsTables) {
  const std::string build = fs::path(CODONSPACE_BINARY).parent_path().string();
  const std::string prefix = dir_ + "/prefix";
  const std::string cmd = "cmake --install '" + build + "' --prefix '" + prefix + "' >install.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file("install.log");
  const std::string installed = prefix + "/bin/codonspace-annotate";
  ASSERT_TRUE(exists(prefix + "/bin/codonspace"));
  ASSERT_TRUE(exists(prefix + "/share/codonspace/data/z.dat"));
  Io io;
  io.out = "help.txt";
  ASSERT_EQ(wait_status(spawn(installed, {"-h"}, io)), 0);
  EXPECT_NE(read_file("help.txt").find(prefix + "/share/codonspace/data"), std::string::npos) << read_file("help.txt");
  // Without -d the installed copy predicts with its own tables: the same
  // genes as the build with the source tree's tables.
  const std::string example = std::string(CODONSPACE_SOURCE_DIR) + "/example/ctrachomatis.fna";
  io.out = "/dev/null";
  io.err = "err.txt";
  ASSERT_EQ(wait_status(spawn(installed, {"-q", "-o", "installed", example}, io)), 0) << read_file("err.txt");
  ASSERT_EQ(wait_status(spawn(annotate_binary(), {"-q", "-o", "built", example}, io)), 0) << read_file("err.txt");
  EXPECT_EQ(read_file("installed/ctrachomatis.gff"), read_file("built/ctrachomatis.gff"));
  EXPECT_GT(read_file("built/ctrachomatis.gff").size(), 10000u);
}

// The Snakemake workflow on three small genomes cut from the bundled example:
// a plain one, a gzip-compressed two-record one, and one under a .fa name.
TEST_F(AnnotateRunTest, WorkflowAnnotatesEveryGenomeOfADirectory) {
  if (std::system("command -v snakemake >/dev/null 2>&1") != 0) GTEST_SKIP() << "snakemake is not installed";
  const auto example = codonspace::annotate::read_fasta(std::string(CODONSPACE_SOURCE_DIR) + "/example/ctrachomatis.fna");
  const std::string& seq = example.at(0).sequence;
  fs::create_directory("genomes");
  write_file("genomes/first.fna", ">first\n" + seq.substr(0, 120000) + "\n");
  write_gzip("genomes/second.fna.gz", ">s1\n" + seq.substr(120000, 60000) + "\n>s2\n" + seq.substr(180000, 50000) + "\n");
  write_file("genomes/third.fa", ">third\n" + seq.substr(230000, 80000) + "\n");
  write_file("genomes/notes.txt", "not a genome\n");

  const std::string cmd = "snakemake -s '" + std::string(CODONSPACE_SOURCE_DIR) +
                          "/workflow/Snakefile' --cores 2 --quiet --config input_dir=genomes annotate='" +
                          annotate_binary() + "' >snakemake.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file("snakemake.log");

  std::istringstream summary(read_file("results/summary.tsv"));
  std::string line;
  std::getline(summary, line);
  EXPECT_EQ(line, "genome\trecords\tbases\tGC\tgenes\tseconds");
  // records, bases and GC (G+C among A/C/G/T, in percent) of each genome
  auto gc_percent = [](const std::string& bases) {
    const auto gc = std::count(bases.begin(), bases.end(), 'G') + std::count(bases.begin(), bases.end(), 'C');
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", 100.0 * static_cast<double>(gc) / static_cast<double>(bases.size()));
    return std::string(buf);
  };
  const std::map<std::string, std::vector<std::string>> expected = {
      {"first", {"1", "120000", gc_percent(seq.substr(0, 120000))}},
      {"second", {"2", "110000", gc_percent(seq.substr(120000, 110000))}},
      {"third", {"1", "80000", gc_percent(seq.substr(230000, 80000))}}};
  std::set<std::string> seen;
  while (std::getline(summary, line)) {
    std::istringstream f(line);
    std::string genome, records, bases, gc, genes, seconds;
    f >> genome >> records >> bases >> gc >> genes >> seconds;
    SCOPED_TRACE(line);
    ASSERT_TRUE(expected.count(genome));
    seen.insert(genome);
    EXPECT_EQ((std::vector<std::string>{records, bases, gc}), expected.at(genome));
    size_t cds = 0;
    for (const auto& [id, g] : gff_genes(read_file("results/" + genome + "/" + genome + ".gff"))) cds += g.size();
    EXPECT_EQ(genes, std::to_string(cds));
    EXPECT_GT(cds, 30u);
    EXPECT_FALSE(seconds.empty());
  }
  EXPECT_EQ(seen.size(), 3u);
  // The workflow's outputs are those of a direct run.
  ASSERT_EQ(run_annotate({"-q", "-o", "direct", "genomes/second.fna.gz"}).status, 0);
  EXPECT_TRUE(read_file("direct/second.gff") == read_file("results/second/second.gff"));
  EXPECT_TRUE(read_file("direct/second.faa") == read_file("results/second/second.faa"));
}

#ifdef ANNOTATE_TEST_SELF_TRAINING
// -T predicts with tables trained on the input itself: the same outputs as
// a run with tables trained on those records beforehand.
TEST_F(AnnotateRunTest, SelfTrainingUsesTablesTrainedOnTheInput) {
  const auto example = codonspace::annotate::read_fasta(std::string(CODONSPACE_SOURCE_DIR) + "/example/ctrachomatis.fna");
  const std::string& seq = example.at(0).sequence;
  write_file("two.fna", ">a\n" + seq.substr(0, 150000) + "\n>b\n" + seq.substr(150000, 100000) + "\n");
  codonspace::SelfTrainOptions o;
  o.min_length = 240;
  o.start_codons = {"ATG", "GTG"};
  codonspace::self_train({seq.substr(0, 150000), seq.substr(150000, 100000)}, std::string(CODONSPACE_SOURCE_DIR) + "/data",
                         dir_ + "/trained", o);
  const std::vector<std::string> common = {"-q", "-l", "240", "-s", "ATG,GTG", "-t", "2", "-p", "g"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> a = common;
    a.insert(a.end(), extra.begin(), extra.end());
    a.push_back("two.fna");
    return a;
  };
  const AnnotateRun self = run_annotate(with({"-T", "-o", "self"}), "/dev/null", tmp_);
  ASSERT_EQ(self.status, 0) << self.err;
  const AnnotateRun given = run_annotate(with({"-d", "trained", "-o", "given"}));
  ASSERT_EQ(given.status, 0) << given.err;
  EXPECT_TRUE(outputs("self") == outputs("given"));
  EXPECT_GT(read_file("self/g.gff").size(), 5000u);
  EXPECT_TRUE(list_dir(tmp_).empty()) << "temporary directories left behind";
}
#endif

}  // namespace
