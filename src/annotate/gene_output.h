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

// The bases of the gene in reading direction (reverse complement on '-';
// IUPAC letters complemented, anything else kept).
std::string gene_bases(const std::string& sequence, const Gene& gene);

// The genetic codes offered: 11 (bacteria, archaea) and 4 (Mycoplasma,
// Spiroplasma: TGA codes tryptophan).
bool is_supported_genetic_code(int code);
// The stop codons of the code: TAA, TAG, and TGA in table 11.
std::vector<std::string> stop_codons(int genetic_code);

// Translation with the code (11 or 4): the first codon is read as M (every
// start codon the scan accepts initiates with methionine), a final stop
// codon is not written, codons with a letter other than A/C/G/T give X.
std::string translate(const std::string& bases, int genetic_code);

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
// percent of the record) and its CDS lines; the .faa and .ffn files are
// each record's genes in turn. genes are the record's genes, sorted; they
// are named <seqid>_<n>, n counting from 1 per record; record_number counts
// from 1 in input order.
void write_gff_header(FILE* out, const std::vector<std::string>& provenance, const std::vector<FastaRecord>& records);
void write_gff_genes(FILE* out, size_t record_number, const FastaRecord& record, const std::vector<Gene>& genes,
                     const AnnotationSettings& settings);
void write_faa_genes(FILE* out, const FastaRecord& record, const std::vector<Gene>& genes, int genetic_code);
void write_ffn_genes(FILE* out, const FastaRecord& record, const std::vector<Gene>& genes);

}  // namespace codonspace::annotate
