// Life of the one simulator object: start-up from the command line, Run, and
// the release of everything the simulator created.
#include "simulator/SimulatorClass.h"

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/List.h"
#include "io/DataPacket.h"
#include "io/PacketQueue.h"
#include "io/TarvekSocket.h"
#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/BiasedRun.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/Heap.h"
#include "study/BaseStudyClass.h"
#include "trace/TraceFileContainer.h"
#include "trace/TraceFileTarvek.h"
#include "trace/TraceFileXML.h"

int32_t GlobalDebugLevel = 0;

namespace {

[[noreturn]] void FailStartUp(const std::string& message) {
  std::cerr << "ERROR: " << message << std::endl;
  std::exit(1);
}

// Opens a trace file, refusing to run when it cannot be written: a trace
// that silently vanishes would report a failure as success.
std::ofstream* OpenTraceFile(const std::string& name) {
  auto* stream = new std::ofstream(name, std::ios::out | std::ios::trunc);
  if (!stream->is_open()) {
    delete stream;
    FailStartUp("cannot open trace file '" + name + "' for writing");
  }
  return stream;
}

}  // namespace

SimulatorClass::SimulatorClass(FieldsOnly) { InitializeFields(); }

void SimulatorClass::InitializeFields() {
  groupList = new List<BaseGroupClass>();
  actionList = new List<BaseActionClass>();
  if (TheDistribution == nullptr || TheDistribution->GetGenerator() == nullptr) {
    ownedDistribution = new UserDistributions(0, 31415);
    TheDistribution = ownedDistribution;
  }
  startClock = new StartClock();
  maxBatches = -1;  // the parser replaces it by 0
  freeQueue = new PacketQueue(queueCapacity);
  fullQueue = new PacketQueue(queueCapacity);
}

SimulatorClass::SimulatorClass(int argc, char** argv) {
  InitializeFields();
  if (ParseCommandLineOptions(argc, argv) != 0) {
    PrintUsage();
    std::cerr << "ERROR: Parsing command line options" << std::endl;
    std::exit(1);
  }
  RefuseInvalidSeed();
  ReadChangeOfMeasure();
  // A description writes no observations: with -D, -a and -b files are
  // left as they are.
  if (descriptionFilename == nullptr) OpenOutputFiles();
  CreateTraceWriters();

  study = GenerateStudy();
  // The study's value table has one row per experiment; any other index
  // would read outside it.
  if (experiment < 0 || experiment >= study->GetNumExps())
    FailStartUp("Experiment " + std::to_string(experiment) + " does not exist (valid: 0 to " +
                std::to_string(study->GetNumExps() - 1) + ")");
  study->SetGVs(experiment);
  if (overrideString != nullptr) {
    study->overrideGVs(overrideString);
    std::cout << "Overriding global variables in simulator" << std::endl;
  }

  pvModel = study->GetPVModel(true);
  if (tarvekTrace || xmlTrace) traceContainer->addPVModel(pvModel);
  traceContainer->printHeader();

  SelectPerformanceVariables();
  BuildGroupRecords();
  BuildConnectivity();
  eventList = new EventList(NumGroups() + 1);
  SelectGenerator();
  BindChangeOfMeasure();

  // The actions were listed for the affects lists; while the simulation
  // runs, the flag marks a group's membership of the reactivation list.
  for (int i = 0; i < actionList->getNumItems(); ++i) actions[i]->reactivation = false;

  TheDistribution->GetGenerator()->srnd(seed == 0 ? 31415u : seed);
  numPVs = pvModel->NumNodes;
}

void SimulatorClass::RefuseInvalidSeed() {
  // Only the lagged Fibonacci generator restricts its seeds; it is the one
  // kept for every generator type other than 1 and 2.
  if (rngType == 1 || rngType == 2) return;
  uint32_t effective = seed == 0 ? 31415u : seed;
  bool valid = effective <= static_cast<uint32_t>(INT32_MAX) &&
               LaggedFibonacci::IsValidSeed(static_cast<int32_t>(effective));
  if (!valid)
    FailStartUp("Random Number Seed " + std::to_string(seed) +
                " is out of range for the lagged Fibonacci generator (0 to 2147483645)");
}

