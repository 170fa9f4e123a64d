// End-to-end runs of the executable in fresh directories.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "test_util.h"

using testutil::gzip;
using testutil::exists;
using testutil::list_dir;
using testutil::read_file;
using testutil::run_binary;
using testutil::write_file;

namespace {
const std::string USAGE =
    "\nUSAGE : ./executable  arg1(input file)  arg2(Minimum ORF sequence length) arg3(Method) "
    "[START CODON NAME(S) ](ATG TTG GTG CTG )\n\n";
const std::string METHOD_BLOCK = "\nPlease specify Method\n\n1 : DNA Space\n2 : Protein Space\n3 : Swissprot Space";

// 86 bases; with ATG and a minimum of 10 the scan finds 1 15, 7 15, 16 27,
// 39 28, 44 52, 56 36, 71 63 and 78 86 (55 60 is too short), and after the
// last window 79 68, whose start has no complementary stop above it. The
// last stop ends in the last base.
const std::string GENOME =
    "ATGAAAATGAAATAAATGCCCCCCTGATTATTTTTTCATTTACATGAAATAGCCATGTAACCTTATTTCATTTACCCATGAAATGA";

// The genome as a user might hand it in: CR LF line ends, mixed case, a tab.
const std::string GENOME_FILE = ">test genome\r\natgaaaatgaaataaatgcccccctgatta\r\n" + GENOME.substr(30, 15) +
                                "\t" + GENOME.substr(45, 15) + "\r\n" + GENOME.substr(60);
}  // namespace

class CliTest : public testutil::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    write_file("genome.fna", GENOME_FILE);
  }
  // X counts AAA, Y counts CCC, Z counts ATG; genes have more AAA than CCC.
  static void write_run_tables() {
    testutil::Tables t;
    t.x = {{"AAA", 1}};
    t.y = {{"CCC", 1}};
    t.z[57] = 1;
    t.plane = "1 -1 0 0\n";
    testutil::write_tables(t);
  }
  static std::map<std::string, std::string> results() {
    std::map<std::string, std::string> r;
    for (const auto& f : testutil::RESULT_FILES)
      if (exists(f)) r[f] = read_file(f);
    return r;
  }
  static void expect_no_working_files() {
    for (const auto& f : testutil::WORKING_FILES) EXPECT_FALSE(exists(f)) << f;
  }
};

