// Predicted genes of a record and the three annotation formats written for
// them: GFF3, protein FASTA (translation table 11) and gene FASTA.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "annotate/fasta.h"
#include "gene.h"

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

// Translation table 11: the first codon is read as M (every start codon the
// scan accepts initiates with methionine), a final stop codon is not
// written, codons with a letter other than A/C/G/T give X.
std::string translate_table11(const std::string& bases);

// GFF3 escaping of the seqid column and of attribute values.
std::string gff_escape_seqid(const std::string& id);
std::string gff_escape_attribute(const std::string& value);

// Residues or bases per FASTA line in the .faa and .fna files.
inline constexpr size_t FASTA_LINE_WIDTH = 60;

struct AnnotationSettings {
  int method = 1;
};

// The writers. A GFF file is the header (version and one sequence-region
// line per record) followed by each record's CDS lines; the .faa and .fna
// files are each record's genes in turn. genes are the record's genes,
// sorted; they are named <seqid>_<n>, n counting from 1 per record.
void write_gff_header(FILE* out, const std::vector<FastaRecord>& records);
void write_gff_genes(FILE* out, const FastaRecord& record, const std::vector<Gene>& genes,
                     const AnnotationSettings& settings);
void write_faa_genes(FILE* out, const FastaRecord& record, const std::vector<Gene>& genes);
void write_fna_genes(FILE* out, const FastaRecord& record, const std::vector<Gene>& genes);

}  // namespace codonspace::annotate
