#include "tools/runsim/read_layout.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace runsim {
namespace {

[[noreturn]] void fail(const std::string& message)
{
    throw std::invalid_argument(message);
}

// Reads a decimal count at text[pos...]; advances pos. Fails unless at least one digit.
int read_count(std::string_view text, std::size_t& pos, std::string_view what)
{
    int value = 0;
    const char* begin = text.data() + pos;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr == begin)
        fail("expecting a number in '" + std::string(what) + "'");
    pos += static_cast<std::size_t>(ptr - begin);
    return value;
}

} // namespace

std::string_view role_name(ReadRole role)
{
    switch (role) {
    case ReadRole::R1:
        return "R1";
    case ReadRole::I1:
        return "I1";
    case ReadRole::I2:
        return "I2";
    case ReadRole::R2:
        return "R2";
    case ReadRole::U1:
        return "U1";
    case ReadRole::U2:
        return "U2";
    }
    return "?";
}

ReadRole parse_role(std::string_view text)
{
    for (const ReadRole role : All_roles)
        if (text == role_name(role))
            return role;
    fail("unknown read role '" + std::string(text) + "' (R1, I1, I2, R2, U1 or U2)");
}

bool is_index_role(ReadRole role)
{
    return role == ReadRole::I1 || role == ReadRole::I2;
}

bool is_umi_role(ReadRole role)
{
    return role == ReadRole::U1 || role == ReadRole::U2;
}

ReadLayout ReadLayout::standard(int read_cycles, int index_cycles)
{
    ReadLayout layout;
    layout.reads = {{ReadRole::R1, read_cycles, 0},
                    {ReadRole::I1, index_cycles, 0},
                    {ReadRole::I2, index_cycles, 0},
                    {ReadRole::R2, read_cycles, 0}};
    return layout;
}

ReadLayout ReadLayout::parse(std::string_view text)
{
    ReadLayout layout;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        const std::string_view item = text.substr(start, comma - start);
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos)
            fail("read '" + std::string(item) + "' is not of the form ROLE:CYCLES[+EXTRA]");
        ReadSpec read;
        read.role = parse_role(item.substr(0, colon));
        std::size_t pos = colon + 1;
        read.cycles = read_count(item, pos, item);
        if (pos < item.size() && item[pos] == '+') {
            ++pos;
            read.extra_cycles = read_count(item, pos, item);
        }
        if (pos != item.size())
            fail("unexpected text in read '" + std::string(item) + "'");
        layout.reads.push_back(read);
        start = comma + 1;
    }
    layout.validate();
    return layout;
}

void ReadLayout::add_umi(ReadRole role, std::string_view mask)
{
    if (!is_umi_role(role))
        fail("a UMI has the role U1 or U2");
    const std::string what(mask);
    if (mask.size() < 3 || (mask[0] != 'T' && mask[0] != 't'))
        fail("UMI mask '" + what + "' must begin with T and the read number");
    std::size_t pos = 1;
    UmiSpec umi;
    umi.role = role;
    umi.read = read_count(mask, pos, mask);
    if (pos >= mask.size() || mask[pos] != ':')
        fail("UMI mask '" + what + "': ':' expected after the read number");
    ++pos;
    int skip_before = 0;
    int use = -1;
    bool skip_after = false;
    while (pos < mask.size()) {
        const char group = mask[pos++];
        const int count = read_count(mask, pos, mask);
        if (count < 1)
            fail("UMI mask '" + what + "': counts must be > 0");
        if ((group == 'N' || group == 'n') && use < 0 && skip_before == 0)
            skip_before = count;
        else if ((group == 'Y' || group == 'y') && use < 0)
            use = count;
        else if ((group == 'N' || group == 'n') && use >= 0 && !skip_after)
            skip_after = true;
        else
            fail("UMI mask '" + what + "': use the shapes Y b, N a Y b, Y b N c or N a Y b N c");
    }
    if (use < 0)
        fail("UMI mask '" + what + "' has no Y group");
    umi.first = skip_before + 1;
    umi.length = use;
    for (const UmiSpec& other : umis)
        if (other.role == role)
            fail("UMI " + std::string(role_name(role)) + " given twice");
    umis.push_back(umi);
}

