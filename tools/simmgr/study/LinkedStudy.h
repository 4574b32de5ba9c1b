// The catalog of the study linked into this executable (the engine's
// generated study): a separate library, so that the manager's logic and its
// tests do not need the engine.
#pragma once

#include "simmgr/study/StudyCatalog.h"

// Builds the catalog from the study the manager is linked with.
StudyCatalog LoadStudyCatalog();