TEST_F(CliTest, RefusedCommandLinesWriteNothing) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
  } cases[] = {
      {{}, USAGE, 1},
      {{"--version"}, "codonspace " CODONSPACE_VERSION "\n", 0},
      {{"genome.fna"}, "\nPlease specify minimum sequence length\n" + USAGE, 1},
      {{"genome.fna", "100"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", "1"}, "\nPlease specify start codon\n" + USAGE, 1},
      {{"missing.fna", "100", "3"}, "\nPlease specify start codon\n" + USAGE, 1},
      {{"genome.fna", "100", "7", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", "x1", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"missing.fna", "100", "0", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "0", "1", "ATG", "GTG", "TTG", "CTG", "ATG"},
       "\nPlease specify at most four start codons\n" + USAGE, 1},
      {{"genome.fna", "0", "9", "ATG", "GTG", "TTG", "CTG", "ATG", "GTG"},
       "\nPlease specify at most four start codons\n" + USAGE, 1},
      {{"genome.fna", "0", "1", "AT"}, "\nInvalid start codon: AT\n" + USAGE, 1},
      {{"genome.fna", "0", "1", ""}, "\nInvalid start codon: \n" + USAGE, 1},
      {{"missing.fna", "0", "1", "atg", "aNg", "QQ"}, "\nInvalid start codon: aNg\n" + USAGE, 1},
      {{"genome.fna", "0", "1", "ATG", "A G"}, "\nInvalid start codon: A G\n" + USAGE, 1},
      // Stop codons are refused as starts, in any case.
      {{"genome.fna", "0", "1", "ATG", "taa"}, "\nInvalid start codon: taa\n" + USAGE, 1},
      {{"genome.fna", "0", "1", "TaG"}, "\nInvalid start codon: TaG\n" + USAGE, 1},
      {{"genome.fna", "0", "1", "GTG", "TGA"}, "\nInvalid start codon: TGA\n" + USAGE, 1},
      // The method is decimal digits of value 1, 2 or 3.
      {{"genome.fna", "100", "1x", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", "+1", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", " 1", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", "4", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", "18446744073709551617", "ATG"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "100", "1x"}, METHOD_BLOCK + USAGE, 1},
      // The minimum length is decimal digits of value at most 10000000.
      {{"genome.fna", "abc", "1", "ATG"}, "\nInvalid minimum sequence length: abc\n" + USAGE, 1},
      {{"genome.fna", "-5", "1", "ATG"}, "\nInvalid minimum sequence length: -5\n" + USAGE, 1},
      {{"genome.fna", "150x", "1", "ATG"}, "\nInvalid minimum sequence length: 150x\n" + USAGE, 1},
      {{"genome.fna", "1e3", "1", "ATG"}, "\nInvalid minimum sequence length: 1e3\n" + USAGE, 1},
      {{"genome.fna", "", "1", "ATG"}, "\nInvalid minimum sequence length: \n" + USAGE, 1},
      {{"genome.fna", "10000001", "1", "ATG"}, "\nInvalid minimum sequence length: 10000001\n" + USAGE, 1},
      {{"genome.fna", "4294967446", "1", "ATG"}, "\nInvalid minimum sequence length: 4294967446\n" + USAGE, 1},
      // Checked in order: count, method, length, start codons, genome.
      {{"genome.fna", "abc", "9", "TAA"}, METHOD_BLOCK + USAGE, 1},
      {{"genome.fna", "abc", "1", "TAA"}, "\nInvalid minimum sequence length: abc\n" + USAGE, 1},
      {{"missing.fna", "100", "1", "TAA"}, "\nInvalid start codon: TAA\n" + USAGE, 1},
  };
  for (const auto& c : cases) {
    std::string name;
    for (const auto& a : c.args) name += "'" + a + "' ";
    const auto r = run_binary(c.args);
    EXPECT_EQ(r.status, c.status) << name;
    EXPECT_EQ(r.out, c.out) << name;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(list_dir(), std::vector<std::string>{"genome.fna"}) << name;
  }
  // -h follows the usage line with the rules of every argument.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-h"}, {"--help", "genome.fna", "0"}}) {
    const auto r = run_binary(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, USAGE.size()), USAGE);
    for (const char* rule : {"gzip", "10000000", "TAA, TAG, TGA", "complement is N", "installed"})
      EXPECT_NE(r.out.find(rule), std::string::npos) << rule;
  }
}

