// The simulator executable: one simulator built from the command line, run
// once, then released.
#include <iostream>

#include "simulator/SimulatorClass.h"

int main(int argc, char** argv) {
  auto* simulator = new SimulatorClass(argc, argv);
  std::cout << "SIMULATOR::Preparing to run()" << std::endl;
  simulator->Run();
  std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
  std::cout.flush();
  std::cerr << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
  std::cerr.flush();
  delete simulator;
  return 0;
}