void ReadLayout::validate() const
{
    if (reads.empty() || reads.size() > 4)
        fail("a run has 1 to 4 reads");
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const ReadSpec& read = reads[i];
        const std::string name(role_name(read.role));
        if (read.cycles < 1 || read.extra_cycles < 0)
            fail("read " + name + " needs at least one cycle and no negative extra cycles");
        for (std::size_t j = 0; j < i; ++j)
            if (reads[j].role == read.role)
                fail("role " + name + " given twice");
    }
    if (read_of(ReadRole::R1) == 0)
        fail("the layout needs an R1 read");
    for (std::size_t i = 0; i < umis.size(); ++i) {
        const UmiSpec& umi = umis[i];
        const std::string name(role_name(umi.role));
        if (read_of(umi.role) != 0)
            fail("UMI " + name + " is both a read and part of a read");
        for (std::size_t j = 0; j < i; ++j)
            if (umis[j].role == umi.role)
                fail("UMI " + name + " given twice");
        if (umi.read < 1 || umi.read > static_cast<int>(reads.size()))
            fail("UMI " + name + " names read " + std::to_string(umi.read) + ", which the layout does not have");
        const int cycles = reads[umi.read - 1].cycles;
        const int last = umi.first + umi.length - 1;
        if (umi.first < 1 || umi.length < 1 || last > cycles)
            fail("UMI " + name + " lies outside the cycles of read " + std::to_string(umi.read));
        if (umi.first != 1 && last != cycles)
            fail("UMI " + name + " must lie at the start or the end of read " + std::to_string(umi.read));
    }
    for (const UmiSpec& a : umis)
        for (const UmiSpec& b : umis)
            if (&a != &b && a.read == b.read && a.first <= b.first && b.first <= a.first + a.length - 1)
                fail("UMIs of read " + std::to_string(a.read) + " overlap");
    for (std::size_t r = 1; r <= reads.size(); ++r)
        if (range(reads[r - 1].role).length() < 1)
            fail("the UMIs of read " + std::to_string(r) + " leave no cycle for its role");
}

int ReadLayout::read_of(ReadRole role) const
{
    for (std::size_t i = 0; i < reads.size(); ++i)
        if (reads[i].role == role)
            return static_cast<int>(i) + 1;
    return 0;
}

RoleRange ReadLayout::range(ReadRole role) const
{
    for (const UmiSpec& umi : umis)
        if (umi.role == role)
            return {umi.read, umi.first, umi.first + umi.length - 1};
    const int read = read_of(role);
    if (read == 0)
        return {};
    RoleRange result{read, 1, reads[read - 1].cycles};
    for (const UmiSpec& umi : umis) {
        if (umi.read != read)
            continue;
        if (umi.first == 1)
            result.first = std::max(result.first, umi.length + 1);
        else
            result.last = std::min(result.last, umi.first - 1);
    }
    return result;
}

std::string ReadLayout::mask(ReadRole role) const
{
    const RoleRange r = range(role);
    if (!r.present())
        return {};
    const int used = reads[r.read - 1].cycles;
    std::string text = "T" + std::to_string(r.read) + ":";
    if (r.first > 1)
        text += "N" + std::to_string(r.first - 1);
    text += "Y" + std::to_string(r.length());
    if (r.last < used)
        text += "N" + std::to_string(used - r.last);
    return text;
}

bool ReadLayout::is_index_read(int read) const
{
    return read > 0 && (read == read_of(ReadRole::I1) || read == read_of(ReadRole::I2));
}

std::string ReadLayout::text() const
{
    std::string text;
    for (const ReadSpec& read : reads) {
        if (!text.empty())
            text += ',';
        text += std::string(role_name(read.role)) + ":" + std::to_string(read.cycles);
        if (read.extra_cycles > 0)
            text += "+" + std::to_string(read.extra_cycles);
    }
    return text;
}

} // namespace runsim
