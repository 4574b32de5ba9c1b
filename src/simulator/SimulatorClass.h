// The one simulator object of a run: its settings from the command line, the
// working structures of the firing loop, and the reporting and manager-link
// state. It owns everything it creates (lists, event list, group records,
// affects-list nodes, packets, queues, files, sockets, trace writers) and
// releases it in its destructor; the study, and through it the model, is
// released through DestructStudy().
#pragma once

#include <cstdint>
#include <ctime>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "simulator/GroupRecord.h"

class BaseActionClass;
class BiasedRun;
class BaseGroupClass;
class BaseStudyClass;
class DataPacket;
class Distributions;
class Event;
class EventList;
class PacketQueue;
class PerformanceVariableNode;
class PVModel;
class TarvekSocket;
class TraceFileContainer;
class TraceFileTarvek;
class TraceFileXML;
template <class T> class Heap;
template <class T> class List;
struct AffectsListNode;

// Process-wide debug level; at 4 or more the terminating simulation prints
// the saved initial state. No option sets it.
extern int32_t GlobalDebugLevel;

// Start-up record holding the clock() value at which the simulation proper
// began.
struct StartClock {
  double ticks = 0.0;
};

class SimulatorClass {
 public:
  // Builds the whole run from the command line; every failure ends the
  // process with status 1.
  SimulatorClass(int argc, char** argv);
  // A simulator cannot be made without a command line.
  SimulatorClass() = delete;
  // Only the field defaults and the packet queues (start-up steps 1 to 3),
  // no options, files or model: for exercising the reporting and
  // manager-link operations on their own.
  struct FieldsOnly {};
  explicit SimulatorClass(FieldsOnly);
  ~SimulatorClass();
  SimulatorClass(const SimulatorClass&) = delete;
  SimulatorClass& operator=(const SimulatorClass&) = delete;

  void Run();
  // -D: writes the description of the model (io/ModelDescription.h) to
  // descriptionFilename instead of running; the exit status: 0, or 1 when
  // the file cannot be written.
  int WriteDescription();

  // --- Command line -------------------------------------------------------
  int16_t ParseCommandLineOptions(int argc, char** argv);
  void PrintUsage();

  // --- Firing step and enabled-action bookkeeping -------------------------
  int GenerateConnectivityList();
  int GenerateConnectivityListOld();
  // Sets every action's quietOwnGroup from the affects lists just built.
  void MarkQuietAffectsLists();
  // Grants every group whose enabling comes from the marking the reading of
  // its recorded enabling at its firings; for affects lists that follow
  // the model's arcs only.
  void MarkRecordedEnabling();
  int AddActionAffects(BaseGroupClass* group, BaseActionClass* action);
  int AddActionAffectsOld(BaseGroupClass* group, BaseActionClass* action);
  void ClearActionAffectsList(BaseActionClass* action);
  void DestructConnectivityList();
  void PrintConnectivityList(std::ostream& out);
  int GenerateInitialEnabledList();
  int16_t GenerateCompleteEventList();
  int16_t GenerateCompleteEventListSS();
  bool SimStep();
  bool SimStepSS();
  // SimStep() while the next event is due at or before endTime; stops
  // when no event is left.
  void RunUntil(double endTime);
  void CheckReactivationList();
  void RemoveAffectedActions();
  void InsertAffectedActions();
  [[noreturn]] void HandleInvalidDistParams(BaseActionClass* action, const char* message);

  // --- Simulation loops ----------------------------------------------------
  void TerminatingSimulation();
  void SteadyStateSimulation();
  void CheckCompletedBatches(PerformanceVariableNode** nodes, int* valueCount, int* squaredCount);
  int SendSSResults(int* valueCount, int* squaredCount);

  // --- Observation packets and output files -------------------------------
  DataPacket* CreateDataPacket(int numPVs);
  int CheckReportSize(double elapsedSeconds);
  void OutputThreadFunc();
  int Output(TarvekSocket* socket, std::ostream* file, double* values, int count);
  std::ofstream* CreateBinFile(const char* name);
  std::ofstream* CreateASCIIFile(const char* name);

  // --- Simulation-manager protocol -----------------------------------------
  TarvekSocket* WaitForSimMgrConnection(int timeoutMs);
  void ListenToSimMgr(TarvekSocket* socket);

