// Fuzz target: the manager's reader of a simulator's description of its
// model (-D), the one thing it learns a model from. Checked: whatever the
// text, the reader either refuses it with a message or gives a catalog
// whose every experiment has one value per global, whose identity is one a
// block file name can carry and read back, and whose blocks are named
// after that identity.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "io/ModelDescription.h"
#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/study/SimulatorDescription.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<StudyCatalog> catalog = ParseDescription(text, error);
  if (!catalog) {
    FUZZ_CHECK(!error.empty(), "a refusal says why");
    return 0;
  }
  FUZZ_CHECK(description::IsModelIdentity(catalog->identity), "the identity is a name and a hash");
  FUZZ_CHECK(catalog->globalNames.size() == catalog->globalTypes.size(), "every global has a type");
  for (const ExperimentInfo& info : catalog->experiments) 
    FUZZ_CHECK(info.globals.size() == catalog->globalNames.size(), "one value per global");
  BlockLayout layout;
  layout.model = catalog->identity;
  const std::optional<BlockName> name = ParseBlockFileName(layout.FileName(0, 0));
  FUZZ_CHECK(name && name->model == catalog->identity && layout.Holds(*name), "block names read back");
  return 0;
}
