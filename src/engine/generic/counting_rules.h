// The counting rules and the entry points of one instruction set, written
// once over the masks: a set's file includes this inside its namespace (and
// target region), after generic/masks.h and its `Blocks`, and hands
// ENTRY_POINTS to the dispatch. The standard headers the parts use
// (<algorithm>, <array>, <bit>, <cstdint>, <cstring>, <string_view>) and
// c_rules.h, c_unicode.h and entry_points.h come before the region. No
// part has an include guard, as a file includes them once in each of several
// namespaces, and none includes another: this is the one place that states
// their order, each part using only what comes before it.
#include "bits.h"

// The menu's rules.
#include "menu/line_walk.h"
#include "menu/line_counters.h"
#include "menu/file_scan.h"

// C's rules, by stage: the classes of bytes; the lines, and what each is
// (code, comment or blank); the byte lexer, the only place that decides
// tokens; the skippers, which pass over what the byte lexer would ignore or
// take at once and hand the rest back to it; the scan that feeds them.
#include "c/classify.h"
#include "c/lines.h"
#include "c/line_classes.h"
#include "c/lex_steps.h"
#include "c/lex_modes.h"
#include "c/lex_bytes.h"
#include "c/skip_mode.h"
#include "c/skip_span.h"
#include "c/skip_group.h"
#include "c/feed.h"

constexpr EntryPoints ENTRY_POINTS = {symbols, identifiers, scan, scanReporting, feedC, finishC};
