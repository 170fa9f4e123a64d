// Scoring of predicted genes against a reference annotation.
//
// A gene is (start, end, strand) with 1-based inclusive coordinates,
// start <= end, stop codon included. A prediction matches a reference CDS
// at its 3' end when strand and stop coordinate agree: end for '+', start
// for '-'. Its start is correct when the other coordinate agrees too.
//
// Predictions come from codonspace's result files (boundary pairs) or from
// GFF3 files (CDS features), the format of the peer gene finders.
//
// Header-only so that the tools and the unit tests share one definition.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "io/file_io.h"
#include "core/gene.h"

namespace codonspace::scoring {

using codonspace::Gene;

// A boundary pair of codonspace's output: b1 < b2 is a direct-strand gene
// b1..b2; b1 > b2 a complementary-strand gene b2..b1. Equal values are not a
// gene and give false.
inline bool gene_from_pair(long b1, long b2, Gene& g) {
  if (b1 == b2) return false;
  g = gene_of_pair(b1, b2);
  return true;
}

// Coordinate of the stop codon's outer end, signed by strand so that the
// two strands never share a key.
inline long stop_key(const Gene& g) { return g.strand == '+' ? g.end : -g.start; }
// Coordinate of the start codon's outer end, signed the same way.
inline long start_key(const Gene& g) { return g.strand == '+' ? g.start : -g.end; }

// One reference line: "start end strand" or "seqid start end strand",
// separated by tabs or blanks. Returns false for blank lines and lines
// starting with '#'; throws std::runtime_error on anything else that does
// not parse. seqid is empty for three-column lines.
inline bool parse_reference_line(const std::string& line, std::string& seqid, Gene& g) {
  std::vector<std::string> f;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    size_t j = i;
    while (j < line.size() && !(line[j] == ' ' || line[j] == '\t' || line[j] == '\r' || line[j] == '\n')) ++j;
    if (j > i) f.push_back(line.substr(i, j - i));
    i = j;
  }
  if (f.empty() || f[0][0] == '#') return false;
  if (f.size() != 3 && f.size() != 4) throw std::runtime_error("expected 3 or 4 fields: '" + line + "'");
  const size_t o = f.size() - 3;
  seqid = o == 1 ? f[0] : std::string();
  auto num = [&](const std::string& s) {
    char* endp = nullptr;
    long v = std::strtol(s.c_str(), &endp, 10);
    if (endp == s.c_str() || *endp != '\0' || v < 1) throw std::runtime_error("bad coordinate '" + s + "'");
    return v;
  };
  g.start = num(f[o]);
  g.end = num(f[o + 1]);
  if (f[o + 2] != "+" && f[o + 2] != "-") throw std::runtime_error("bad strand '" + f[o + 2] + "'");
  g.strand = f[o + 2][0];
  if (g.start > g.end) throw std::runtime_error("start after end: '" + line + "'");
  return true;
}

// How one line of a GFF3 file was read.
enum class GffLine {
  Skip,        // blank, comment, directive, or a feature other than CDS
  Cds,         // a CDS feature: seqid and gene are set
  FastaStart,  // "##FASTA": the rest of the file is sequence, not features
};

