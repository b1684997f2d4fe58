// The menu's scan of an input that gives a file's figures, measuring each
// line where the read put it.

// A line longer than this arrives in pieces of this many characters.
constexpr int PIECE = LINE_BUFFER_SIZE - 1;

// The length of the line at `text`, measured in place: up to and including
// its newline, at most a piece. 0 when the `available` bytes hold neither, so
// that the next read may hold the rest, or are fewer than a block.
CMEASURE_INLINE int lineLength(const unsigned char *text, int available)
{
    if (available < Blocks::WIDTH)
        return 0;
    const int limit = std::min(available, PIECE);
    const Text unread{.bytes = text, .length = limit, .readable = available};
    for (int base = 0; base < limit; base += Blocks::WIDTH) {
        const std::uint64_t newlines = equalAt(unread, base, '\n') & lowBits(limit - base);
        if (newlines != 0)
            return base + std::countr_zero(newlines) + 1;
    }
    return limit == PIECE ? PIECE : 0;
}

CMEASURE_INLINE void tally(FileFigures &figures, LineFigures line)
{
    figures.lines++;
    figures.identifiers += line.identifiers;
    if (line.symbols > figures.maxSymbols) {
        figures.maxSymbols = line.symbols;
        figures.lineWithMaxSymbols = figures.lines;
    }
}

// A piece of a line as the scan measured it: its bytes and its symbols,
// which a piece that can neither be the densest so far nor be reported
// (see mayReport) may leave at 0.
struct Piece {
    const unsigned char *text;
    int length;
    int symbols;
};

// What the plain scan does with each piece besides its figures: nothing.
// skip(): lines of at most 63 bytes that the scan ends at once, without
// add(), when mayReport(63) is false.
struct IgnorePieces {
    CMEASURE_INLINE bool mayReport(int /*length*/) const { return false; }
    CMEASURE_INLINE void add(const Piece & /*piece*/) {}
    CMEASURE_INLINE void skip(Count /*lines*/) {}
};

// Reports the pieces over a limit, knowing where each starts: a newline
// ends the editor's line, and a piece without one is followed by the next
// piece of the same line.
struct ReportPieces {
    const PieceLimit &limit;
    Count line = 1;
    Count column = 1;
    Count characterColumn = 1;
    int densest = 0; // the most symbols of a piece reported so far

    // Whether a piece of `length` bytes may hold more symbols than the
    // limit, and no fewer than the floor.
    CMEASURE_INLINE bool mayReport(int length) const { return length > limit.symbols && length >= limit.floor; }

    // Whole lines, each after a newline and none to report.
    CMEASURE_INLINE void skip(Count lines) { line += lines; }

    // Whether a piece to report goes to the census instead.
    CMEASURE_INLINE bool counted(const Piece &piece, std::string_view text) const
    {
        const LineCensus *census = limit.census;
        return census != nullptr && piece.symbols < census->size && piece.symbols <= densest &&
               !holdsAllowMarker(text);
    }

    CMEASURE_INLINE void add(const Piece &piece)
    {
        const std::string_view text(reinterpret_cast<const char *>(piece.text), static_cast<std::size_t>(piece.length));
        if (piece.symbols > limit.symbols && piece.symbols >= limit.floor) {
            if (counted(piece, text)) {
                limit.census->lines[piece.symbols]++;
                limit.census->most = std::max<Count>(limit.census->most, piece.symbols);
            } else {
                densest = std::max(densest, piece.symbols);
                limit.report(limit.context, {.line = line,
                                             .column = column,
                                             .symbols = piece.symbols,
                                             .characterColumn = characterColumn,
                                             .text = text});
            }
        }
        if (piece.length > 0 && piece.text[piece.length - 1] == '\n') {
            line++;
            column = 1;
            characterColumn = 1;
        } else {
            // Only the pieces of lines longer than a piece come here.
            column += piece.length;
            characterColumn += std::count_if(piece.text, piece.text + piece.length,
                                             [](unsigned char byte) { return (byte & 0xC0) != 0x80; });
        }
    }
};

