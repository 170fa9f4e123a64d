// Strict reading of the numbers and codons given on a command line: shared
// by the programs so that each refuses the same texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/genetic_code.h"

namespace codonspace {

// The value of text when it is one or more decimal digits (nothing else:
// no sign, blank, exponent or suffix) and at most max; otherwise none.
std::optional<long> parse_decimal(std::string_view text, long max);

// A minimum ORF length: decimal digits of value at most
// PREDICTION_ORF_MAX_LENGTH (generate_orfs.h).
std::optional<long> parse_length(std::string_view text);

// The codons of texts, upper-cased, in order. Each must be three letters
// A, C, G, T in any case and not one of the stop codons.
struct StartCodons {
  std::vector<std::string> codons;
  std::optional<std::string> invalid;  // the first refused text, as typed
};
// "ATG,GTG" as the texts between the commas ("" gives one empty text).
std::vector<std::string> split_commas(const std::string& list);

StartCodons parse_start_codons(const std::vector<std::string>& texts,
                               const std::vector<std::string>& stops = standard_stop_codons());

}  // namespace codonspace
