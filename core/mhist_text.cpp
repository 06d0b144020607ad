// The text form of MHist: writing it, and reading it back without trusting it.

#include "mhist.h"
#include "qximproca.h"

#include <array>
#include <string_view>

namespace {

constexpr int formatVersion = 1;
// A picture of more samples than this does not exist; anything larger is hostile.
constexpr std::uint64_t maxTotal = std::uint64_t(1) << 40;
// save() never writes a line near this long; a longer one is not ours.
constexpr std::size_t maxLineLength = 128;
// Bounded by the number of bins and cells, a real text stays far below this.
constexpr std::size_t maxTextLength = std::size_t(4) << 20;
constexpr int maxTokens = 7;

void appendLine(std::string &text, std::initializer_list<std::uint64_t> numbers, const char *keyword = nullptr)
{
    if (keyword)
        text += keyword;
    bool first = !keyword;
    for (std::uint64_t n : numbers) {
        if (!first)
            text += ' ';
        text += std::to_string(n);
        first = false;
    }
    text += '\n';
}

// Splits the text into lines and lines into tokens, refusing anything save() would not
// write: empty lines, overlong lines, characters other than letters, digits and single
// spaces.
class LineReader {
public:
    explicit LineReader(const std::string &text)
        : m_text(text)
    {
    }

    bool bAtEnd() const { return m_pos >= m_text.size(); }
    int lineNumber() const { return m_line; }

    // The next line's tokens; false at the end or for a line that is not well-formed.
    bool next(std::array<std::string_view, maxTokens> &tokens, int &count)
    {
        if (bAtEnd())
            return false;
        ++m_line;
        std::size_t end = m_text.find('\n', m_pos);
        const std::size_t next = end == std::string::npos ? m_text.size() : end + 1;
        if (end == std::string::npos)
            end = m_text.size();
        else if (end > m_pos && m_text[end - 1] == '\r')
            --end;
        const std::string_view line(m_text.data() + m_pos, end - m_pos);
        m_pos = next;
        if (line.empty() || line.size() > maxLineLength)
            return false;
        count = 0;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= line.size(); ++i) {
            if (i < line.size() && line[i] != ' ') {
                const char c = line[i];
                if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                    return false;
                continue;
            }
            if (i == start || count == maxTokens)
                return false;
            tokens[std::size_t(count++)] = line.substr(start, i - start);
            start = i + 1;
        }
        return true;
    }

private:
    const std::string &m_text;
    std::size_t m_pos = 0;
    int m_line = 0;
};

// A decimal number as save() writes it: digits only, no leading zero, at most 19 digits
// (so it cannot overflow 64 bits).
bool parseNumber(std::string_view token, std::uint64_t &value)
{
    if (token.empty() || token.size() > 19 || (token.size() > 1 && token[0] == '0'))
        return false;
    value = 0;
    for (char c : token) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + std::uint64_t(c - '0');
    }
    return true;
}

// Reads the sections in the one order save() writes them; every count is checked against
// the total as it is read, so nothing can overflow and nothing is sized from the text.
class Parser {
public:
    explicit Parser(const std::string &text)
        : m_lines(text)
    {
    }

    bool header(int &depth, std::uint64_t &total)
    {
        std::uint64_t values[3] = {};
        if (!keywordLine("MHist", 1, values))
            return false;
        if (values[0] != formatVersion)
            return fail("unsupported version");
        if (!keywordLine("depth", 1, values) || (values[0] != 8 && values[0] != 16))
            return fail("depth must be 8 or 16");
        depth = int(values[0]);
        if (!keywordLine("total", 1, values) || values[0] > maxTotal)
            return fail("bad total");
        total = values[0];
        return true;
    }

    bool plane(int plane, std::uint64_t total, std::uint64_t *bins)
    {
        std::uint64_t values[3] = {};
        if (!keywordLine("plane", 1, values) || values[0] != std::uint64_t(plane))
            return fail("planes must come as 0, 1, 2");
        std::uint64_t sum = 0;
        int previous = -1;
        while (nextLine()) {
            if (bEnd())
                return sum == total || fail("plane counts do not add up to the total");
            if (!numbers(2, values) || values[0] >= std::uint64_t(MHist::numBins) || int(values[0]) <= previous)
                return fail("bad bin line, or bins not 0 to 255 in increasing order");
            if (values[1] == 0 || values[1] > total - sum)
                return fail("bad bin count");
            previous = int(values[0]);
            bins[previous] = values[1];
            sum += values[1];
        }
        return fail("plane not closed");
    }

