// A record cut into pieces for several workers: the pieces' owned genes,
// merged, are the genes of the whole record, wherever the cuts fall; and
// codonspace-annotate writes the same bytes with one worker as with
// several on a record cut into pieces.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "annotate/fasta.h"
#include "annotate/gene_output.h"
#include "annotate/record_pipeline.h"
#include "annotate/record_split.h"
#include "core/genetic_code.h"
#include "io/file_io.h"
#include "training/orf_scan.h"
#include "test_util.h"

namespace fs = std::filesystem;
namespace ann = codonspace::annotate;
using ann::Gene;
using ann::Piece;
using testutil::read_file;

namespace {

const std::string SOURCE_DIR = CODONSPACE_SOURCE_DIR, ANNOTATE = CODONSPACE_ANNOTATE_BINARY;

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
