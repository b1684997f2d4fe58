#include "report/survey.h"

#include "report/gate.h"

namespace cli {

namespace {

// The menu's pieces stop at 359 symbols: a limit past that passes none.
int menuLimit(Count limit)
{
    return static_cast<int>(std::min<Count>(limit, LINE_BUFFER_SIZE));
}

} // namespace

Tally::Tally(Count limit)
    : cLines_{.limit = limit, .report = takeLine, .context = this, .hashes = false, .classifies = false},
      menuPieces_{menuLimit(limit), takePiece, this}
{
}

void Tally::begin(std::size_t position, const Request &request)
{
    position_ = position;
    path_ = &request.path;
    reported_ = request.reported;
    const bool allCount = !reported_;
    cLines_.census = allCount && request.settings.rules == Rules::C ? census_ : nullptr;
    menuPieces_.census = allCount && request.settings.rules == Rules::Menu ? census_ : nullptr;
}

void Tally::raiseFloor(Count floor)
{
    cLines_.floor = floor;
    menuPieces_.floor = menuLimit(floor);
}

// Lines come in order, so the ranges passed are dropped.
bool Tally::isReported(Count line)
{
    return changed::holdsInOrder(reported_, line);
}

void Tally::takeLine(void *self, const crules::LineOverLimit &line)
{
    auto &tally = *static_cast<Tally *>(self);
    if (tally.isReported(line.line))
        tally.add({.line = line.line, .column = line.column, .symbols = line.symbols, .allowed = line.allowed});
}

// A piece's marker is looked for in its text, as the gate does.
void Tally::takePiece(void *self, const PieceOverLimit &piece)
{
    auto &tally = *static_cast<Tally *>(self);
    if (tally.isReported(piece.line))
        tally.add({.line = piece.line,
                   .column = piece.column,
                   .symbols = piece.symbols,
                   .allowed = holdsAllowMarker(piece.text)});
}

void SurveyWriter::take(Target &&target)
{
    const TargetState state = target.outcome.state;
    if (state == TargetState::Skipped)
        return;
    if (state == TargetState::Measured)
        count(target);
    else
        complainAbout(target);
}

// Nothing is written before the end: the report is of the whole run. A run
// that measured nothing is said to have, as the table says it; with
// --new-from-rev, a run where nothing changed is said to be so.
int SurveyWriter::finish()
{
    const int status = survey_.appendReport(out_.text, totals_, symbolsOfTotal());
    status_ = std::max(status_, status);
    flush();
    progress_.clear();
    survey_.sayAfterReport();
    if (totals_.files == 0 && changes_ != nullptr && changes_->passedOver() > 0) {
        say("cmeasure: no changed file\n");
    } else if (totals_.files == 0) {
        say("cmeasure: no file measured\n");
        if (survey_.gates())
            status_ = 1;
    }
    return status_;
}

} // namespace cli