  // --- Fields, in the order of the settings table --------------------------
  char* overrideString = nullptr;            // -O, owned
  Heap<double>* ssBatchDeadlines = nullptr;  // steady state: next boundary per variable
  Heap<int>* ssBatchCounts = nullptr;        // steady state: batches completed per variable
  StartClock* startClock = nullptr;          // clock() when the simulation proper began
  PerformanceVariableNode** allPVs = nullptr;  // every reward node, model order (not owned)
  BaseActionClass** actions = nullptr;         // every action, model order (not owned)
  List<BaseGroupClass>* groupList = nullptr;   // owned; filled by the reward model
  List<BaseActionClass>* actionList = nullptr; // owned; filled by the reward model
  Event** currentHandle = nullptr;             // handle of the earliest event
  BaseGroupClass* currentGroup = nullptr;      // the next group to fire
  BaseActionClass* lastFired = nullptr;        // placeholder before the first firing
  BaseActionClass* placeholderAction = nullptr;
  EventList* eventList = nullptr;
  GroupRecord* groupRecords = nullptr;         // one per group, owned
  BaseGroupClass** groups = nullptr;           // every group; groupId indexes it
  BaseGroupClass** enabledList = nullptr;      // groups enabled initially, owned
  // Groups the one walk over a quiet affects list found to schedule, in
  // list order; one entry per group, sized once the affects lists are built.
  std::vector<BaseGroupClass*> pendingSchedule;
  ReactivationList reactivationList;           // scheduled groups watched for reactivation
  int32_t enabledCount = 0;
  int32_t runState = 0;                        // 0 running, 1 finished, 2 stopped
  double currentTime = 0.0;
  PVModel* pvModel = nullptr;
  BaseStudyClass* study = nullptr;
  PacketQueue* freeQueue = nullptr;            // recycled packets, owned
  PacketQueue* fullQueue = nullptr;            // filled packets, owned
  DataPacket* valuePacket = nullptr;
  DataPacket* squaredPacket = nullptr;
  int32_t queueCapacity = 50;
  int32_t reportCounter = 1;
  TarvekSocket* simMgrSocket = nullptr;
  TarvekSocket* listenSocket = nullptr;
  int32_t selectTimeoutMs = 2000;
  int32_t listenPollMs = 0;
  std::ofstream* asciiFile = nullptr;
  std::ofstream* binFile = nullptr;
  int32_t reportSize = 1000;                   // -n
  int16_t port = 10000;                        // -p
  int32_t clientID = 0;                        // -c
  int32_t experiment = 0;                      // -e
  int32_t numPVs = 0;
  double cpuTime = 0.0;
  int32_t isTerminating = 1;                   // -t
  char* traceFilename = nullptr;               // -f, owned
  int32_t traceLevel = 1;                      // -l
  bool tarvekTrace = false;                    // -m
  bool xmlTrace = false;                       // -x
  TraceFileContainer* traceContainer = nullptr;
  TraceFileTarvek* tarvekTraceFile = nullptr;
  TraceFileXML* xmlTraceFile = nullptr;
  int32_t rngType = 0;                         // -r
  uint32_t seed = 31415;                       // -s
  int32_t maxBatches = 0;                      // -N; below 1: no limit
  int32_t batchesDone = 0;
  char* asciiFilename = nullptr;               // -a, owned
  char* binFilename = nullptr;                 // -b or from the manager, owned
  bool waitForSocket = false;                  // -w
  int32_t actionsFired = 0;

  // --- Owned beyond the settings table ---
  Distributions* ownedDistribution = nullptr;  // made only when none existed
  std::ofstream* tarvekTraceStream = nullptr;  // -f name + ".txt", owned
  std::ofstream* xmlTraceStream = nullptr;     // -f name + ".xml", owned
  // Importance sampling (-B): the change-of-measure file, its text (read
  // at start-up, before the model is built) and, once bound to the model,
  // the biased run; null when the run is plain.
  char* biasFilename = nullptr;                // -B, owned
  std::string biasText;
  std::unique_ptr<BiasedRun> biasedRun;
  // -D: the file the description of the model is written to; the start-up
  // stops short of the output files and nothing is simulated.
  char* descriptionFilename = nullptr;         // -D, owned

  // Number of groups of the model (0 before the reward model is known).
  int32_t NumGroups() const;
  // Seconds of processor time since startClock.
  double ElapsedCpuSeconds() const;

 private:
  // Start-up steps.
  void InitializeFields();
  void RefuseInvalidSeed();
  void OpenOutputFiles();
  void CreateTraceWriters();
  void SelectPerformanceVariables();
  void BuildGroupRecords();
  void BuildConnectivity();
  void SelectGenerator();
  void ReadChangeOfMeasure();
  void BindChangeOfMeasure();

  // Firing-step bookkeeping.
  [[gnu::always_inline]] inline bool FireNext();
  // The bodies of RemoveAffectedActions() and InsertAffectedActions(), over
  // the affects list that starts at `first`.
  [[gnu::always_inline]] inline void RemoveAffected(AffectsListNode* first);
  [[gnu::always_inline]] inline void InsertAffected(AffectsListNode* first);
  // Both passes in one walk, for a list whose groups all have their enabling
  // from the marking and are never watched for reactivation.
  [[gnu::always_inline]] inline void UpdateQuietAffected(AffectsListNode* first);
  // The passes over lastFired's affects list that follow a firing: one walk
  // over a quiet list, the removal and the insertion pass over any other.
  // Out of line, so that the firing step's own loop keeps its registers.
  [[gnu::noinline]] void UpdateAffected();
  [[gnu::always_inline]] inline void ScheduleGroup(BaseGroupClass* group);
  [[gnu::always_inline]] inline void ScheduleUnwatchedGroup(BaseGroupClass* group);
  void DropReactivationEntry(BaseGroupClass* group);
  void ClearReactivationList();

  // Observations.
  void StoreObservation(int variable, int index, double value, double squared);
  void StoreWeightedObservations(int index, double endTime);
  void ReportTerminating(int observations);
  void ReleaseRunScratch();
};
