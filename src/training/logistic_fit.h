// The logistic regression of the training: gene against the codon counts of
// one ORF per stop group.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/codon.h"

namespace codonspace::training {

// An allocator whose vectors leave new elements of trivial types unset:
// megabytes of counts are then first written (and faulted in) by the
// threads that fill them, not zeroed beforehand on one.
template <typename T>
struct UnsetAllocator : std::allocator<T> {
  UnsetAllocator() = default;
  template <typename U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Training samples for the logistic regression: one codon-count vector per
// stop group. Each sample belongs to a block (a genome); with
// nuisance_blocks > 0 the fit gives every block its own unpenalised weights
// for the G+C counts at codon positions 1, 2 and 3, which absorb what is
// peculiar to that genome's composition and are dropped afterwards.
struct Samples {
  std::vector<float, UnsetAllocator<float>> counts;  // 64 per sample
  std::vector<unsigned char> gene;
  std::vector<int> block;
  size_t size() const { return gene.size(); }
  void add(const float* c, bool is_gene, int blk) {
    counts.insert(counts.end(), c, c + NUMBER_OF_CODONS);
    gene.push_back(is_gene ? 1 : 0);
    block.push_back(blk);
  }
  // n samples of block 0, not genes, their counts unset: to be filled in place.
  void resize(size_t n) {
    counts.resize(n * NUMBER_OF_CODONS);
    gene.assign(n, 0);
    block.assign(n, 0);
  }
};

// Logistic regression of gene against the counts by Newton's method, ridge
// penalty lambda on the sense codons (the stop codons, given by index, carry
// the intercept), starting from w. w holds the 64 codon weights on return.
// Runs on up to `threads` threads; every sum over the samples is taken in
// sample order whatever the number, so the weights are the same for any.
void fit_logistic(const Samples& s, const std::vector<int>& stops, double lambda, int nuisance_blocks, int iterations,
                  double* w, int threads = 1);

}  // namespace codonspace::training
