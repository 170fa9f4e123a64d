// Scoring of predicted genes against a reference annotation.
//
// A gene is (start, end, strand) with 1-based inclusive coordinates,
// start <= end, stop codon included. A prediction matches a reference CDS
// at its 3' end when strand and stop coordinate agree: end for '+', start
// for '-'. Its start is correct when the other coordinate agrees too.
//
// Header-only so that the tools and the unit tests share one definition.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace codonspace::scoring {

struct Gene {
  long start = 0;
  long end = 0;
  char strand = '+';
};

// A boundary pair of codonspace's output: b1 < b2 is a direct-strand gene
// b1..b2; b1 > b2 a complementary-strand gene b2..b1. Equal values are not a
// gene and give false.
inline bool gene_from_pair(long b1, long b2, Gene& g) {
  if (b1 == b2) return false;
  if (b1 < b2) {
    g = Gene{b1, b2, '+'};
  } else {
    g = Gene{b2, b1, '-'};
  }
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

}  // namespace codonspace::scoring
