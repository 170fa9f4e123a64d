// Predicted genes of a record and the three annotation formats written for
// them: GFF3, protein FASTA (translation table 11 or 4) and gene FASTA.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "core/gene.h"

namespace codonspace::annotate {

using codonspace::Gene;

// The gene of a result pair "B1 B2" (B1 < B2 direct strand, B1 > B2
// complementary). Throws Error when the pair does not lie within a
// sequence of seq_length bases or does not span whole codons (two at least).
Gene gene_from_pair(long b1, long b2, long seq_length);

// Output order: by start, then end, then strand ('+' first).
void sort_genes(std::vector<Gene>& genes);

// A called gene and what the outputs say of it besides its place, in the
// attributes gene finders write (their names and meaning as Prodigal has
// them). The scores are natural-log likelihood ratios of the start model:
// the gene's score is its coding score plus its start score, and the start
// score is the sum of its three weighted parts.
struct GeneCall {
  Gene gene;
  std::string start_type = "Edge";  // the start codon; "Edge" when the gene is open at its 5' end
  std::string rbs_motif = "None";   // the ribosome-binding site's bases, "None" without one
  int rbs_spacer = -1;              // bases between the motif and the start codon; -1 without a motif
  double coding_score = 0;          // cscore: in-frame coding evidence of the gene's bases
  double rbs_score = 0;             // rscore: the upstream motif (weighted as the start choice weighs it)
  double upstream_score = 0;        // uscore: the bases around the start codon (weighted likewise)
  double type_score = 0;            // tscore: the start codon itself
  double start_score() const { return rbs_score + upstream_score + type_score; }
  double score() const { return coding_score + start_score(); }
};

// Output order of calls, as sort_genes orders genes.
void sort_calls(std::vector<GeneCall>& calls);

// The confidence in percent that a gene of this score is real: the score
// read as a log-likelihood ratio, gene against non-gene, at even prior odds,
// so 100 / (1 + e^-score). 50 at a score of 0; 99.99 and more from about 9.2.
double confidence_percent(double score);

// Prodigal's spelling of the partial flags ("10": open at the left end in
// coordinates, "01" at the right) and of the spacer bins (3-4bp, 5-10bp,
// 11-12bp, 13-15bp; "None" without a motif; other counts as "<n>bp").
std::string partial_flags(const Gene& gene);
std::string spacer_text(int spacer);

// The attribute string of a call, the same in the GFF and in the FASTA
// headers: ID=<id>;partial=..;start_type=..;rbs_motif=..;rbs_spacer=..;
// gc_cont=..;conf=..;score=..;cscore=..;sscore=..;rscore=..;uscore=..;tscore=..
// id is the gene's name, escaped as a GFF attribute value; sequence is the
// record's.
std::string gene_attributes(const std::string& id, const std::string& sequence, const GeneCall& call);

// The bases of the gene in reading direction (reverse complement on '-';
// IUPAC letters complemented, anything else kept).
std::string gene_bases(const std::string& sequence, const Gene& gene);

// The genetic codes offered: 11 (bacteria, archaea) and 4 (Mycoplasma,
// Spiroplasma: TGA codes tryptophan).
bool is_supported_genetic_code(int code);
// The stop codons of the code: TAA, TAG, and TGA in table 11.
std::vector<std::string> stop_codons(int genetic_code);

// Translation with the code (11 or 4): the first codon is read as M (every
// start codon the scan accepts initiates with methionine) unless
// from_start_codon is false (a gene open at its 5' end begins inside the
// protein), a final stop codon is not written, codons with a letter other
// than A/C/G/T give X.
std::string translate(const std::string& bases, int genetic_code, bool from_start_codon = true);

// GFF3 escaping of the seqid column and of attribute values.
std::string gff_escape_seqid(const std::string& id);
std::string gff_escape_attribute(const std::string& value);

// Residues or bases per FASTA line in the .faa and .fna files.
inline constexpr size_t FASTA_LINE_WIDTH = 60;

struct AnnotationSettings {
  int method = 1;
  int genetic_code = 11;
};

// The GFF source column: codonspace_v<version>.
std::string gff_source();

// The writers. A GFF file is the header (version, the provenance comment
// lines given, one sequence-region line per record) followed by each
// record's part: a "# Sequence Data:" comment (number, length, name, G+C
// percent of the record) and its CDS lines, the score column the call's
// score and the attributes gene_attributes(); the .faa and .ffn files are
// each record's genes in turn, with Prodigal's header layout
// ">ID # start # end # strand # attributes" (strand 1 or -1). calls are the
// record's genes, sorted; they are named <seqid>_<n>, n counting from 1 per
// record; record_number counts from 1 in input order.
void write_gff_header(FILE* out, const std::vector<std::string>& provenance, const std::vector<FastaRecord>& records);
// A record's part comes in pieces, so that pieces can be formatted side by
// side: its "# Sequence Data:" line, and the lines of calls[first, last)
// (named from first + 1 on) of each file.
void write_gff_record_line(FILE* out, size_t record_number, const FastaRecord& record);
void write_gff_lines(FILE* out, const FastaRecord& record, const std::vector<GeneCall>& calls, size_t first,
                     size_t last);
void write_faa_genes(FILE* out, const FastaRecord& record, const std::vector<GeneCall>& calls, int genetic_code,
                     size_t first, size_t last);
void write_ffn_genes(FILE* out, const FastaRecord& record, const std::vector<GeneCall>& calls, size_t first,
                     size_t last);

}  // namespace codonspace::annotate
