#pragma once
// The bases and their codes: A 0, C 1, G 2, T 3 (the two bits of a call byte, a packed
// sequence and a k-mer), then N 4, the no-call. The lookups are tables indexed by byte, as
// the letters of reads come in no predictable order.
#include <array>

namespace base_code {

// The letter of each code, 0 to 4.
inline constexpr char Letters[] = "ACGTN";

// 0 to 4 for the letters A, C, G, T and N, Not_a_letter for any other byte (lower case too).
inline constexpr unsigned char Not_a_letter = 5;
inline constexpr std::array<unsigned char, 256> Letter_positions = [] {
    std::array<unsigned char, 256> positions{};
    positions.fill(Not_a_letter);
    for (unsigned char code = 0; code < 5; ++code)
        positions[static_cast<unsigned char>(Letters[code])] = code;
    return positions;
}();

// 0 to 3 for the bases A, C, G and T, 4 for any other byte (N and lower case too).
inline constexpr std::array<unsigned char, 256> Upper_case_codes = [] {
    std::array<unsigned char, 256> codes = Letter_positions;
    for (unsigned char& code : codes)
        code = code < 4 ? code : 4;
    return codes;
}();

// 0 to 3 for the bases in either case (A/a, C/c, G/g, T/t), 4 for any other byte.
inline constexpr std::array<unsigned char, 256> Codes = [] {
    std::array<unsigned char, 256> codes = Upper_case_codes;
    for (int c = 'a'; c <= 'z'; ++c)
        codes[static_cast<unsigned char>(c)] = Upper_case_codes[static_cast<unsigned char>(c - 'a' + 'A')];
    return codes;
}();

// The code of a byte: 0 to 3 for a base in either case, 4 for anything else.
inline int code_of(char c)
{
    return Codes[static_cast<unsigned char>(c)];
}

// Whether c is one of the bases A, C, G and T, in upper case.
inline bool is_base(char c)
{
    return Upper_case_codes[static_cast<unsigned char>(c)] < 4;
}

// The letter of the complementary base of c in either case, upper case; N for any other byte.
inline char complement_of(char c)
{
    const int code = code_of(c);
    return code == 4 ? 'N' : Letters[3 - code];
}

} // namespace base_code
