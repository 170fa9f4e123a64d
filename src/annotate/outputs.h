// The three outputs of codonspace-annotate (PREFIX.gff, .faa, .ffn): the
// joining of the workers' pieces, and the temporary files that become the
// outputs together or not at all.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "annotate/annotate.h"
#include "annotate/processes.h"
#include "io/file_io.h"

namespace codonspace::annotate {

// The extensions of the three outputs, in output order.
inline const char* const OUTPUT_EXTENSIONS[] = {".gff", ".faa", ".ffn"};

// Throws Error when an output is the input genome itself.
// The default prefix turns genome.fna into the outputs genome.gff,
// genome.faa and genome.fna: run in the genome's own directory, the gene
// sequences would replace the genome.
void refuse_input_as_output(const std::string& input, const std::vector<std::string>& outputs);

// Appends the file to out (named out_name in messages); returns its number
// of lines.
size_t append_file(FILE* out, const std::string& out_name, const std::string& path);

// An output stream on a descriptor of a file made by mkstemp; the file is
// never opened again by name.
class OutputStream {
 public:
  OutputStream(FILE* fp, std::string name) : fp_(fp), name_(std::move(name)) {}
  ~OutputStream() {
    if (fp_ != nullptr) std::fclose(fp_);
  }
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;
  FILE* get() const { return fp_; }
  void check_write() const {
    if (std::ferror(fp_)) throw Error("cannot write " + file_reason(name_, errno != 0 ? errno : EIO));
  }
  // Flushes and closes; throws Error on any write error.
  void close_output() {
    errno = 0;
    const bool failed = std::fflush(fp_) != 0 || std::ferror(fp_) != 0;
    const int err = errno;
    const bool close_failed = std::fclose(fp_) != 0;
    const int close_err = errno;
    fp_ = nullptr;
    if (failed || close_failed)
      throw Error("cannot write " + file_reason(name_, failed ? (err != 0 ? err : EIO) : close_err));
  }

 private:
  FILE* fp_;
  std::string name_;
};

// The three outputs, written under temporary names in the output directory
// and renamed together at the end; whatever is not committed is removed.
// Errors name the final output, not the temporary name.
class Outputs {
 public:
  explicit Outputs(std::vector<std::string> finals) : finals_(std::move(finals)) {}
  ~Outputs() {
    for (const std::string& t : temps_) std::remove(t.c_str());
  }
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  // Creates the temporary file for output i, with the permissions of a new
  // file, and returns it open for writing.
  std::unique_ptr<OutputStream> create(size_t i) {
    std::string templ = temp_template(finals_[i], ".new.");
    const int fd = mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) throw Error("cannot create an output file next to " + file_reason(finals_[i], errno));
    temps_.push_back(templ);
    const mode_t mask = umask(0);
    umask(mask);
    FILE* fp = nullptr;
    if (fchmod(fd, 0666 & ~mask) != 0 || (fp = fdopen(fd, "w")) == nullptr) {
      const int err = errno;
      close(fd);
      throw Error("cannot write " + file_reason(finals_[i], err));
    }
    auto out = std::make_unique<OutputStream>(fp, finals_[i]);
    std::setvbuf(fp, nullptr, _IOFBF, 1 << 16);
    return out;
  }

  // Gives the files their final names. An output that already exists is
  // first kept under a second name (a hard link, or the file itself moved
  // where links are not possible), so that a failure on the way puts every
  // earlier output back as it was. Signals are held back meanwhile: the
  // outputs appear together or not at all.
  void commit() {
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : SignalGuard::signals()) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    struct Restore {
      sigset_t* old;
      ~Restore() { sigprocmask(SIG_SETMASK, old, nullptr); }
    } restore{&old};
    SignalGuard::check();
    std::vector<std::string> kept(finals_.size());  // the earlier output's second name, or ""
    std::vector<bool> moved(finals_.size(), false);  // kept by moving rather than linking
    size_t renamed = 0;
    auto undo = [&] {
      for (size_t k = 0; k < finals_.size(); ++k) {
        if (!kept[k].empty()) {
          if (k < renamed || moved[k]) std::rename(kept[k].c_str(), finals_[k].c_str());
          std::remove(kept[k].c_str());
        } else if (k < renamed) {
          std::remove(finals_[k].c_str());
        }
      }
    };
    for (size_t i = 0; i < finals_.size(); ++i) {
      struct stat st;
      // Nothing to keep; a directory cannot be replaced (its rename fails below).
      if (lstat(finals_[i].c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
      std::string name = temp_template(finals_[i], ".old.");
      const int fd = mkostemp(name.data(), O_CLOEXEC);
      if (fd < 0) {
        const int err = errno;
        undo();
        throw Error("cannot keep the earlier output " + file_reason(finals_[i], err));
      }
      close(fd);
      kept[i] = name;
      // link() will not replace the placeholder: give it the name through
      // a rename of a fresh link, or move the earlier output itself.
      const std::string link_name = name + ".l";
      if (link(finals_[i].c_str(), link_name.c_str()) == 0 && std::rename(link_name.c_str(), name.c_str()) == 0)
        continue;
      std::remove(link_name.c_str());
      if (std::rename(finals_[i].c_str(), name.c_str()) != 0) {
        const int err = errno;
        undo();
        throw Error("cannot keep the earlier output " + file_reason(finals_[i], err));
      }
      moved[i] = true;
    }
    for (; renamed < temps_.size(); ++renamed) {
      if (std::rename(temps_[renamed].c_str(), finals_[renamed].c_str()) != 0) {
        const int err = errno;
        undo();
        throw Error("cannot replace " + file_reason(finals_[renamed], err) +
                    "; the earlier outputs are left as they were");
      }
    }
    temps_.clear();
    for (const std::string& k : kept)
      if (!k.empty()) std::remove(k.c_str());
  }

 private:
  // DIR/.NAME<tag>XXXXXX beside the final output.
  static std::string temp_template(const std::string& final_name, const char* tag) {
    const std::filesystem::path final_path(final_name);
    std::string name = ".";
    name.append(final_path.filename().string()).append(tag).append("XXXXXX");
    return (final_path.parent_path() / name).string();
  }
  std::vector<std::string> finals_;
  std::vector<std::string> temps_;
};

}  // namespace codonspace::annotate
