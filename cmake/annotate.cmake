# codonspace-annotate: multi-record and gzip genomes, parallel worker
# processes, GFF3/FAA/FNA output. Included by the top-level CMakeLists.txt.
find_package(ZLIB REQUIRED)

add_library(codonspace_annotate STATIC
  src/annotate/fasta.cpp
  src/annotate/gene_output.cpp
  src/annotate/record_pipeline.cpp
  src/annotate/processes.cpp
  src/annotate/annotate.cpp
)
target_link_libraries(codonspace_annotate PUBLIC codonspace_core ZLIB::ZLIB)
add_executable(codonspace-annotate annotate_main.cpp)
target_link_libraries(codonspace-annotate PRIVATE codonspace_annotate)
install(TARGETS codonspace-annotate RUNTIME DESTINATION bin)

list(APPEND CODONSPACE_TEST_LIBS codonspace_annotate)

# The test executable is defined after this file is included: hook it up at
# the end of the directory. Its tests run the built codonspace-annotate.
function(codonspace_annotate_hook_tests)
  if(TARGET codonspace_tests)
    add_dependencies(codonspace_tests codonspace-annotate)
    target_compile_definitions(codonspace_tests PRIVATE
      CODONSPACE_ANNOTATE_BINARY="$<TARGET_FILE:codonspace-annotate>")
  endif()
endfunction()
cmake_language(DEFER CALL codonspace_annotate_hook_tests)
