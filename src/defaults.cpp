#include "defaults.h"

#include <filesystem>
#include <system_error>

namespace codonspace {

std::string default_tables_dir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = (exe.parent_path() / ".." / "share" / "codonspace" / "data").lexically_normal();
    if (fs::is_directory(installed, ec)) return installed.string();
  }
  return CODONSPACE_SOURCE_DATA_DIR;
}

}  // namespace codonspace
