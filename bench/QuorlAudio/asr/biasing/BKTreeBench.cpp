#include "QuorlAudio/asr/biasing/BKTree.hpp"
#include "SyntheticVocabulary.hpp"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::vector<quorl::CustomVocabularyTerm> terms(std::size_t count) {
    std::vector<quorl::CustomVocabularyTerm> made;
    for (const auto& word : quorl::bench::syntheticWords(count)) {
        made.emplace_back(quorl::CustomVocabularyTerm::Fields{.text = word});
    }
    return made;
}

// One search over 10 000 terms with the bound of the argument (the rescorer's own bound is 3).
void SearchTenThousandTerms(benchmark::State& state) {
    const quorl::BKTree tree(terms(10000));
    const auto queries = quorl::bench::syntheticWords(64, 99);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tree.search(queries[next++ % queries.size()], state.range(0)));
    }
}
BENCHMARK(SearchTenThousandTerms)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

void BuildTenThousandTermTree(benchmark::State& state) {
    const auto vocabulary = terms(10000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::BKTree(vocabulary));
    }
}
BENCHMARK(BuildTenThousandTermTree)->Unit(benchmark::kMillisecond);

} // namespace
