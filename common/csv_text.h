#pragma once
// Text helpers of the sectioned CSV documents: line splitting, trimming and byte
// classification.
//
// Every classification works on explicit ASCII ranges of the byte value (as unsigned char), so it
// is defined for every byte, including those of 0x80 and above, and is independent of the locale.

#include <string>
#include <vector>

// 0x20..0x7E (isprint in the C locale).
inline bool is_ascii_print(unsigned char c)
{
    return c >= 0x20 && c <= 0x7E;
}
// 0x21..0x7E: printable and not a space (isgraph in the C locale).
inline bool is_ascii_graph(unsigned char c)
{
    return c >= 0x21 && c <= 0x7E;
}
// Space, tab, newline, vertical tab, form feed, carriage return (isspace in the C locale).
inline bool is_ascii_space(unsigned char c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}
inline bool is_ascii_digit(unsigned char c)
{
    return c >= '0' && c <= '9';
}
// 'a'..'z' become 'A'..'Z'; every other byte is returned unchanged.
inline char ascii_to_upper(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<char>(u - 'a' + 'A') : c;
}

// The text with every ASCII lower-case letter upper-cased; other bytes unchanged.
std::string ascii_upper(const std::string& text);

// The text without leading and trailing bytes that are not printable non-space characters
// (blanks, tabs, carriage returns, other control bytes and bytes of 0x80 and above are stripped
// at both ends; inner bytes are kept).
std::string trim(const std::string& text);

// Splits one line into fields; fields is replaced. Returns false
// on a syntax error (unclosed quote, a quote inside an unquoted field, text after a closing quote
// other than blanks and the separator); fields then holds the fields read so far.
bool csv_parse_line(const std::string& line, std::vector<std::string>& fields, char separator);
