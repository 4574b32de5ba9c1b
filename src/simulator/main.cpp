// The simulator executable: one simulator built from the command line, run
// once, then released.
#include <iostream>

#include "simulator/Interruption.h"
#include "simulator/SimulatorClass.h"

int main(int argc, char** argv) {
  // SIGINT or SIGTERM ends the run at the next replication or batch
  // boundary with its output complete; a second one ends it at once.
  Interruption::Install();
  auto* simulator = new SimulatorClass(argc, argv);
  if (simulator->descriptionFilename != nullptr) {
    // -D: the simulator describes its model and simulates nothing.
    const int status = simulator->WriteDescription();
    delete simulator;
    return status;
  }
  std::cout << "SIMULATOR::Preparing to run()" << std::endl;
  simulator->Run();
  // An output file that failed during the run was dropped: observations
  // were lost, which must not pass for success.
  const bool outputLost = (simulator->asciiFilename != nullptr && simulator->asciiFile == nullptr) ||
                          (simulator->binFilename != nullptr && simulator->binFile == nullptr);
  if (outputLost) {
    std::cerr << "ERROR: output was lost; the run is incomplete" << std::endl;
    delete simulator;
    return 1;
  }
  std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
  std::cout.flush();
  std::cerr << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
  std::cerr.flush();
  delete simulator;
  return 0;
}