// One GFF3 line: tab-separated, seqid in column 1, feature type in column 3,
// start and end (1-based, inclusive) in columns 4 and 5, strand in column 7.
// Only CDS features count; their stop codon is at the end for '+' and at the
// start for '-', as for the reference. Throws std::runtime_error for a CDS
// line that does not parse (fewer than 8 columns, a bad coordinate, a strand
// other than '+' or '-') and for a feature line with fewer than 8 columns.
inline GffLine parse_gff_line(std::string line, std::string& seqid, Gene& g) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("##FASTA", 0) == 0) return GffLine::FastaStart;
  if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') return GffLine::Skip;
  std::vector<std::string> f;
  size_t i = 0;
  for (;;) {
    const size_t tab = line.find('\t', i);
    f.push_back(line.substr(i, tab == std::string::npos ? std::string::npos : tab - i));
    if (tab == std::string::npos) break;
    i = tab + 1;
  }
  if (f.size() < 8) throw std::runtime_error("expected 9 tab-separated columns: '" + line + "'");
  if (f[2] != "CDS") return GffLine::Skip;
  auto num = [&](const std::string& s) {
    char* endp = nullptr;
    const long v = std::strtol(s.c_str(), &endp, 10);
    if (s.empty() || endp == s.c_str() || *endp != '\0' || v < 1)
      throw std::runtime_error("bad coordinate '" + s + "'");
    return v;
  };
  if (f[0].empty()) throw std::runtime_error("empty seqid: '" + line + "'");
  seqid = f[0];
  g.start = num(f[3]);
  g.end = num(f[4]);
  if (f[6] != "+" && f[6] != "-") throw std::runtime_error("bad strand '" + f[6] + "'");
  g.strand = f[6][0];
  if (g.start > g.end) throw std::runtime_error("start after end: '" + line + "'");
  return GffLine::Cds;
}

struct Score {
  long reference = 0;        // reference CDS
  long predicted = 0;        // predictions
  long matched_reference = 0;  // reference CDS with a prediction at their stop
  long matched_predicted = 0;  // predictions with a reference CDS at their stop
  long start_correct = 0;      // matched predictions whose start agrees too

  double sensitivity() const { return reference ? double(matched_reference) / double(reference) : 0.0; }
  double precision() const { return predicted ? double(matched_predicted) / double(predicted) : 0.0; }
  double f1() const {
    const double s = sensitivity(), p = precision();
    return s + p > 0 ? 2 * s * p / (s + p) : 0.0;
  }
  double start_accuracy() const {
    return matched_predicted ? double(start_correct) / double(matched_predicted) : 0.0;
  }
  Score& operator+=(const Score& o) {
    reference += o.reference;
    predicted += o.predicted;
    matched_reference += o.matched_reference;
    matched_predicted += o.matched_predicted;
    start_correct += o.start_correct;
    return *this;
  }
};

// Scores one sequence's predictions against its reference genes. Duplicate
// predictions count as separate predictions.
inline Score score(const std::vector<Gene>& reference, const std::vector<Gene>& predicted) {
  std::set<long> ref_stops, pred_stops;
  std::set<std::pair<long, long>> ref_full;
  for (const Gene& g : reference) {
    ref_stops.insert(stop_key(g));
    ref_full.insert({stop_key(g), start_key(g)});
  }
  for (const Gene& g : predicted) pred_stops.insert(stop_key(g));
  Score s;
  s.reference = static_cast<long>(reference.size());
  s.predicted = static_cast<long>(predicted.size());
  for (const Gene& g : reference)
    if (pred_stops.count(stop_key(g))) ++s.matched_reference;
  for (const Gene& g : predicted) {
    if (!ref_stops.count(stop_key(g))) continue;
    ++s.matched_predicted;
    if (ref_full.count({stop_key(g), start_key(g)})) ++s.start_correct;
  }
  return s;
}

// Genes of a genome grouped by record name. "" stands for an unnamed record:
// a three-column reference, or the result files of a single run.
using RecordGenes = std::map<std::string, std::vector<Gene>>;

// The CDS features of a GFF3 file, by seqid (up to a ##FASTA section).
// Throws Error naming the file when it cannot be read.
inline RecordGenes read_gff_genes(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + file_reason(path, f.open_error()));
  RecordGenes out;
  std::string line, seqid;
  while (read_line(f, line)) {
    Gene g;
    const GffLine kind = parse_gff_line(line, seqid, g);
    if (kind == GffLine::FastaStart) break;
    if (kind == GffLine::Cds) out[seqid].push_back(g);
  }
  f.check_read();
  return out;
}


