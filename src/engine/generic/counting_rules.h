// The counting rules and the entry points of one instruction set, written
// once over the masks: a set's file includes this inside its namespace (and
// target region), after generic/masks.h and its `Blocks`, and hands
// ENTRY_POINTS to the dispatch. No include guard, as for each part.
#include "line_walk.h"
#include "line_counters.h"
#include "file_scan.h"
#include "c_lines.h"
#include "c_lexer.h"
#include "c_tokens.h"
#include "c_splices.h"
#include "c_feed.h"

constexpr EntryPoints ENTRY_POINTS = {symbols, identifiers, scan, scanReporting, feedC, finishC};
