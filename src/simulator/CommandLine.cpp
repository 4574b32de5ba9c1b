// The option parser and the usage text of the simulator.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "simulator/SimulatorClass.h"

namespace {

constexpr size_t kMaxArgumentLength = 128;

char* CopyText(const char* text) {
  size_t length = std::strlen(text);
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length + 1);
  return copy;
}

void ReplaceText(char*& field, const char* text) {
  delete[] field;
  field = CopyText(text);
}

bool TakesNoParameter(char letter) { return letter == 'm' || letter == 'x' || letter == 'w'; }

// Options that cannot stand without a parameter (-O may: it then sets nothing).
bool NeedsParameter(char letter) {
  return letter != '\0' && std::strchr("abBcDeflnNprst", letter) != nullptr;
}

}  // namespace

int16_t SimulatorClass::ParseCommandLineOptions(int argc, char** argv) {
  reportSize = 1000;
  maxBatches = 0;
  if (argc <= 1) {
    std::cerr << "ERROR: No command line options specified" << std::endl;
    return 1;
  }
  bool traceNamed = false;  // -f or -l seen
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    size_t length = std::strlen(argument);
    if (length > kMaxArgumentLength) {
      std::cerr << "ERROR: Command Line Argument Too Long, Limited to " << kMaxArgumentLength
                << " Characters\n" << std::flush;
      return 1;
    }
    if (argument[0] != '-') continue;
    char letter = argument[1];
    const char* parameter = nullptr;
    if (length == 2) {
      if (i + 1 < argc && argv[i + 1][0] != '-') parameter = argv[++i];
    } else if (length > 2) {
      parameter = argument + 2;
    }
    if (TakesNoParameter(letter)) {
      if (parameter) {
        std::cerr << "Did not expect a parameter after '-" << letter << "'\n" << std::flush;
        return 1;
      }
    } else if (NeedsParameter(letter) && !parameter) {
      std::cerr << "Expect a parameter after '-" << letter << "'\n" << std::flush;
      return 1;
    }
    switch (letter) {
      case 'a':
        ReplaceText(asciiFilename, parameter);
        std::cout << "ASCIIFilename: " << asciiFilename << std::endl;
        break;
      case 'b':
        ReplaceText(binFilename, parameter);
        std::cout << "BinFilename: " << binFilename << std::endl;
        break;
      case 'c':
        clientID = std::atoi(parameter);
        std::cout << "ClientID: " << clientID << std::endl;
        break;
      case 'e':
        experiment = std::atoi(parameter);
        std::cout << "Experiment: " << static_cast<uint32_t>(experiment) << std::endl;
        break;
      case 'f':
        ReplaceText(traceFilename, parameter);
        traceNamed = true;
        std::cout << "TraceFile: " << traceFilename << std::endl;
        break;
      case 'l':
        traceLevel = std::atoi(parameter);
        traceNamed = true;
        std::cout << "TraceLevel: " << traceLevel << std::endl;
        break;
      case 'm':
        tarvekTrace = true;
        break;
      case 'x':
        xmlTrace = true;
        break;
      case 'n':
        reportSize = std::atoi(parameter);
        // A report holds at least one observation per variable; the packets
        // are sized by this value.
        if (reportSize < 1) {
          std::cerr << "ERROR: Report size (-n) must be at least 1, got " << reportSize
                    << std::endl;
          return 1;
        }
        std::cout << "ReportSize: " << reportSize << std::endl;
        break;
      case 'N':
        maxBatches = std::atoi(parameter);
        std::cout << "Max Number of Batches: " << maxBatches << std::endl;
        break;
      case 'p':
        port = static_cast<int16_t>(std::atoi(parameter));
        std::cout << "Port: " << port << std::endl;
        break;
      case 'r':
        rngType = std::atoi(parameter);
        std::cout << "Random Number Generator: " << rngType << std::endl;
        break;
      case 's':
        seed = static_cast<uint32_t>(std::atoi(parameter));
        std::cout << "Random Number Seed: " << seed << std::endl;
        break;
      case 't':
        isTerminating = std::atoi(parameter);
        std::cout << "Is Terminating Simulation: " << isTerminating << std::endl;
        break;
      case 'w':
        waitForSocket = true;
        std::cout << "Wait For Socket Enabled" << std::endl;
        break;
      // Importance sampling; kept out of the usage text.
      case 'B':
        ReplaceText(biasFilename, parameter);
        std::cout << "ChangeOfMeasureFile: " << biasFilename << std::endl;
        break;
      // The model's description (-D), for the manager; kept out of the usage
      // text too.
      case 'D':
        ReplaceText(descriptionFilename, parameter);
        std::cout << "DescriptionFile: " << descriptionFilename << std::endl;
        break;
      case 'O':
        if (parameter) {
          ReplaceText(overrideString, parameter);
          std::cout << "OverrideString is " << overrideString << std::endl;
        }
        break;
      default:
        std::cerr << "ERROR: Unrecognized Command Line option: " << argument << "\n" << std::flush;
        return 1;
    }
  }
  if (traceNamed && !tarvekTrace && !xmlTrace) tarvekTrace = true;
  return 0;
}

void SimulatorClass::PrintUsage() {
  std::cerr << "Valid Options\n"
            << "-a <name>: write ASCII output to file <name>\n"
            << "-b <name>: write binary output to file <name>\n"
            << "-c <num>: Client identification number (default=0)\n"
            << "-e <num>: Experiment to run, 'Experiment 1' is num=0 (default = 0)\n"
            << "-f <name>: Trace file name (default=<stdout>)\n"
            << "-m: Enable Tarvek trace \n"
            << "-l <num>: Trace Level (1, 2,3,4 [default=1])\n"
            << "-x: Enable XML trace \n"
            << "-n <num>: Num observations sent in 1 update to SimMgr. (default=1000)\n"
            << "-N <num>: Maximum number of batches to run (default=infinite)\n"
            << "-p <num>: Communication port of network server (default=10000)\n"
            << "-r <num>: Random Number Generator (0 = Lagged Fibonacci[default] 1 = Tausworthe\n"
            << "-s <num>: Random Number Seed (31415[default])\n"
            << "-t <num>: Simulation Type (1 = Terminating[default] 0 = Steady State)\n"
            << "-w: Simulator will wait to send output until socket connection is established.\n"
            << std::endl;
}
