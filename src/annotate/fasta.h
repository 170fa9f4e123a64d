// Reading genomes of any number of records, plain or gzip-compressed.
//
// Sequence lines are cleaned the way the genome intake of a single-genome
// run cleans them (letters upper-cased; line ends, carriage returns, blanks
// and tabs dropped), so a record predicted here sees exactly the sequence a
// one-record run of the same contig sees.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace codonspace::annotate {

struct FastaRecord {
  std::string id;        // first word of the header
  std::string sequence;  // cleaned bases
  long line = 0;         // line number of the header
};

// A streaming parser: feed() the bytes in any chunking, then finish().
// Throws Error, naming the input and the line, on text that is not FASTA
// (content before the first '>' header, a character that is not a letter in
// a sequence line, a header without a name), a record without bases, a
// repeated record name, or an input without any record.
class FastaParser {
 public:
  explicit FastaParser(std::string display_name) : name_(std::move(display_name)) {}
  // The input's size in bytes when known, 0 when not: a record's sequence is
  // then given room for the rest of the input at once instead of growing
  // (and being copied) as its lines come.
  void expect_bytes(size_t bytes) { expected_ = bytes; }
  void feed(const char* data, size_t size);
  std::vector<FastaRecord> finish();

 private:
  void end_header();
  void end_record();
  [[noreturn]] void fail(const std::string& reason) const;

  std::string name_;
  std::vector<FastaRecord> records_;
  std::map<std::string, long> seen_;  // id -> header line
  std::string header_;
  long line_ = 1;
  bool in_header_ = false;
  bool line_start_ = true;
  bool any_byte_ = false;
  size_t expected_ = 0;  // the input's size, 0 unknown
  size_t fed_ = 0;       // bytes of the chunks fed before this one
  size_t consumed_ = 0;  // bytes up to the end of the last header read
};

// "standard input" for "-", else 'path'.
std::string input_display_name(const std::string& path);

// Reads every record of the file ("-" for standard input). gzip input is
// recognised by its content. poll is called between chunks (it may throw to
// abandon the read). Throws Error on an unreadable file, a damaged gzip
// stream or text that FastaParser refuses.
std::vector<FastaRecord> read_fasta(const std::string& path, const std::function<void()>& poll = {});

}  // namespace codonspace::annotate