// 64 bytes of the input, classified once: the masks of their blocks side by
// side, and their newlines.
struct Group {
    Masks masks;
    std::uint64_t newlines;
};

// Keeps of a group's '/' and '*' only those that can act: a '/' before a
// '/' or '*', a '*' before a '/'. `after` is the byte after the group. The
// others the walk would pass over: a lone '/' separates as any byte that
// is not of an identifier does, and a lone '*' inside a comment or string
// changes nothing. Where a piece ends, the byte after it is not `after`
// but zero fill; a stop kept there is only one the walk did not need.
CMEASURE_INLINE void keepActingStops(Masks &masks, unsigned char after)
{
    const std::uint64_t quote = masks.opener & masks.closer;
    const std::uint64_t slash = masks.opener ^ quote;
    const std::uint64_t star = masks.closer ^ quote;
    const std::uint64_t slashAfter = (slash >> 1) | std::uint64_t{after == '/'} << 63;
    const std::uint64_t starAfter = (star >> 1) | std::uint64_t{after == '*'} << 63;
    masks.opener = quote | (slash & (slashAfter | starAfter));
    masks.closer = quote | (star & slashAfter);
}

CMEASURE_INLINE Group classifyGroup(const unsigned char *bytes)
{
    Group group{Blocks::classify(bytes), Blocks::equal(bytes, '\n')};
    for (int k = Blocks::WIDTH; k < 64; k += Blocks::WIDTH) {
        const Masks masks = Blocks::classify(bytes + k);
        group.masks.blank |= masks.blank << k;
        group.masks.ident |= masks.ident << k;
        group.masks.word |= masks.word << k;
        group.masks.opener |= masks.opener << k;
        group.masks.closer |= masks.closer << k;
        group.newlines |= Blocks::equal(bytes + k, '\n') << k;
    }
    keepActingStops(group.masks, bytes[64]);
    return group;
}

// A line about to be walked from position 0 of `text`: its length is not
// known until its end is found, and until then every byte after a walked
// one is taken from the text.
CMEASURE_INLINE LineWalk lineAt(const unsigned char *text, bool inside)
{
    return {.text = text, .length = LINE_BUFFER_SIZE, .quoteFirst = text[0] == '"', .inside = inside};
}

// A place in the input: the group of 64 bytes at `base`, from its bit `from` on.
struct GroupAt {
    int base;
    int from;
};

// Where the walk of the groups stands: the line being walked, and where it
// starts; the bytes at `text` that may be read, more than a group.
struct GroupScan {
    LineWalk walk;
    const unsigned char *text;
    int available;
    int start = 0;
};

// The bit after the end of the line of `scan` when it ends in the group at
// `base`, which it covers from bit `from` on; above 64 when it goes on
// past the group. Always above `from`: a line still open is shorter than a
// piece.
CMEASURE_INLINE int lineEndIn(const GroupScan &scan, const Group &group, GroupAt at)
{
    const std::uint64_t newlines = group.newlines & ~lowBits(at.from);
    const int newline = newlines != 0 ? std::countr_zero(newlines) + 1 : 65;
    return std::min(newline, scan.start + PIECE - at.base);
}

// Walks the line of `scan` over bits [from, to) of the group at `base`.
CMEASURE_INLINE void walkGroup(GroupScan &scan, const Group &group, int base, Stretch stretch)
{
    const Block block{group.masks, base - scan.start, stretch.to};
    for (int i = stretch.from; scan.walk.counting && i < stretch.to;)
        i = scan.walk.inside ? walkInside(scan.walk, block, i) : walkOutside<64>(scan.walk, block, i);
}

