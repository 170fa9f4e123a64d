#include "core/defaults.h"

#include <filesystem>
#include <iterator>
#include <system_error>

#include "core/codon.h"
#include "stages/stages.h"
#include "core/table_files.h"

namespace codonspace {

std::string default_tables_dir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = (exe.parent_path() / CODONSPACE_INSTALLED_DATA_DIR).lexically_normal();
    if (fs::is_directory(installed, ec)) return installed.string();
  }
  return CODONSPACE_SOURCE_DATA_DIR;
}

void use_tables_dir(const std::string& dir) {
  struct Table {
    const char** name;
    const char* file;
  };
  static const Table tables[] = {
      {&HBOND_ENERGY_FILE, table_files::X_VALUES},
      {&STACKING_ENERGY_FILE, table_files::Y_VALUES},
      {&Z_VALUES_FILE, table_files::Z_VALUES},
      {&HBOND_NUMBERS_FILE, "HBondNos.dat"},
      {&STACKING_ORIGINAL_FILE, "StackingEnergies_Original.dat"},
      {&PLANE_FILE, table_files::PLANE},
      {&REFERENCE_COMPOSITION, table_files::REFERENCE_COMPOSITION},
  };
  // The names must outlive every stage: kept here for the whole process.
  static std::string paths[std::size(tables)];
  for (size_t k = 0; k < std::size(tables); ++k) {
    paths[k] = dir + "/" + tables[k].file;
    *tables[k].name = paths[k].c_str();
  }
}

}  // namespace codonspace
