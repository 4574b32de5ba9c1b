// The model-file reader: text in, Model out, refusing the first mistake of
// form (an unknown statement, a statement in the wrong block, a syntax
// error in an expression, a block left open) with its line and column. It
// judges no names and no types; that is the checks' work.
//
// A model file is read line by line; every statement is one line, '#'
// starts a comment, and blocks close with `end`:
//
//   global TYPE NAME = NUMBER
//   san NAME
//     place NAME = EXPR
//     timed NAME DISTRIBUTION(EXPR, ...)      or   instantaneous NAME
//       input arc PLACE [* N]
//       input gate COND [do STATEMENTS]
//       case EXPR
//       output arc PLACE [* N]
//       output gate STATEMENTS
//       reactivate when COND
//     end
//   end
//   join NAME
//     submodel NAME
//     share PLACE [in CHILD, ...]
//   end
//   reward NAME of MODEL
//     variable NAME
//       instant T, ...          or   interval START to STOP
//       rate EXPR
//       impulse SUBMODEL.ACTIVITY = EXPR
//       submodels NAME, ...
//     end
//   end
//   study NAME of REWARD
//     experiment NAME [set GLOBAL = NUMBER, ...]
//   end
//
// STATEMENTS: PLACE = EXPR, PLACE += EXPR or PLACE -= EXPR, separated by ';'.
// docs/model-format.md is the full reference.
#pragma once

#include <string>

#include "model/Model.h"

namespace sanc {

// Throws ModelError (FILE:LINE:COL: ...) at the first mistake.
Model ReadModel(const std::string& file, const std::string& text);

}  // namespace sanc