// Scores a genome record by record and sums the counts: a prediction can only
// match a reference CDS of its own record, so the key of a gene is its
// record, strand and stop coordinate. Records on one side only contribute
// their genes to that side's count. An unnamed record is paired with the
// other side's record when that side holds exactly one; when it holds
// several the pairing is ambiguous and std::runtime_error is thrown.
inline Score score_records(const RecordGenes& reference, const RecordGenes& predicted) {
  auto unnamed_only = [](const RecordGenes& r) { return r.size() == 1 && r.begin()->first.empty(); };
  if (unnamed_only(reference) && !predicted.empty() && !unnamed_only(predicted)) {
    if (predicted.size() > 1)
      throw std::runtime_error("the reference names no record but the predictions hold " +
                               std::to_string(predicted.size()) + " records");
    return score(reference.begin()->second, predicted.begin()->second);
  }
  if (unnamed_only(predicted) && !reference.empty() && !unnamed_only(reference)) {
    if (reference.size() > 1)
      throw std::runtime_error("the predictions name no record but the reference holds " +
                               std::to_string(reference.size()) + " records");
    return score(reference.begin()->second, predicted.begin()->second);
  }
  Score total;
  const std::vector<Gene> none;
  for (const auto& [id, genes] : reference) {
    const auto it = predicted.find(id);
    total += score(genes, it == predicted.end() ? none : it->second);
  }
  for (const auto& [id, genes] : predicted)
    if (!reference.count(id)) total += score(none, genes);
  return total;
}

// Keeps the record seqid only, on both sides: the reference's genes of that
// record (an empty list when it has none), and the predictions named seqid
// together with the unnamed ones (the result files of a run of that record).
inline void keep_record(RecordGenes& reference, RecordGenes& predicted, const std::string& seqid) {
  auto only = [&seqid](RecordGenes& r, bool keep_unnamed) {
    RecordGenes kept;
    kept[seqid];
    for (auto& [id, genes] : r)
      if (id == seqid || (keep_unnamed && id.empty()))
        kept[seqid].insert(kept[seqid].end(), genes.begin(), genes.end());
    r = std::move(kept);
  };
  only(reference, false);
  only(predicted, true);
}

// The intercept of a trained model. A stop is predicted when the best score
// of its ORFs is positive; every ORF holds exactly one stop codon, so adding
// shift to the stop codons' weights adds it to every ORF's score.
struct StopScore {
  double best;  // best score of the stop's ORFs
  long refs;    // reference CDS ending at the stop
};
struct Intercept {
  double shift = 0, f1 = -1;
};
// The shift on the grid -10, -9.95, ..., 10 with the best pooled F1 of the
// stops against all_refs reference CDS (the smallest such shift), added to
// the weights w of the stop codons.
template <class Weights, class Indices>
Intercept add_best_intercept(const std::vector<StopScore>& stops, long all_refs, const Indices& stop_codons,
                             Weights& w) {
  Intercept best;
  for (int step = -200; step <= 200; ++step) {
    const double shift = step * 0.05;
    long mr = 0, mp = 0, p = 0;
    for (const StopScore& s : stops)
      if (s.best + shift > 0) {
        ++p;
        mr += s.refs;
        mp += s.refs > 0 ? 1 : 0;
      }
    const double sens = all_refs ? double(mr) / double(all_refs) : 0, prec = p ? double(mp) / double(p) : 0;
    const double f = sens + prec > 0 ? 2 * sens * prec / (sens + prec) : 0;
    if (f > best.f1 + 1e-12) best = Intercept{shift, f};
  }
  for (auto st : stop_codons) w[st] += best.shift;
  return best;
}

// Reference CDS of a .cds.tsv file grouped by seqid ("" for three-column
// files). Throws Error naming the file and the line on a malformed line.
inline RecordGenes read_reference(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + file_reason(path, f.open_error()));
  RecordGenes out;
  std::string line;
  long lineno = 0;
  while (read_line(f, line)) {
    ++lineno;
    if (line.back() == '\n') line.pop_back();
    std::string seqid;
    Gene g;
    try {
      if (parse_reference_line(line, seqid, g)) out[seqid].push_back(g);
    } catch (const std::runtime_error& e) {
      throw Error("'" + path + "' line " + std::to_string(lineno) + ": " + e.what());
    }
  }
  return out;
}

}  // namespace codonspace::scoring
