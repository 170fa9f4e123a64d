// evaluate: scores predicted genes against a reference annotation.
//
//   evaluate [--name NAME] [--seqid ID] REFERENCE.cds.tsv RESULT_DIR
//   evaluate [--name NAME] --per-record REFERENCE.cds.tsv DIR
//   evaluate [--name NAME] [--seqid ID] --gff REFERENCE.cds.tsv PREDICTIONS.gff
//
// RESULT_DIR holds the six per-frame result files of one codonspace run
// ("LABEL b1 b2" lines). The reference is "start end strand" per CDS, or
// "seqid start end strand" for multi-record genomes; with --seqid only that
// record's CDS (and, for GFF, that record's predictions) are used. With
// --per-record, DIR holds one subdirectory per record, named by its seqid,
// each with the result files of that record's run. With --gff the
// predictions are the CDS features of a GFF3 file (seqid column 1, start 4,
// end 5, strand 7), as the peer gene finders write them.
//
// Multi-record genomes are scored record by record and the counts summed: a
// record with no predictions contributes its reference CDS, a record with no
// reference CDS its predictions. A reference without seqids (one record) is
// paired with the predictions' only record.
//
// Prints one line: name, reference CDS, predictions, 3' matches (reference
// and predicted), sensitivity, precision, F1, start accuracy and the number
// of matched predictions whose start is right (for pooling counts).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "scoring.h"
#include "io/file_io.h"
#include "stages/stages.h"

using codonspace::Error;
using codonspace::File;
using codonspace::Scanner;
using namespace codonspace::scoring;

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: evaluate [--name NAME] [--seqid ID] REFERENCE.cds.tsv RESULT_DIR\n"
               "       evaluate [--name NAME] --per-record REFERENCE.cds.tsv DIR\n"
               "       evaluate [--name NAME] [--seqid ID] --gff REFERENCE.cds.tsv PREDICTIONS.gff\n");
}

std::vector<Gene> read_predictions(const std::string& dir) {
  std::vector<Gene> out;
  for (const char* name : codonspace::FRAME_FILES) {
    const std::string path = dir + "/" + name;
    File f(path, "r");
    if (!f.is_open()) throw Error("cannot open " + codonspace::file_reason(path, f.open_error()));
    Scanner in(f);
    std::string label;
    long b1, b2;
    while (in.next_word(label)) {
      if (!in.next_pair(b1, b2)) throw Error("'" + path + "': line with label '" + label + "' is cut short");
      Gene g;
      if (gene_from_pair(b1, b2, g)) out.push_back(g);
    }
  }
  return out;
}

// CDS features of a GFF3 file grouped by seqid.
RecordGenes read_gff(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + codonspace::file_reason(path, f.open_error()));
  RecordGenes out;
  std::string line, seqid;
  long lineno = 0;
  while (codonspace::read_line(f, line)) {
    ++lineno;
    Gene g;
    GffLine kind;
    try {
      kind = parse_gff_line(line, seqid, g);
    } catch (const std::runtime_error& e) {
      throw Error("'" + path + "' line " + std::to_string(lineno) + ": " + e.what());
    }
    if (kind == GffLine::FastaStart) break;
    if (kind == GffLine::Cds) out[seqid].push_back(g);
  }
  return out;
}

bool is_dir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Names of the subdirectories of dir, sorted.
std::vector<std::string> subdirectories(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) throw Error("cannot open directory " + codonspace::file_reason(dir, errno));
  while (const dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != ".." && is_dir(dir + "/" + n)) out.push_back(n);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string name = "-", seqid;
  bool have_seqid = false, per_record = false, gff = false;
  std::vector<std::string> pos;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--name" && i + 1 < argc) {
      name = argv[++i];
    } else if (a == "--seqid" && i + 1 < argc) {
      seqid = argv[++i];
      have_seqid = true;
    } else if (a == "--per-record") {
      per_record = true;
    } else if (a == "--gff") {
      gff = true;
    } else if (!a.empty() && a[0] == '-') {
      usage();
      return 1;
    } else {
      pos.push_back(a);
    }
  }
  if (pos.size() != 2 || (per_record && (have_seqid || gff))) {
    usage();
    return 1;
  }
  const std::string ref_path = pos[0], pred_path = pos[1];
  try {
    RecordGenes reference = read_reference(ref_path);
    RecordGenes predicted;
    if (gff) {
      predicted = read_gff(pred_path);
    } else if (per_record) {
      for (const std::string& id : subdirectories(pred_path)) predicted[id] = read_predictions(pred_path + "/" + id);
    } else {
      predicted[""] = read_predictions(pred_path);
    }
    if (have_seqid) keep_record(reference, predicted, seqid);
    Score total;
    try {
      total = score_records(reference, predicted);
    } catch (const std::runtime_error& e) {
      throw Error("cannot pair the records of '" + ref_path + "' and '" + pred_path + "': " + e.what() +
                  (gff ? "" : "; give --seqid or use --per-record"));
    }
    std::printf(
        "%s\treference %ld\tpredicted %ld\tmatched_ref %ld\tmatched_pred %ld\tsensitivity %.4f\t"
        "precision %.4f\tF1 %.4f\tstart_accuracy %.4f\tstart_correct %ld\n",
        name.c_str(), total.reference, total.predicted, total.matched_reference, total.matched_predicted,
        total.sensitivity(), total.precision(), total.f1(), total.start_accuracy(), total.start_correct);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::fprintf(stderr, "evaluate: write error on standard output\n");
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "evaluate: %s\n", e.what());
    return 1;
  }
  return 0;
}
