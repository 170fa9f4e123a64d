// Reading a record's codons on either strand, shared by the edge-gene search
// and the decision rules.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/genetic_code.h"

namespace codonspace::annotate {

// Codons of a list as a set of "XYZ" texts, compared three bytes at a time.
class CodonSet {
 public:
  explicit CodonSet(const std::vector<std::string>& codons) {
    for (const std::string& c : codons)
      if (c.size() == 3) codons_.push_back(c);
  }
  bool contains(const char* p) const {
    for (const std::string& c : codons_)
      if (p[0] == c[0] && p[1] == c[1] && p[2] == c[2]) return true;
    return false;
  }

 private:
  std::vector<std::string> codons_;
};

// One strand read 5' to 3' without copying it: the record itself, or its
// reverse complement read off the record backwards.
class StrandView {
 public:
  StrandView(const std::string& s, bool reverse) : s_(s), n_(static_cast<long>(s.size())), reverse_(reverse) {}
  long size() const { return n_; }
  // The codon at position p of the strand (three bases within it).
  std::array<char, 3> codon(long p) const {
    if (!reverse_) return {s_[static_cast<size_t>(p)], s_[static_cast<size_t>(p + 1)], s_[static_cast<size_t>(p + 2)]};
    const auto at = [&](long q) { return complement_base(s_[static_cast<size_t>(n_ - 1 - q)]); };
    return {at(p), at(p + 1), at(p + 2)};
  }

 private:
  const std::string& s_;
  long n_;
  bool reverse_;
};

}  // namespace codonspace::annotate
