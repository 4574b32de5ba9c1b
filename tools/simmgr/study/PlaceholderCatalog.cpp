// Stand-in used only while the study does not build yet: it knows no
// experiments, so the manager asks for them explicitly.
#include "simmgr/StudyCatalog.h"

StudyCatalog LoadStudyCatalog() { return StudyCatalog{}; }
