// The ORF scan cut into fixed blocks must hand its sinks exactly what one
// scan of the whole sequence hands one sink, for any number of threads: the
// blocks resume each frame from its last stop codon before the block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stages/generate_orfs.h"
#include "test_util.h"

namespace codonspace {
namespace {

// Every ORF and every end of a stop's ORFs, in the order received.
struct Recorder : OrfSink {
  std::vector<long> events;
  void orf(long b1, long b2) override {
    events.push_back(b1);
    events.push_back(b2);
  }
  void end_stop() override { events.push_back(0); }
};

TEST(OrfBlocksTest, BlocksJoinedAreTheWholeScanForAnyThreads) {
  const CodonTables tables = initiate_start_stop_codons(false, {"ATG", "GTG", "TTG"});
  const long block = ORF_SCAN_BLOCK;
  struct Case {
    long length;
    long quiet_from;  // a stretch without T (no stop on either strand) across a block edge (0: none)
    bool n_run;       // an N run across the next block edge
  };
  const Case cases[] = {
      {block - 2, 0, false},          {block + 2, 0, false},           {2 * block + 1, block - 5000, false},
      {2 * block + 3, 0, true},       {3 * block - 1, block - 900, true}, {5, 0, false},
  };
  unsigned seed = 7;
  for (const Case& c : cases) {
    std::string seq = testutil::draft_bases(static_cast<size_t>(c.length), seed++);
    if (c.quiet_from > 0)  // 12 kb without a stop, so ORFs span the edge; CAT, CAC, CAA start them on the reverse strand
      for (long i = c.quiet_from; i < c.quiet_from + 12000 && i < c.length; ++i)
        if (seq[i] == 'T') seq[i] = "ACG"[i % 3];
    if (c.n_run && c.length > 2 * block + 100) seq.replace(2 * block - 50, 100, std::string(100, 'N'));
    Recorder whole;
    OrfScanner(tables, 90, PREDICTION_ORF_MAX_LENGTH, whole).scan(seq.data(), c.length);
    for (int threads : {1, 3}) {
      std::vector<long> joined;
      for (const Recorder& r : scan_in_blocks<Recorder>(tables, 90, PREDICTION_ORF_MAX_LENGTH, seq.data(), c.length,
                                                        threads))
        joined.insert(joined.end(), r.events.begin(), r.events.end());
      EXPECT_EQ(joined, whole.events) << "length " << c.length << ", " << threads << " threads";
    }
    EXPECT_TRUE(c.length < 100 || whole.events.size() > 100) << "length " << c.length;
  }
}

}  // namespace
}  // namespace codonspace
