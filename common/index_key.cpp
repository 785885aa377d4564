#include "common/index_key.h"

namespace {

// Letter codes in the order of the letters' bytes, so that keys sort as texts do.
int code_of(char letter)
{
    switch (letter) {
    case 'A':
        return 1;
    case 'C':
        return 2;
    case 'G':
        return 3;
    case 'N':
        return 4;
    case 'T':
        return 5;
    default:
        return -1;
    }
}

constexpr char Letters[] = "\0ACGNT";

int shift_of(std::size_t position)
{
    return 60 - 3 * static_cast<int>(position % IndexKey::Letters_per_word);
}

} // namespace

bool IndexKey::pack(std::string_view text, IndexKey& key)
{
    if (text.size() > Max_letters)
        return false;
    IndexKey packed;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int code = code_of(text[i]);
        if (code < 0)
            return false;
        std::uint64_t& word = i < Letters_per_word ? packed.first : packed.second;
        word |= static_cast<std::uint64_t>(code) << shift_of(i);
    }
    key = packed;
    return true;
}

std::string IndexKey::text() const
{
    std::string out;
    for (std::size_t i = 0; i < Max_letters; ++i) {
        const std::uint64_t word = i < Letters_per_word ? first : second;
        const auto code = static_cast<std::size_t>(word >> shift_of(i) & 7);
        if (code == 0 || code > 5)
            break;
        out.push_back(Letters[code]);
    }
    return out;
}