// The symbols of the line of `scan`, whose length is set, when they may
// matter: when it is longer than the densest line so far has symbols, or
// than the pieces reported may have; else 0. Its bytes lie in the groups,
// and are classified again: a line rarely matters, and in the groups it
// would cost a count of blanks in each.
template <class Pieces>
CMEASURE_INLINE int symbolsIfDense(const GroupScan &scan, const FileFigures &figures, const Pieces &pieces)
{
    const int length = scan.walk.length;
    if (length <= figures.maxSymbols && !pieces.mayReport(length))
        return 0;
    const Text all{.bytes = scan.text, .length = scan.start + length, .readable = scan.available};
    int blanks = 0;
    for (int at = scan.start; at < all.length; at += Blocks::WIDTH)
        blanks += bitsSet(classifyAt(all, at).blank & lowBits(all.length - at));
    return length - blanks;
}

// Ends the line of `scan`, whose length is set, and starts the next one.
template <class Pieces>
CMEASURE_INLINE void endLine(GroupScan &scan, const unsigned char *text, bool &inside, FileFigures &figures,
                             Pieces &pieces)
{
    const LineFigures line{.symbols = symbolsIfDense(scan, figures, pieces),
                           .identifiers = finishLine(scan.walk, inside)};
    tally(figures, line);
    pieces.add({.text = text + scan.start, .length = scan.walk.length, .symbols = line.symbols});
    scan.start += scan.walk.length;
    scan.walk = lineAt(text + scan.start, inside);
}

// Whether the group at `base` from bit `from` on can change nothing of the
// walk but the identifiers that end outside comments and strings: no piece
// ends in it, and outside them it has no '/' or '"', inside them no '*' or
// '"' (and the line does not begin with '"'). A line that starts in it is
// shorter than a piece there and begins with neither.
CMEASURE_INLINE bool settledFrom(const GroupScan &scan, const Group &group, GroupAt at)
{
    const std::uint64_t rest = ~lowBits(at.from);
    if (scan.start + PIECE - at.base <= 64 || !scan.walk.counting)
        return false;
    if (scan.walk.inside)
        return !scan.walk.quoteFirst && (group.masks.closer & rest) == 0;
    return (group.masks.opener & rest) == 0;
}

// Ends at once the lines that begin after a newline of a settled group and
// end at one of the newlines `left` in it, when none can be denser than the
// densest so far nor be reported: each holds at most 63 bytes, its newline
// included, and so at most 63 symbols, and their identifiers are counted
// already. `open` is where the line after the last of them begins. Returns
// whether it did.
template <class Pieces>
CMEASURE_INLINE bool skipLines(GroupScan &scan, std::uint64_t left, GroupAt open, bool inside, FileFigures &figures,
                               Pieces &pieces, const unsigned char *text)
{
    if (figures.maxSymbols < 63 || pieces.mayReport(63))
        return false;
    figures.lines += bitsSet<64>(left);
    pieces.skip(bitsSet<64>(left));
    scan.start = open.base + open.from;
    scan.walk = lineAt(text + scan.start, inside);
    return true;
}

// Measures a settled group from bit `from` on: each line that ends in it by
// its newline, and their identifiers at once, outside comments and strings;
// a newline ends any identifier, so that none is pending at their ends.
// Those after the last newline are the line's still open, as a line that
// the groups leave open is measured again.
template <class Pieces>
CMEASURE_INLINE void measureSettled(GroupScan &scan, const Group &group, GroupAt at, bool &inside,
                                    FileFigures &figures, Pieces &pieces, const unsigned char *text)
{
    const std::uint64_t newlines = group.newlines & ~lowBits(at.from);
    const int closed = newlines != 0 ? 64 - std::countl_zero(newlines) : at.from;
    if (!scan.walk.inside && closed > at.from)
        figures.identifiers += identifierEnds<64>(group.masks, {.from = at.from, .to = closed}, scan.walk.pending);
    for (std::uint64_t left = newlines; left != 0; left &= left - 1) {
        if (left != newlines && skipLines(scan, left, {.base = at.base, .from = closed}, inside, figures, pieces, text))
            break;
        scan.walk.length = at.base + std::countr_zero(left) + 1 - scan.start;
        scan.walk.pending = 0;
        endLine(scan, text, inside, figures, pieces);
    }
    if (closed == 64)
        return;
    if (!scan.walk.inside)
        scan.walk.identifiers += identifierEnds<64>(group.masks, {.from = closed, .to = 64}, scan.walk.pending);
}

