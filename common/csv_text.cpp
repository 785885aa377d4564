#include "common/csv_text.h"

std::string ascii_upper(const std::string& text)
{
    std::string out(text);
    for (char& c : out)
        c = ascii_to_upper(c);
    return out;
}

std::string trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && !is_ascii_graph(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && !is_ascii_graph(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

bool csv_parse_line(const std::string& line, std::vector<std::string>& fields, char separator)
{
    fields.clear();
    const std::size_t n = line.size();
    std::size_t p = 0;
    auto is_blank = [&](std::size_t i) { return line[i] == ' ' || line[i] == '\t'; };
    for (;;) {
        while (p < n && is_blank(p))
            ++p;
        if (p >= n)
            return true; // no field for trailing blanks (or an empty line)
        std::string field;
        if (line[p] == '"') {
            const std::size_t close = line.find('"', p + 1);
            if (close == std::string::npos)
                return false;
            field = line.substr(p + 1, close - p - 1);
            p = close + 1;
            while (p < n && is_blank(p))
                ++p;
            if (p < n && line[p] != separator)
                return false;
        } else {
            std::size_t stop = line.find(separator, p);
            if (stop == std::string::npos)
                stop = n;
            field = line.substr(p, stop - p);
            if (field.find('"') != std::string::npos)
                return false;
            field = trim(field);
            p = stop;
        }
        fields.push_back(std::move(field));
        if (p >= n)
            return true;
        ++p; // step over the separator
    }
}
