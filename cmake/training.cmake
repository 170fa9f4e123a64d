# Training of the method-1 tables: the shared training pieces and the
# self-training join the core library; codonspace-train is the thin
# executable of the self-training.
target_sources(codonspace_core PRIVATE src/training_common.cpp src/self_training.cpp)

add_executable(codonspace-train train_main.cpp)
target_link_libraries(codonspace-train PRIVATE codonspace_core)
# Tables of the source tree, used when no installed tables lie beside the
# executable.
target_compile_definitions(codonspace-train PRIVATE CODONSPACE_SOURCE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
install(TARGETS codonspace-train RUNTIME DESTINATION bin)
