// codonspace-annotate's choice of tables: self-trained on inputs of
// SELF_TRAIN_MIN_BASES or more, the shipped tables below, -d, --shipped-tables
// and -T; refused tables directories; inputs with nothing to find.
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "annotate/annotate.h"
#include "annotate/fasta.h"
#include "test_util.h"

namespace fs = std::filesystem;
namespace ann = codonspace::annotate;
using testutil::read_file;
using testutil::write_file;

namespace {

const std::string SOURCE_DIR = CODONSPACE_SOURCE_DIR, ANNOTATE = CODONSPACE_ANNOTATE_BINARY;

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

}  // namespace