// Read before the model is built, so that a refused option or a missing
// file costs nothing.
void SimulatorClass::ReadChangeOfMeasure() {
  if (biasFilename == nullptr) return;
  if (isTerminating == 0)
    FailStartUp("importance sampling (-B) applies to terminating runs only, not to steady "
                "state (-t 0)");
  std::ifstream file(biasFilename, std::ios::in | std::ios::binary);
  if (!file.is_open())
    FailStartUp("cannot open change-of-measure file '" + std::string(biasFilename) + "'");
  biasText.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad())
    FailStartUp("cannot read change-of-measure file '" + std::string(biasFilename) + "'");
}

// Bound once the model exists and its global variables are set, since the
// file's constants read them.
void SimulatorClass::BindChangeOfMeasure() {
  if (biasFilename == nullptr) return;
  try {
    biasedRun = std::make_unique<BiasedRun>(*this, biasFilename, biasText);
  } catch (const MeasureError& error) {
    FailStartUp(error.what());
  }
}

void SimulatorClass::OpenOutputFiles() {
  // CreateASCIIFile and CreateBinFile report a file that cannot be opened.
  if (asciiFilename != nullptr) {
    asciiFile = CreateASCIIFile(asciiFilename);
    if (asciiFile == nullptr) std::exit(1);
  }
  if (binFilename != nullptr) {
    binFile = CreateBinFile(binFilename);
    if (binFile == nullptr) std::exit(1);
  }
}

void SimulatorClass::CreateTraceWriters() {
  traceContainer = new TraceFileContainer();
  if (!tarvekTrace && !xmlTrace) return;
  traceContainer->setTraceLevel(traceLevel);
  if (tarvekTrace) {
    if (traceFilename != nullptr) {
      tarvekTraceStream = OpenTraceFile(std::string(traceFilename) + ".txt");
      tarvekTraceFile = new TraceFileTarvek(tarvekTraceStream);
    } else {
      std::cout << "Adding cout: " << std::endl;
      tarvekTraceFile = new TraceFileTarvek(&std::cout);
    }
    tarvekTraceFile->setTraceLevel(traceLevel);
    traceContainer->AddTraceFile(tarvekTraceFile);
  }
  if (xmlTrace) {
    if (traceFilename != nullptr) {
      xmlTraceStream = OpenTraceFile(std::string(traceFilename) + ".xml");
      xmlTraceFile = new TraceFileXML(xmlTraceStream);
    } else {
      xmlTraceFile = new TraceFileXML(&std::cout);
    }
    xmlTraceFile->setTraceLevel(traceLevel);
    traceContainer->AddTraceFile(xmlTraceFile);
  }
}

void SimulatorClass::SelectPerformanceVariables() {
  allPVs = pvModel->Nodes.data();
  int nodeCount = pvModel->NumNodes;
  int wantedFlag = isTerminating != 0 ? 0 : 1;
  std::vector<int> selected;
  for (int i = 0; i < nodeCount; ++i) {
    if (allPVs[i]->SteadyStateFlag == wantedFlag)
      selected.push_back(i);
    else
      allPVs[i]->StopTime = DBL_MAX;
  }
  if (isTerminating == 0) {
    // Batches are cut per steady-state variable; with none there is nothing
    // to observe and the run could never end by its batch limit.
    if (selected.empty())
      FailStartUp("Steady-state simulation (-t 0) needs at least one steady-state performance "
                  "variable; this reward model has none");
    // A window of no length would never slide past the current time.
    for (int i : selected)
      if (!(allPVs[i]->WindowLength > 0.0))
        FailStartUp(std::string("steady-state performance variable ") + allPVs[i]->Name +
                    " has an observation window of no length");
  }
  pvModel->ConsiderOnly(selected.data(), static_cast<int>(selected.size()));
}

