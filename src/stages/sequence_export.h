// The one pattern behind the sequence exporters: for every boundary pair of
// a pair list, cut the ORF out of "processed_genome" (copied as it is on the
// direct strand, reverse-complemented on the complementary strand) and write
// a record. Exporters differ only in their files, record header and trailer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace codonspace {

enum class RecordHeader {
  LengthBoundsInline,  // "%ld %ld %ld " then the bases on the same line
  LengthOnly,          // "%ld\n" then the bases on the next line
  LengthBoundsLine,    // "%ld %ld %ld\n" then the bases on the next line
};

struct ExportFormat {
  const char* pair_list;
  const char* output;
  RecordHeader header;
  const char* trailer;  // written after the last record; nullptr for none
};

// Runs the exporter. Returns 0, or -1 (with "files:generate_input" on
// standard output) when a file cannot be opened. Throws Error when a pair
// points outside "processed_genome" or on a read or write error.
int export_sequences(const ExportFormat& format);

// Reads ORFs out of "processed_genome". Pairs come in scan order (by stop,
// starts at most an ORF's length behind), so a window of the genome is kept
// and refilled only when a pair leaves it: memory stays bounded by the
// longest ORF plus the window, never by the genome.
class GenomeReader {
 public:
  explicit GenomeReader(const class File& genome);
  long length() const { return length_; }
  // Bases b1..b2 (1-based) in the ORF's own direction: the genome's bases
  // for b1 < b2, their reverse complement otherwise. The view points into
  // the reader and holds until the next call. Throws Error naming
  // pair_source when the pair lies outside the genome.
  std::string_view orf(long b1, long b2, const std::string& pair_source);
  // The same bases copied into seq.
  void read_orf(long b1, long b2, const std::string& pair_source, std::vector<char>& seq);

 private:
  const class File& genome_;
  long length_ = 0;
  std::vector<char> window_;
  long window_low_ = 1;   // position of window_[0]
  long window_high_ = 0;  // last position held; below window_low_ when empty
  long file_offset_ = 0;  // where the genome stream stands (bytes read so far)
  std::vector<char> reversed_;  // the last reverse complement; only grows
};

}  // namespace codonspace
