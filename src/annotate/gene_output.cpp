#include "annotate/gene_output.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <tuple>

#include "io/file_io.h"
#include "core/genetic_code.h"

namespace codonspace::annotate {

namespace {
// IUPAC complement; any other byte is kept.
struct ComplementTable {
  char c[256];
  constexpr ComplementTable() : c() {
    for (int i = 0; i < 256; ++i) c[i] = static_cast<char>(i);
    const char* from = "ACGTUMRWSYKVHDBN";
    const char* to = "TGCAAKYWSRMBDHVN";
    for (int i = 0; from[i] != 0; ++i) c[static_cast<unsigned char>(from[i])] = to[i];
  }
};
constexpr ComplementTable kComplement{};

// The code of a number the caller has checked.
const GeneticCode& code_of(int genetic_code) {
  const GeneticCode* code = find_genetic_code(genetic_code);
  if (code == nullptr) throw Error("the genetic code " + std::to_string(genetic_code) + " is not supported");
  return *code;
}

void write_wrapped(FILE* out, const std::string& text) {
  for (size_t i = 0; i < text.size(); i += FASTA_LINE_WIDTH) {
    const size_t n = std::min(FASTA_LINE_WIDTH, text.size() - i);
    std::fwrite(text.data() + i, 1, n, out);
    std::putc('\n', out);
  }
}

void fasta_header(FILE* out, const std::string& seqid, size_t n, const GeneCall& call, const std::string& sequence) {
  const std::string name = seqid + "_" + std::to_string(n);
  const Gene& g = call.gene;
  std::fprintf(out, ">%s # %ld # %ld # %d # %s\n", name.c_str(), g.start, g.end, g.strand == '+' ? 1 : -1,
               gene_attributes(gff_escape_attribute(name), sequence, call).c_str());
}

std::string percent_escape(const std::string& s, bool (*keep)(unsigned char)) {
  std::string out;
  for (unsigned char c : s) {
    if (keep(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}
}  // namespace

Gene gene_from_pair(long b1, long b2, long seq_length) {
  const Gene g = gene_of_pair(b1, b2);
  const long length = g.end - g.start + 1;
  if (length < 6 || length % 3 != 0 || g.start < 1 || g.end > seq_length)
    throw Error("the result pair " + std::to_string(b1) + " " + std::to_string(b2) +
                " does not describe a gene within a sequence of " + std::to_string(seq_length) + " bases");
  return g;
}

void sort_genes(std::vector<Gene>& genes) {
  std::sort(genes.begin(), genes.end(), gene_before);
}

void sort_calls(std::vector<GeneCall>& calls) {
  std::sort(calls.begin(), calls.end(), [](const GeneCall& a, const GeneCall& b) { return gene_before(a.gene, b.gene); });
}

double confidence_percent(double score) {
  // Stays finite and within 0..100 for any score: exp(-score) overflows to
  // infinity for scores below about -709, giving 0.
  return 100.0 / (1.0 + std::exp(-score));
}

std::string partial_flags(const Gene& gene) {
  return std::string(gene.open_left ? "1" : "0") + (gene.open_right ? "1" : "0");
}

std::string spacer_text(int spacer) {
  if (spacer < 0) return "None";
  if (spacer >= 3 && spacer <= 4) return "3-4bp";
  if (spacer >= 5 && spacer <= 10) return "5-10bp";
  if (spacer >= 11 && spacer <= 12) return "11-12bp";
  if (spacer >= 13 && spacer <= 15) return "13-15bp";
  return std::to_string(spacer) + "bp";
}

std::string gene_attributes(const std::string& id, const std::string& sequence, const GeneCall& call) {
  const Gene& g = call.gene;
  size_t gc = 0;
  for (long p = g.start - 1; p < g.end; ++p) {
    const char c = sequence[static_cast<size_t>(p)];
    gc += c == 'G' || c == 'C' ? 1 : 0;
  }
  const double score = call.score();
  char numbers[320];
  std::snprintf(numbers, sizeof numbers,
                ";gc_cont=%.3f;conf=%.2f;score=%.2f;cscore=%.2f;sscore=%.2f;rscore=%.2f;uscore=%.2f;tscore=%.2f",
                static_cast<double>(gc) / static_cast<double>(g.end - g.start + 1), confidence_percent(score), score,
                call.coding_score, call.start_score(), call.rbs_score, call.upstream_score, call.type_score);
  return "ID=" + id + ";partial=" + partial_flags(g) + ";start_type=" + gff_escape_attribute(call.start_type) +
         ";rbs_motif=" + gff_escape_attribute(call.rbs_motif) + ";rbs_spacer=" + spacer_text(call.rbs_spacer) + numbers;
}

std::string gene_bases(const std::string& sequence, const Gene& gene) {
  std::string s = sequence.substr(static_cast<size_t>(gene.start - 1), static_cast<size_t>(gene.end - gene.start + 1));
  if (gene.strand == '-') {
    std::reverse(s.begin(), s.end());
    for (char& c : s) c = kComplement.c[static_cast<unsigned char>(c)];
  }
  return s;
}

bool is_supported_genetic_code(int code) { return find_genetic_code(code) != nullptr; }

std::vector<std::string> stop_codons(int genetic_code) { return code_of(genetic_code).stop_codons(); }

std::string translate(const std::string& bases, int genetic_code, bool from_start_codon) {
  const GeneticCode& code = code_of(genetic_code);
  std::string protein;
  const size_t codons = bases.size() / 3;
  protein.reserve(codons);
  for (size_t i = 0; i < codons; ++i) protein.push_back(i == 0 && from_start_codon ? 'M' : code.translate(bases.data() + 3 * i));
  if (codons > 1 && protein.back() == '*') protein.pop_back();
  return protein;
}

std::string gff_escape_seqid(const std::string& id) {
  return percent_escape(id, [](unsigned char c) {
    return std::isalnum(c) != 0 || std::strchr(".:^*$@!+_?-|", c) != nullptr;
  });
}

std::string gff_escape_attribute(const std::string& value) {
  return percent_escape(value, [](unsigned char c) {
    return c > 0x20 && c < 0x7F && std::strchr(";=&,%", c) == nullptr;
  });
}

std::string gff_source() { return std::string("codonspace_v") + CODONSPACE_VERSION; }

void write_gff_header(FILE* out, const std::vector<std::string>& provenance, const std::vector<FastaRecord>& records) {
  std::fprintf(out, "##gff-version 3\n");
  for (const std::string& line : provenance) std::fprintf(out, "# %s\n", line.c_str());
  for (const FastaRecord& r : records)
    std::fprintf(out, "##sequence-region %s 1 %zu\n", gff_escape_seqid(r.id).c_str(), r.sequence.size());
}

void write_gff_record_line(FILE* out, size_t record_number, const FastaRecord& record) {
  const std::string id = gff_escape_attribute(record.id);
  size_t gc = 0;
  for (char c : record.sequence) gc += c == 'G' || c == 'C' ? 1 : 0;
  std::fprintf(out, "# Sequence Data: seqnum=%zu;seqlen=%zu;seqid=%s;gc_cont=%.2f\n", record_number,
               record.sequence.size(), id.c_str(),
               record.sequence.empty() ? 0.0 : 100.0 * static_cast<double>(gc) / static_cast<double>(record.sequence.size()));
}

void write_gff_lines(FILE* out, const FastaRecord& record, const std::vector<GeneCall>& calls, size_t first,
                     size_t last) {
  const std::string seqid = gff_escape_seqid(record.id);
  const std::string source = gff_source();
  for (size_t i = first; i < last; ++i) {
    const GeneCall& call = calls[i];
    const Gene& g = call.gene;
    const std::string name = gff_escape_attribute(record.id + "_" + std::to_string(i + 1));
    std::fprintf(out, "%s\t%s\tCDS\t%ld\t%ld\t%.1f\t%c\t0\t%s\n", seqid.c_str(), source.c_str(), g.start, g.end,
                 call.score(), g.strand, gene_attributes(name, record.sequence, call).c_str());
  }
}

void write_faa_genes(FILE* out, const FastaRecord& record, const std::vector<GeneCall>& calls, int genetic_code,
                     size_t first, size_t last) {
  for (size_t i = first; i < last; ++i) {
    const GeneCall& call = calls[i];
    fasta_header(out, record.id, i + 1, call, record.sequence);
    const bool open5 = call.gene.strand == '+' ? call.gene.open_left : call.gene.open_right;
    write_wrapped(out, translate(gene_bases(record.sequence, call.gene), genetic_code, !open5));
  }
}

void write_ffn_genes(FILE* out, const FastaRecord& record, const std::vector<GeneCall>& calls, size_t first,
                     size_t last) {
  for (size_t i = first; i < last; ++i) {
    fasta_header(out, record.id, i + 1, calls[i], record.sequence);
    write_wrapped(out, gene_bases(record.sequence, calls[i].gene));
  }
}

}  // namespace codonspace::annotate