// Every genome that cannot be read whole is refused: one line on standard
// error naming the file and the reason, exit status 1, and the directory as
// it was (the earlier results included).
TEST_F(CliTest, RefusedGenomesLeaveTheDirectoryAsItWas) {
  write_run_tables();
  ASSERT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
  const auto before = results();
  const std::string packed = gzip(GENOME_FILE);
  std::string corrupt = packed;
  corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x55);
  const struct {
    const char* name;
    std::string content;
    const char* reason;
  } cases[] = {
      {"empty.fna", "", "is empty"},
      {"headerless.fna", GENOME + "\n", "does not begin with a '>' header line"},
      {"blank_first.fna", " >x\n" + GENOME + "\n", "does not begin with a '>' header line"},
      {"numbered.fna", ">x\n" + GENOME.substr(0, 60) + "\n61 " + GENOME.substr(60) + "\n", "line 3 holds '6'"},
      {"gap.fna", ">x\nACGT-ACGT\n", "line 2 holds '-'"},
      {"dot.fna", ">x\nACGT\nAC.GT\n", "line 3 holds '.'"},
      {"star.fna", ">x\nACGT*\n", "line 2 holds '*'"},
      {"control.fna", ">x\nAC\x01GT\n", "line 2 holds byte 0x01"},
      {"header_only.fna", ">header only\n", "holds no bases"},
      {"no_line_feed.fna", ">no line feed", "holds no bases"},
      {"blank_lines.fna", ">x\n\n \t\r\n", "holds no bases"},
      {"two_records.fna", ">a\nATGAAATAA\n>b\nATGAAATAA\n", "more than one record"},
      {"truncated.gz", packed.substr(0, packed.size() - 12), "damaged gzip stream"},
      {"corrupt.gz", corrupt, "damaged gzip stream"},
      {"garbage_after.gz", packed + "garbage", "not a gzip member"},
      {"record_after.gz", packed + ">y\nACGT\n", "not a gzip member"},
      {"zeros_after.gz", packed + std::string(512, '\0'), "not a gzip member"},
      {"genome.fna.xz", std::string("\xFD" "7zXZ\0\0\x04", 8), "xz-compressed"},
      {"genome.fna.bz2", "BZh91AY&SY", "bzip2-compressed"},
      {"genome.fna.zst", "\x28\xB5\x2F\xFD\x04\x58", "zstd-compressed"},
  };
  for (const auto& c : cases) {
    write_file(c.name, c.content);
    const auto dir = list_dir();
    const auto r = run_binary({c.name, "10", "1", "ATG"});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_NE(r.err.find(std::string("'") + c.name + "'"), std::string::npos) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(list_dir(), dir) << c.name;
    EXPECT_EQ(results(), before) << c.name;
    // codonspace-annotate reads several records and empty ones; what is not a
    // genome at all it refuses the same way, writing no output.
    const std::string reason = c.reason;
    if (reason == "is empty" || reason == "holds no bases" || reason == "more than one record") continue;
    const int status = testutil::wait_status(
        testutil::spawn(CODONSPACE_ANNOTATE_BINARY, {"-q", "-o", "annotated", c.name}, {"/dev/null", "/dev/null", "a.err"}));
    const std::string err = read_file("a.err");
    std::filesystem::remove("a.err");
    EXPECT_EQ(status, 1) << c.name << ": " << err;
    EXPECT_NE(err.find(c.name), std::string::npos) << c.name << ": " << err;
    EXPECT_FALSE(exists("annotated/" + std::string(c.name).substr(0, std::string(c.name).find('.')) + ".gff"))
        << c.name;
  }
  // Other compressions are named with the command that decompresses them.
  EXPECT_NE(run_binary({"genome.fna.xz", "10", "1", "ATG"}).err.find("xz -d"), std::string::npos);
}