    bool cells(std::uint64_t total, MHist::Cell *cells)
    {
        std::uint64_t values[maxTokens] = {};
        if (!keywordLine("cells", 3, values) || values[0] != std::uint64_t(MHist::lumaCells)
            || values[1] != std::uint64_t(MHist::colourCells) || values[2] != std::uint64_t(MHist::colourCells))
            return fail("unexpected cell layout");
        std::uint64_t sum = 0;
        long previous = -1;
        while (nextLine()) {
            if (bEnd())
                return sum == total || fail("cell counts do not add up to the total");
            if (!numbers(7, values) || values[0] >= std::uint64_t(MHist::lumaCells)
                || values[1] >= std::uint64_t(MHist::colourCells) || values[2] >= std::uint64_t(MHist::colourCells))
                return fail("bad cell");
            const long index = long((values[0] * MHist::colourCells + values[1]) * MHist::colourCells + values[2]);
            if (index <= previous)
                return fail("cells out of order");
            const std::uint64_t count = values[3];
            if (count == 0 || count > total - sum)
                return fail("bad cell count");
            MHist::Cell &cell = cells[index];
            cell.count = count;
            for (int i = 0; i < MHist::numPlanes; ++i) {
                // Every sample of the cell lies in the cell's range of values.
                const int shift = i == 0 ? 12 : 11;
                const std::uint64_t low = values[i] << shift, high = low + (std::uint64_t(1) << shift) - 1;
                if (values[4 + i] < count * low || values[4 + i] > count * high)
                    return fail("cell sum outside the cell");
                cell.sum[i] = values[4 + i];
            }
            previous = index;
            sum += count;
        }
        return fail("cells not closed");
    }

    bool finished() { return m_lines.bAtEnd() || fail("text after the end"); }

private:
    bool fail(const char *why)
    {
        QXimproca::debug(QXimproca::traceMsg("MHist::load", __LINE__,
            std::string("rejected at line ") + std::to_string(m_lines.lineNumber()) + ": " + why));
        return false;
    }

    bool nextLine()
    {
        if (m_lines.bAtEnd())
            return fail("the text ends early");
        return m_lines.next(m_tokens, m_count) || fail("malformed line");
    }
    bool bEnd() const { return m_count == 1 && m_tokens[0] == "end"; }

    bool numbers(int wanted, std::uint64_t *values, int first = 0) const
    {
        if (m_count != first + wanted)
            return false;
        for (int i = 0; i < wanted; ++i) {
            if (!parseNumber(m_tokens[std::size_t(first + i)], values[i]))
                return false;
        }
        return true;
    }

    bool keywordLine(const char *keyword, int wanted, std::uint64_t *values)
    {
        if (!nextLine())
            return false;
        if (m_count < 1 || m_tokens[0] != keyword || !numbers(wanted, values, 1))
            return fail("expected another line");
        return true;
    }

    LineReader m_lines;
    std::array<std::string_view, maxTokens> m_tokens;
    int m_count = 0;
};
}

bool MHist::save(std::string &text) const
{
    text.clear();
    appendLine(text, { std::uint64_t(formatVersion) }, "MHist");
    appendLine(text, { std::uint64_t(m_depth) }, "depth");
    appendLine(text, { m_total }, "total");
    for (int plane = 0; plane < numPlanes; ++plane) {
        appendLine(text, { std::uint64_t(plane) }, "plane");
        for (int bin = 0; bin < numBins; ++bin) {
            if (m_bins[plane][bin])
                appendLine(text, { std::uint64_t(bin), m_bins[plane][bin] });
        }
        text += "end\n";
    }
    appendLine(text, { std::uint64_t(lumaCells), std::uint64_t(colourCells), std::uint64_t(colourCells) }, "cells");
    for (int l = 0; l < lumaCells; ++l) {
        for (int c1 = 0; c1 < colourCells; ++c1) {
            for (int c2 = 0; c2 < colourCells; ++c2) {
                const Cell &c = cell(l, c1, c2);
                if (c.count)
                    appendLine(text,
                        { std::uint64_t(l), std::uint64_t(c1), std::uint64_t(c2), c.count, c.sum[0], c.sum[1],
                            c.sum[2] });
            }
        }
    }
    text += "end\n";
    return true;
}

bool MHist::parse(const std::string &text)
{
    if (text.size() > maxTextLength) {
        QXimproca::debug(QXimproca::traceMsg("MHist::load", __LINE__, "text too long"));
        return false;
    }
    Parser parser(text);
    if (!parser.header(m_depth, m_total))
        return false;
    for (int plane = 0; plane < numPlanes; ++plane) {
        if (!parser.plane(plane, m_total, m_bins[plane]))
            return false;
    }
    return parser.cells(m_total, m_cells.data()) && parser.finished() && bConsistent();
}

bool MHist::load(const std::string &text)
{
    MHist parsed;
    if (!parsed.parse(text))
        return false;
    *this = std::move(parsed);
    return true;
}
