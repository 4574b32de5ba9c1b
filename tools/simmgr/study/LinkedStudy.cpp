// The catalog read from the study linked into the engine: experiment names
// and global values through SetGVs/GetGVValue, variable names and
// observation instants from the reward model the study builds.
#include "simmgr/study/LinkedStudy.h"

#include <string>
#include <vector>

#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "study/BaseStudyClass.h"

static double ReadGlobal(BaseStudyClass* study, int g) {
    const char* gvName = study->GetGVName(g);
    std::string name = gvName ? gvName : "";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    void* p = study->GetGVValue(buf.data());
    if (p == nullptr) return 0.0;
    const char* gvType = study->GetGVType(g);
    const std::string type = gvType ? gvType : "float";
    if (type == "double") return *static_cast<double*>(p);
    if (type == "int") return *static_cast<int*>(p);
    if (type == "short") return *static_cast<short*>(p);
    if (type == "long") return static_cast<double>(*static_cast<long*>(p));
    if (type == "char") return *static_cast<char*>(p);
    if (type == "bool") return *static_cast<bool*>(p) ? 1.0 : 0.0;
    return *static_cast<float*>(p);
}

StudyCatalog LoadStudyCatalog() {
    StudyCatalog catalog;
    BaseStudyClass* study = GenerateStudy();
    if (study == nullptr) return catalog;
    for (int g = 0; g < study->GetNumGVs(); ++g) {
        const char* name = study->GetGVName(g);
        catalog.globalNames.push_back(name ? name : "");
        const char* type = study->GetGVType(g);
        catalog.globalTypes.push_back(type ? type : "float");
    }
    for (int e = 0; e < study->GetNumExps(); ++e) {
        ExperimentInfo info;
        info.name = study->GetExpName(e);
        info.simExperiment = e;
        study->SetGVs(e);
        for (int g = 0; g < study->GetNumGVs(); ++g) info.globals.push_back(ReadGlobal(study, g));
        catalog.experiments.push_back(std::move(info));
    }
    if (PVModel* pv = study->GetPVModel(true)) {
        for (PerformanceVariableNode* node : pv->Nodes) {
            if (node == nullptr) continue;
            catalog.variables.push_back(VariableInfo{node->Name, node->StartTime});
        }
    }
    DestructStudy();
    return catalog;
}
