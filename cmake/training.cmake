# Training of the method-1 tables: the shared training pieces and the
# self-training join the core library; codonspace-train is the thin
# executable of the self-training.
target_sources(codonspace_core PRIVATE src/training_common.cpp src/self_training.cpp)

add_executable(codonspace-train train_main.cpp)
# It reads genomes like codonspace-annotate: several records, gzip or not.
target_link_libraries(codonspace-train PRIVATE codonspace_annotate)
install(TARGETS codonspace-train RUNTIME DESTINATION bin)