TEST_F(CliTest, GenomeThatCannotBeReadIsNamedOnStandardError) {
  std::filesystem::create_directory("gdir");
  for (const std::string genome : {"missing.fna", "gdir"}) {
    const auto r = run_binary({genome, "0", "1", "ATG"});
    EXPECT_EQ(r.status, 1) << genome;
    EXPECT_EQ(r.out, "") << genome;
    EXPECT_NE(r.err.find(genome), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(list_dir(), (std::vector<std::string>{"gdir", "genome.fna"})) << genome;
  }
}

TEST_F(CliTest, GenomeStoredUnderARunFileNameIsRefusedUntouched) {
  write_run_tables();
  const std::string text = read_file("genome.fna");
  // The genome itself, or a link to it, under a working or a result name.
  for (const std::string name : {"processed_genome", "signal", "gene_sequences", "2main_orfs"}) {
    std::filesystem::rename(exists("genome.fna") ? "genome.fna" : "moved", name);
    auto r = run_binary({name, "0", "1", "ATG"});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    EXPECT_EQ(read_file(name), text) << name;
    std::filesystem::rename(name, "moved");
  }
  std::filesystem::create_hard_link("moved", "longest_orfs");
  auto r = run_binary({"moved", "0", "1", "ATG"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file("moved"), text);
}

TEST_F(CliTest, MethodOneRunWritesTheSevenResults) {
  write_run_tables();
  const auto r = run_binary({"genome.fna", "10", "1", "ATG"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  const std::map<std::string, std::string> expected = {
      {"gene_sequences",
       "> +strand gene; start: 1 , end: 15\nATGAAAATGAAATAA\n"
       "> -strand gene; start: 39 , end: 28\nATGAAAAAATAA\n"
       "> +strand gene; start: 44 , end: 52\nATGAAATAG\n"
       "> -strand gene; start: 56 , end: 36\nATGGCTATTTCATGTAAATGA\n"
       "> -strand gene; start: 71 , end: 63\nATGAAATAA\n"
       "> +strand gene; start: 78 , end: 86\nATGAAATGA\n"
       // No complementary stop lies above its start: reported after the scan.
       "> -strand gene; start: 79 , end: 68\nATGGGTAAATGA\n"},
      {"1main_orfs", "+1 1 15\n"},
      {"2main_orfs", "+2 44 52\n"},
      {"3main_orfs", "+3 78 86\n"},
      {"1complementary_orfs", "-1 39 28\n"},
      {"2complementary_orfs", "-2 56 36\n-2 71 63\n"},
      {"3complementary_orfs", "-3 79 68\n"},
  };
  EXPECT_EQ(results(), expected);
  std::vector<std::string> names = {"data", "genome.fna"};
  names.insert(names.end(), testutil::RESULT_FILES.begin(), testutil::RESULT_FILES.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(list_dir(), names);
}

TEST_F(CliTest, AcceptedSpellingsAndCompressedGenomes) {
  write_run_tables();
  ASSERT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
  const auto baseline = results();
  const std::string packed = gzip(GENOME_FILE);
  write_file("packed.fna", packed);  // gzip content under a plain name
  // Two members, as bgzip writes them, split inside a sequence line.
  write_file("members.gz", gzip(GENOME_FILE.substr(0, 40)) + gzip(GENOME_FILE.substr(40)));
  write_file("lf.fna", ">x\n" + GENOME.substr(0, 50) + "\n" + GENOME.substr(50));
  const struct {
    std::vector<std::string> args;
  } cases[] = {
      {{"genome.fna", "10", "1", "atg"}},
      {{"genome.fna", "010", "01", "aTg"}},
      {{"genome.fna", "10", "1", "ATG", "atg", "ATG", "ATG"}},
      {{"packed.fna", "10", "1", "ATG"}},
      {{"members.gz", "10", "1", "ATG"}},
      {{"lf.fna", "10", "1", "ATG"}},
  };
  for (const auto& c : cases) {
    for (const auto& f : testutil::RESULT_FILES) std::remove(f.c_str());
    const auto r = run_binary(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0] << " " << r.err;
    EXPECT_EQ(r.err, "") << c.args[0];
    EXPECT_EQ(results(), baseline) << c.args[0] << " " << c.args[1] << " " << c.args[2] << " " << c.args[3];
    expect_no_working_files();
  }
}

// Without a data/ directory the tables installed with the program are read
// (for a build tree, those of its source tree); a data/ directory, here
// with tables that pass no ORF, always wins.
TEST_F(CliTest, TablesComeFromDataElseFromTheInstalledOnes) {
  const auto r = run_binary({"genome.fna", "0", "1", "ATG"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(results().size(), 7U);
  testutil::Tables none;
  none.plane = "0 0 0 -1\n";
  testutil::write_tables(none);
  ASSERT_EQ(run_binary({"genome.fna", "0", "1", "ATG"}).status, 0);
  EXPECT_EQ(read_file("gene_sequences"), "");
  std::filesystem::remove_all("data");
  write_file("data", "a file, not a directory");
  EXPECT_EQ(run_binary({"genome.fna", "0", "1", "ATG"}).status, 0);
}

TEST_F(CliTest, MethodsTwoAndThreeScreenTheMethodOneCandidates) {
  write_run_tables();
  write_file("data/codon1", "4.7 5.53 9.66 2.27 3.93 8.25 7.07 6.87 5.45 6.75\n"
                            "6.56 1.37 1.08 3.86 2.92 5.34 5.96 2.42 4.06 5.84\n");
  ASSERT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
  const std::string method1_genes = read_file("gene_sequences");
  const std::vector<std::string> screening_files = {
      "talvisca_seq", "proS", "signal66genes", "signal_talvisca66", "temp", "webtalvisca.out",
      "codon", "codon1_codonvalue", "nongenefile", "seq_std_dev", "std_check", "stddev_seq", "test1"};
  for (const char* method : {"2", "3"}) {
    const auto r = run_binary({"genome.fna", "10", method, "ATG"});
    EXPECT_EQ(r.status, 0) << method << r.err;
    // Of the plane's survivors only 56 36 (21 bases) reaches the 16 bases
    // the evaluator translates; its 7 residues are scored and rejected.
    EXPECT_NE(r.out.find(" Total Number of Files = 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" Number of files analyzed =  1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" Number of Proteins Found =  0\n"), std::string::npos) << r.out;
    EXPECT_EQ(results().size(), 7U) << method;
    // Short translations are never judged proteins, so nothing survives.
    EXPECT_EQ(read_file("gene_sequences"), "") << method;
    expect_no_working_files();
    for (const auto& f : screening_files) EXPECT_FALSE(exists(f)) << method << " " << f;
  }
  EXPECT_NE(method1_genes, "");
}

TEST_F(CliTest, FailedStageStopsTheRunAndKeepsEarlierResults) {
  std::string z63;
  for (int i = 0; i < 63; ++i) z63 += "0\n";
  const struct {
    const char* file;
    const char* content;  // nullptr: the file is removed
    const char* stage;    // named in the message
  } cases[] = {
      {"data/HBondEnergies_MDmapped3.dat", nullptr, "calculate_vectors_prediction: "},
      {"data/StackingEnergies_MD.dat", "ATG 1\nAXG 2\n", "calculate_vectors_prediction: "},
      {"data/z.dat", z63.c_str(), "calculate_vectors_prediction: "},
      {"data/best_plane_fixed.dat", "1 -1 0\n", "final_output_prediction: "},
      {"data/best_plane_fixed.dat", nullptr, "final_output_prediction: "},
      {"genome.fna", ">a\nATGAAATAA\n>b\nATGAAATAA\n", "preprocess_genome: "},  // a second record
  };
  for (const auto& c : cases) {
    write_run_tables();
    ASSERT_EQ(run_binary({"genome.fna", "10", "1", "ATG"}).status, 0);
    const auto before = results();
    ASSERT_EQ(before.size(), 7u);
    testutil::put_file(c.file, c.content);
    const auto r = run_binary({"genome.fna", "10", "1", "ATG"});
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.stage), std::string::npos) << r.err;
    EXPECT_EQ(results(), before) << c.file;
    expect_no_working_files();
  }
}

TEST_F(CliTest, OutputThatCannotBeWrittenFailsTheRun) {
  // The file size limit stops a write: the processed genome has 86 bytes and
  // the ORF list 59, the sequence records are longer. A single ORF of 906
  // bases makes the gene file (954 bytes) the longest output, cut short
  // while the results are written. (Links and directories under the run's
  // names are refused before the run starts.)
  write_file("one_orf.fna", ">one\nATG" + std::string(900, 'A') + "TAA\n");
  const struct {
    const char* genome;
    const char* name;
    long limit;
  } cases[] = {{"genome.fna", "processed_genome", 40},
               {"genome.fna", "longest_orf_sequences", 100},
               {"one_orf.fna", "gene_sequences", 930}};
  write_run_tables();
  for (const auto& c : cases) {
    const auto r = run_binary({c.genome, "10", "1", "ATG"}, c.limit);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find(c.name), std::string::npos) << c.name << ": " << r.err;
    expect_no_working_files();
    // Results are never left half written.
    for (const auto& f : testutil::RESULT_FILES) EXPECT_FALSE(exists(f)) << c.name << ": " << f;
  }
}

TEST_F(CliTest, RunWithTheRepositoryTables) {
  const std::string data = std::string(CODONSPACE_SOURCE_DIR) + "/data";
  for (const char* table : {"/HBondEnergies_MDmapped3.dat", "/StackingEnergies_MD.dat", "/z.dat",
                            "/best_plane_fixed.dat"})
    if (!exists(data + table)) GTEST_SKIP() << "data" << table << " is not there yet";
  ASSERT_EQ(symlink(data.c_str(), "data"), 0);
  const auto r = run_binary({"genome.fna", "0", "1", "ATG", "GTG", "TTG"});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const auto& f : testutil::RESULT_FILES) EXPECT_TRUE(exists(f)) << f;
  expect_no_working_files();
}

TEST_F(CliTest, WriteErrorOnStandardOutputIsNotSuccess) {
  for (const std::string arg : {"--version", "-h"}) {
    const auto r = run_binary({arg}, -1, "/dev/full");
    EXPECT_EQ(r.status, 1) << arg;
  }
}
