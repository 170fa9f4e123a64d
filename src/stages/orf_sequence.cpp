#include <cstdio>
#include <vector>

#include "core/codon.h"
#include "io/file_io.h"
#include "stages/sequence_export.h"
#include "stages/stages.h"

namespace codonspace {

char comp(char ch) { return comp_base(ch); }

namespace {
// One record: the header, then the bases in lines of 80, then a line end.
// The line end before base 0 closes the header line.
void write_gene_record(FILE* fp, long b1, long b2, const std::vector<char>& seq) {
  std::fprintf(fp, "%s %ld %s %ld", b1 < b2 ? "> +strand gene; start:" : "> -strand gene; start:", b1,
               ", end:", b2);
  for (size_t q = 0; q < seq.size(); ++q) {
    if (q % 80 == 0) putc_unlocked('\n', fp);
    putc_unlocked(seq[q], fp);
  }
  putc_unlocked('\n', fp);
}
}  // namespace

int orf_sequence_final() {
  File fp_genomeorf(PROCESSED_GENOME, "r");
  File fp_writeorf(GENE_SEQUENCES, "w+");
  File fp_write1orf(MAIN_STRAND, "w+");
  File fp_write2orf(COMPLEMENTARY_STRAND, "w+");
  File fp_boundaries1orf(LONGEST_ORFS, "r");
  require_open({&fp_genomeorf, &fp_writeorf, &fp_write1orf, &fp_write2orf, &fp_boundaries1orf});

  GenomeReader genome(fp_genomeorf);
  Scanner in(fp_boundaries1orf);
  std::vector<char> seq;
  long b1, b2;
  long i = 0;
  while (in.next_pair(b1, b2)) {
    ++i;
    genome.read_orf(b1, b2, LONGEST_ORFS, seq);
    std::fprintf(b1 < b2 ? fp_write1orf.get() : fp_write2orf.get(), "%ld %ld\n", b1, b2);
    write_gene_record(fp_writeorf.get(), b1, b2, seq);
    if (i % 1024 == 0) fp_writeorf.check_write();
  }
  fp_writeorf.close_output();
  fp_write1orf.close_output();
  fp_write2orf.close_output();
  return 0;
}

}  // namespace codonspace