void SimulatorClass::BuildGroupRecords() {
  pvModel->listGroups(groupList);
  groups = groupList->getList();
  int32_t groupCount = NumGroups();
  groupRecords = new GroupRecord[groupCount > 0 ? groupCount : 1];
  for (int32_t i = 0; i < groupCount; ++i) groups[i]->eventSlot = &groupRecords[i];
}

void SimulatorClass::BuildConnectivity() {
  // The builders walk the model's actions, which the reward model lists.
  pvModel->listActions(actionList);
  actions = actionList->getList();
  std::clock_t start = std::clock();
  const char* simtest = std::getenv("SIMTEST");
  int choice = simtest == nullptr ? 2 : std::atoi(simtest);
  int result = 0;
  if (choice == 2) {
    std::cout << "GenerateConnectivityList()" << std::endl;
    result = GenerateConnectivityList();
  } else if (choice == 0 || choice == 1) {
    std::cout << "GenerateConnectivityListOld()" << std::endl;
    result = GenerateConnectivityListOld();
  }
  // Either builder lists, for every action, each group reading a place the
  // action changes; without lists no firing asks any enabling again.
  if (choice >= 0 && choice <= 2) MarkRecordedEnabling();
  if (result != 0) {
    std::cerr << "Error Generating Connectivity List\n" << std::flush;
    std::exit(1);
  }
  MarkQuietAffectsLists();
  std::cout << "GenerateConnectivityList() Time="
            << static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC << std::endl;
}

void SimulatorClass::SelectGenerator() {
  if (rngType == 1)
    TheDistribution->SetGenerator(new Tausworthe());
  else if (rngType == 2)
    TheDistribution->SetGenerator(new MersenneTwister());
}

int32_t SimulatorClass::NumGroups() const { return groupList ? groupList->getNumItems() : 0; }

void SimulatorClass::Run() {
  if (waitForSocket) {
    simMgrSocket = WaitForSimMgrConnection(60000);
    if (simMgrSocket == nullptr) runState = 2;
  }
  if (isTerminating != 0)
    TerminatingSimulation();
  else
    SteadyStateSimulation();
  traceContainer->printFooter();
  if (biasedRun) biasedRun->PrintRatioSummary(std::cout);
  std::cout << "Actions fired: " << actionsFired << std::endl;
  std::cout << "CPU time (s): " << ElapsedCpuSeconds() << std::endl;
}

namespace {

void DeleteQueuedPackets(PacketQueue* queue) {
  if (queue == nullptr) return;
  while (DataPacket* packet = queue->Pop()) delete packet;
  delete queue;
}

void CloseAndDelete(std::ofstream*& file) {
  if (file == nullptr) return;
  file->close();
  delete file;
  file = nullptr;
}

}  // namespace

SimulatorClass::~SimulatorClass() {
  // The affects lists hang on the model's actions, which the study releases.
  if (actions != nullptr) DestructConnectivityList();
  delete groupList;
  delete actionList;
  delete eventList;
  // The reactivation list links entries that live in the group records:
  // unlink them before the records go.
  reactivationList.Clear();
  delete[] groupRecords;
  delete simMgrSocket;
  delete listenSocket;
  delete traceContainer;
  delete tarvekTraceFile;
  delete xmlTraceFile;
  CloseAndDelete(tarvekTraceStream);
  CloseAndDelete(xmlTraceStream);
  CloseAndDelete(asciiFile);
  CloseAndDelete(binFile);
  DeleteQueuedPackets(fullQueue);
  DeleteQueuedPackets(freeQueue);
  delete valuePacket;
  delete squaredPacket;
  delete[] asciiFilename;
  delete[] binFilename;
  delete[] traceFilename;
  delete[] overrideString;
  delete[] biasFilename;
  delete[] descriptionFilename;
  delete[] enabledList;
  delete startClock;
  delete placeholderAction;
  delete ssBatchDeadlines;
  delete ssBatchCounts;
  if (study != nullptr) DestructStudy();
  if (ownedDistribution != nullptr) {
    if (TheDistribution == ownedDistribution) TheDistribution = nullptr;
    delete ownedDistribution;
  }
}
