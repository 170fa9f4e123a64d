// evaluate: scores codonspace's predictions against a reference annotation.
//
//   evaluate [--name NAME] [--seqid ID] REFERENCE.cds.tsv RESULT_DIR
//   evaluate [--name NAME] --per-record REFERENCE.cds.tsv DIR
//
// RESULT_DIR holds the six per-frame result files of one run ("LABEL b1 b2"
// lines). The reference is "start end strand" per CDS, or "seqid start end
// strand" for multi-record genomes; with --seqid only that record's CDS are
// used. With --per-record, DIR holds one subdirectory per record, named by
// its seqid, each with the result files of that record's run; all records of
// the reference are scored and the counts summed (a record with no
// subdirectory contributes its reference CDS and no predictions; a
// subdirectory with no reference CDS contributes its predictions).
//
// Prints one line: name, reference CDS, predictions, 3' matches (reference
// and predicted), sensitivity, precision, F1 and start accuracy.
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
#include "file_io.h"
#include "stages.h"

using codonspace::Error;
using codonspace::File;
using codonspace::Scanner;
using namespace codonspace::scoring;

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: evaluate [--name NAME] [--seqid ID] REFERENCE.cds.tsv RESULT_DIR\n"
               "       evaluate [--name NAME] --per-record REFERENCE.cds.tsv DIR\n");
}

// Reference CDS grouped by seqid ("" for three-column files).
std::map<std::string, std::vector<Gene>> read_reference(const std::string& path) {
  File f(path, "r");
  if (!f.is_open()) throw Error("cannot open " + codonspace::file_reason(path, f.open_error()));
  std::map<std::string, std::vector<Gene>> out;
  std::string line;
  long lineno = 0;
  int c;
  auto flush_line = [&]() {
    ++lineno;
    std::string seqid;
    Gene g;
    try {
      if (parse_reference_line(line, seqid, g)) out[seqid].push_back(g);
    } catch (const std::runtime_error& e) {
      throw Error("'" + path + "' line " + std::to_string(lineno) + ": " + e.what());
    }
    line.clear();
  };
  while ((c = std::getc(f.get())) != EOF) {
    if (c == '\n')
      flush_line();
    else
      line.push_back(static_cast<char>(c));
  }
  f.check_read();
  if (!line.empty()) flush_line();
  return out;
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
  std::string name = "-", seqid, ref_path, dir;
  bool have_seqid = false, per_record = false;
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
    } else if (!a.empty() && a[0] == '-') {
      usage();
      return 2;
    } else {
      pos.push_back(a);
    }
  }
  if (pos.size() != 2 || (per_record && have_seqid)) {
    usage();
    return 2;
  }
  ref_path = pos[0];
  dir = pos[1];
  try {
    const auto reference = read_reference(ref_path);
    Score total;
    if (per_record) {
      for (const auto& [id, genes] : reference) {
        const std::string sub = dir + "/" + id;
        std::vector<Gene> pred;
        if (is_dir(sub)) pred = read_predictions(sub);
        total += score(genes, pred);
      }
      // Records without reference CDS still count their predictions.
      for (const std::string& id : subdirectories(dir))
        if (!reference.count(id)) total += score({}, read_predictions(dir + "/" + id));
    } else {
      std::vector<Gene> genes;
      if (have_seqid) {
        auto it = reference.find(seqid);
        if (it != reference.end()) genes = it->second;
      } else if (reference.size() > 1) {
        throw Error("'" + ref_path + "' holds several records; give --seqid or use --per-record");
      } else if (!reference.empty()) {
        genes = reference.begin()->second;
      }
      total = score(genes, read_predictions(dir));
    }
    std::printf(
        "%s\treference %ld\tpredicted %ld\tmatched_ref %ld\tmatched_pred %ld\tsensitivity %.4f\t"
        "precision %.4f\tF1 %.4f\tstart_accuracy %.4f\n",
        name.c_str(), total.reference, total.predicted, total.matched_reference, total.matched_predicted,
        total.sensitivity(), total.precision(), total.f1(), total.start_accuracy());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::fprintf(stderr, "evaluate: write error on standard output\n");
      return 1;
    }
  } catch (const Error& e) {
    std::fprintf(stderr, "evaluate: %s\n", e.what());
    return 1;
  }
  return 0;
}
