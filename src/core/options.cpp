#include "core/options.h"

#include <algorithm>

#include "stages/generate_orfs.h"

namespace codonspace {

std::optional<long> parse_decimal(std::string_view text, long max) {
  if (text.empty()) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > max) return std::nullopt;  // also stops before any overflow
  }
  return value;
}

std::optional<long> parse_length(std::string_view text) { return parse_decimal(text, PREDICTION_ORF_MAX_LENGTH); }

std::vector<std::string> split_commas(const std::string& list) {
  std::vector<std::string> out;
  for (size_t p = 0;;) {
    const size_t q = list.find(',', p);
    out.push_back(list.substr(p, q == std::string::npos ? std::string::npos : q - p));
    if (q == std::string::npos) return out;
    p = q + 1;
  }
}

StartCodons parse_start_codons(const std::vector<std::string>& texts, const std::vector<std::string>& stops) {
  StartCodons r;
  for (const std::string& text : texts) {
    std::string codon = text;
    for (char& c : codon)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool ok = codon.size() == 3 && strict_codon_index(codon.c_str()) >= 0 &&
                    std::find(stops.begin(), stops.end(), codon) == stops.end();
    if (!ok) {
      r.codons.clear();
      r.invalid = text;
      return r;
    }
    r.codons.push_back(codon);
  }
  return r;
}

}  // namespace codonspace
