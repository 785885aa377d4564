#include "converter/analysis/adapter_patterns.h"

AdapterPatterns::AdapterPatterns(const Index& index, double max_error_rate_) : max_error_rate(max_error_rate_)
{
    adapters.resize(index.refs.size());
    for (std::size_t r = 0; r < adapters.size(); ++r) {
        Adapter& adapter = adapters[r];
        index.refs[r]->seq_to_string(adapter.text);
        // An empty adapter never matches: its pattern is never used.
        if (adapter.text.size() <= LevenshteinPattern::Max_length)
            adapter.pattern.emplace(adapter.text);
        const int length = static_cast<int>(adapter.text.size());
        adapter.filter = AdapterPieceFilter(adapter.text, allowed_edits(length, max_error_rate) + 1);
    }
}