// Walks the group at `base` from bit `from` on: settled, at once, or else
// the line that goes on there, then the rest, which may be settled.
template <class Pieces>
CMEASURE_INLINE void measureGroup(GroupScan &scan, const Group &group, int base, bool &inside, FileFigures &figures,
                                  Pieces &pieces, const unsigned char *text)
{
    for (int from = 0; from < 64;) {
        if (settledFrom(scan, group, {.base = base, .from = from})) {
            measureSettled(scan, group, {.base = base, .from = from}, inside, figures, pieces, text);
            return;
        }
        const int end = lineEndIn(scan, group, {.base = base, .from = from});
        if (end <= 64)
            scan.walk.length = base + end - scan.start;
        walkGroup(scan, group, base, {.from = from, .to = std::min(end, 64)});
        if (end > 64)
            return;
        endLine(scan, text, inside, figures, pieces);
        from = end;
    }
}

// Measures the lines that end in the groups of 64 bytes within `available`,
// classifying each group once and walking every line in it from the
// group's masks. A byte after the last group is always there, so that a
// line still open at the end of a group may look at the byte after it.
// Returns the bytes measured: the rest, from the line the groups leave
// open, is for the line by line scan.
template <class Pieces>
CMEASURE_INLINE int scanGroups(const unsigned char *text, int available, bool &inside, FileFigures &figures,
                               Pieces &pieces)
{
    const int groupsEnd = available > 0 ? (available - 1) / 64 * 64 : 0;
    GroupScan scan{.walk = lineAt(text, inside), .text = text, .available = available};
    for (int base = 0; base < groupsEnd; base += 64)
        measureGroup(scan, classifyGroup(text + base), base, inside, figures, pieces, text);
    return scan.start;
}

// Lines are measured where the input holds them, each piece exactly as a line
// read would deliver it. A line that the next read completes is put together
// in `line` by one, and so are the lines in the last bytes of a read, fewer
// than a block. Of that buffer only the bytes the read wrote need zeroing
// again: the rest is still zero. Each piece then goes to `pieces`.
template <class Pieces> CMEASURE_INLINE Scan scanWith(TextInput &input, char *line, Pieces &pieces)
{
    Scan result;
    bool inside = false;
    for (std::string_view unread; !(unread = input.unread()).empty();) {
        const unsigned char *text = bytesOf(unread.data());
        const int available = static_cast<int>(unread.size());
        int at = scanGroups(text, available, inside, result.figures, pieces);
        for (int length; (length = lineLength(text + at, available - at)) > 0; at += length) {
            const LineFigures figures = measureText({text + at, length, available - at}, inside);
            tally(result.figures, figures);
            pieces.add({.text = text + at, .length = length, .symbols = figures.symbols});
        }
        input.skip(static_cast<std::size_t>(at));
        if (at < available) {
            const int length = input.readLine(line, LINE_BUFFER_SIZE);
            const LineFigures figures = measureText(textOf(line, length), inside);
            tally(result.figures, figures);
            pieces.add({.text = bytesOf(line), .length = length, .symbols = figures.symbols});
            std::memset(line, 0, static_cast<std::size_t>(length));
        }
    }
    result.error = input.error();
    return result;
}

Scan scan(TextInput &input, char *line)
{
    IgnorePieces pieces;
    return scanWith(input, line, pieces);
}

Scan scanReporting(TextInput &input, char *line, const PieceLimit &limit)
{
    ReportPieces pieces{.limit = limit};
    return scanWith(input, line, pieces);
}
