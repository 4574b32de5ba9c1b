// The checks a read model must pass before anything is written: every name
// means something (an unknown one is refused with the names that would
// do), no name is declared twice, every value has a type its use accepts,
// every join shares places its children have, every activity has a known
// distribution with its parameters, the reward and the study are there and
// the study has experiments. The first failure is thrown as a ModelError
// naming its line and column.
#pragma once

#include "model/Model.h"

namespace sanc {

void Check(const Model& model);

}  // namespace sanc
